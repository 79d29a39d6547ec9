#include "content/contentedit.h"

#include "content/contentjournal.h"
#include "content/contentrules.h"
#include "content/contenttrash.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwctype>
#include <memory>
#include <set>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Rules = CTQContentRules;
using TResult = CTQContentEdit::TResult;
using TStep = CTQContentJournal::TStep;
using TStepKind = CTQContentJournal::TStepKind;
using TLeadsTo = CTQContentTree::TLeadsTo;

std::string Bytes(const std::wstring& text)
{
    return platform::ToUtf8(text);
}

std::wstring In(const std::wstring& folder, const std::wstring& name)
{
    return folder + L"/" + name;
}

std::wstring ParentOf(const std::wstring& path)
{
    const std::size_t slash = path.rfind(L'/');
    return slash == std::wstring::npos ? L"." : (slash == 0 ? L"/" : path.substr(0, slash));
}

std::wstring NameOf(const std::wstring& path)
{
    return path.substr(path.rfind(L'/') + 1);
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

std::wstring ExtensionOf(const std::wstring& name)
{
    const std::size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos || dot < name.rfind(L'/') + 1 ? std::wstring()
                                                                   : Lower(name.substr(dot));
}

std::wstring Normalised(std::wstring folder)
{
    folder = platform::ResolvePath(folder);
    while (folder.size() > 1 && folder.back() == L'/')
        folder.pop_back();
    return folder;
}

// What a folder's entries look like: names, kinds, sizes and modification times. Hidden
// names (the journal's, a desktop's) are left out.
std::string StampOf(const std::wstring& folder)
{
    std::string stamp;
    for (const std::wstring& name : platform::ListFolderNames(folder)) {
        if (name.empty() || name.front() == L'.')
            continue;
        struct stat info { };
        if (::lstat(Bytes(In(folder, name)).c_str(), &info) != 0)
            continue;
        // A sub-page's own changes are its own: only its name counts here.
        if (S_ISDIR(info.st_mode)) {
            stamp += Bytes(name) + "/\n";
            continue;
        }
        stamp += Bytes(name) + '\0' + std::to_string(info.st_mode) + ':' +
            std::to_string(info.st_size) + ':' + std::to_string(info.st_mtim.tv_sec) + '.' +
            std::to_string(info.st_mtim.tv_nsec) + '\n';
    }
    return stamp;
}

bool SyncAndClose(int fd, bool ok)
{
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// Writes bytes to a new file in folder under a fresh hidden name; the name, or empty.
std::wstring WriteHidden(const std::wstring& folder, const std::wstring& finalName,
                         const std::string& bytes)
{
    const std::wstring hidden = CTQContentJournal::HiddenName(finalName);
    const std::string path = Bytes(In(folder, hidden));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return {};
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (!SyncAndClose(fd, done == bytes.size())) {
        ::unlink(path.c_str());
        return {};
    }
    return hidden;
}

// Copies a file into folder under a fresh hidden name; the name, or empty.
std::wstring CopyHidden(const std::wstring& folder, const std::wstring& finalName,
                        const std::wstring& source)
{
    std::FILE* in = platform::OpenFile(source, "rb");
    if (in == nullptr)
        return {};
    const std::wstring hidden = CTQContentJournal::HiddenName(finalName);
    const std::string path = Bytes(In(folder, hidden));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    char chunk[1 << 16];
    while (ok) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, in);
        if (got == 0) {
            ok = !std::ferror(in);
            break;
        }
        ok = ::write(fd, chunk, got) == static_cast<ssize_t>(got);
    }
    std::fclose(in);
    if (fd >= 0)
        ok = SyncAndClose(fd, ok);
    if (!ok) {
        ::unlink(path.c_str());
        return {};
    }
    return hidden;
}

void RemoveHidden(const std::wstring& folder,
                  const std::vector<std::pair<std::wstring, std::wstring>>& staged)
{
    for (const auto& [hidden, name] : staged) {
        const std::string path = Bytes(In(folder, hidden));
        if (::unlink(path.c_str()) != 0 && errno == EISDIR)
            ::rmdir(path.c_str());
    }
}

// Makes an empty folder in folder under a fresh hidden name; the name, or empty.
std::wstring MakeHiddenFolder(const std::wstring& folder, const std::wstring& finalName)
{
    const std::wstring hidden = CTQContentJournal::HiddenName(finalName);
    return ::mkdir(Bytes(In(folder, hidden)).c_str(), 0755) == 0 ? hidden : std::wstring();
}

// A picture's file name from its caption: the number, a space and the caption's first
// characters that are safe in a file name on both systems.
std::wstring PictureName(int number, const std::wstring& caption, const std::wstring& extension)
{
    std::wstring words;
    for (const wchar_t c : caption) {
        if (words.size() >= 40)
            break;
        if (c < 32 || std::wstring(L"/\\:*?\"<>|").find(c) != std::wstring::npos)
            continue;
        words += c;
    }
    while (!words.empty() && (words.back() == L' ' || words.back() == L'.'))
        words.pop_back();
    while (!words.empty() && words.front() == L' ')
        words.erase(0, 1);
    return Rules::NumberedName(Rules::PictureLetter, number) +
        (words.empty() ? L"" : L" " + words) + extension;
}

bool IsSoundExtension(const std::wstring& extension)
{
    for (const wchar_t* sound : Rules::SoundExtensions) {
        if (extension == sound && extension != Rules::FilmExtension)
            return true;
    }
    return false;
}

// Text for a one-line file: no line ends or other control characters.
std::wstring OneLine(const std::wstring& text)
{
    std::wstring line;
    for (const wchar_t c : text) {
        if (c >= 32)
            line += c;
    }
    return line;
}

// ---- Renumbering ------------------------------------------------------------------------

using TTrashedName =
    std::pair<std::wstring, std::wstring>;  // the place in the trash, the name it had

struct TFile {
    std::wstring OriginalName;
    std::wstring Current;  // where it is now (in the plan)
    bool Picture = false;
};

struct TGroup {
    int Slot = 0;  // its number before the change; 0 for one coming in
    int Dest = 0;  // its number after; 0: to the trash
    std::vector<TFile> Files;
    bool Placed = false;
    bool Preserved = false;
};

// The steps that put every group at its Dest, taking the receiving slots in the given
// order. Each slot keeps a picture file at every step: the old occupant's picture stays
// (linked or under a hidden name) until the new one is in, and a group's picture is linked
// into its new number before its old name is removed. Groups going to the trash are
// reserved places there; trashed receives them.
class CRenumberPlan {
public:
    CRenumberPlan(std::wstring folder, std::vector<TGroup> groups)
        : m_Folder(std::move(folder)), m_Groups(std::move(groups))
    {
    }

    // trashed receives the trash places of the deleted groups' files with their names.
    bool Build(const std::vector<int>& order, std::vector<TTrashedName>& trashed)
    {
        for (const int slot : order)
            Fill(slot);
        ClearVacatedSlots(order);
        return TrashDeleted(trashed);
    }
    const std::vector<TStep>& Steps() const { return m_Steps; }

private:
    TGroup* Occupant(int slot)
    {
        for (TGroup& group : m_Groups) {
            if (group.Slot == slot)
                return &group;
        }
        return nullptr;
    }
    TGroup* Incoming(int slot)
    {
        for (TGroup& group : m_Groups) {
            if (group.Dest == slot && group.Slot != slot)
                return &group;
        }
        return nullptr;
    }

    void Preserve(TGroup& group)
    {
        for (TFile& file : group.Files) {
            const std::wstring hidden = CTQContentJournal::HiddenName(file.OriginalName);
            m_Steps.push_back(
                { file.Picture ? TStepKind::Link : TStepKind::Rename, file.Current, hidden });
            file.Current = hidden;
        }
        group.Preserved = true;
    }

    void Fill(int slot)
    {
        TGroup* occupant = Occupant(slot);
        TGroup* incoming = Incoming(slot);
        if (incoming == nullptr)
            return;
        if (occupant != nullptr && !occupant->Placed && !occupant->Preserved)
            Preserve(*occupant);
        std::set<std::wstring> placed;
        for (TFile& file : incoming->Files) {
            if (file.Picture)
                continue;
            const std::wstring target = CTQContentTree::Renumbered(file.OriginalName, slot);
            m_Steps.push_back({ TStepKind::Rename, file.Current, target });
            file.Current = target;
        }
        for (TFile& file : incoming->Files) {
            if (!file.Picture)
                continue;
            const std::wstring target = CTQContentTree::Renumbered(file.OriginalName, slot);
            if (file.Current == file.OriginalName) {
                // Still the picture of its own number, which needs it until that number is
                // filled: a second name, then into place.
                const std::wstring hidden = CTQContentJournal::HiddenName(file.OriginalName);
                m_Steps.push_back({ TStepKind::Link, file.Current, hidden });
                file.Current = hidden;
            }
            m_Steps.push_back({ TStepKind::Rename, file.Current, target });
            file.Current = target;
            placed.insert(Lower(target));
        }
        incoming->Placed = true;
        if (occupant != nullptr)
            RemoveOldPictureNames(*occupant, placed);
    }

    // The occupant's picture names left in its old number, now that the number holds its new
    // picture; a name the new picture took over is not removed.
    void RemoveOldPictureNames(const TGroup& occupant, const std::set<std::wstring>& placed)
    {
        for (const TFile& file : occupant.Files) {
            if (file.Picture && placed.count(Lower(file.OriginalName)) == 0)
                m_Steps.push_back({ TStepKind::Remove, file.OriginalName, {} });
        }
    }

    // Numbers that received nothing lose what is left of their old group: the end of a page
    // after a deletion.
    void ClearVacatedSlots(const std::vector<int>& order)
    {
        for (TGroup& group : m_Groups) {
            if (group.Slot == 0 || group.Dest == group.Slot)
                continue;
            if (std::find(order.begin(), order.end(), group.Slot) != order.end())
                continue;
            // A deleted group whose number stays empty goes to the trash from where it is.
            if (group.Dest != 0)
                RemoveOldPictureNames(group, {});
        }
    }

    bool TrashDeleted(std::vector<TTrashedName>& trashed)
    {
        for (TGroup& group : m_Groups) {
            if (group.Dest != 0)
                continue;
            // Pictures first: no picture is left standing without its sound.
            std::stable_partition(group.Files.begin(), group.Files.end(),
                                  [](const TFile& file) { return file.Picture; });
            for (TFile& file : group.Files) {
                const std::wstring place = CTQContentTrash::Reserve(
                    In(m_Folder, file.Current), In(m_Folder, file.OriginalName));
                if (place.empty())
                    return false;
                m_Steps.push_back({ TStepKind::Trash, file.Current, place });
                trashed.push_back({ place, file.OriginalName });
            }
        }
        return true;
    }

    std::wstring m_Folder;
    std::vector<TGroup> m_Groups;
    std::vector<TStep> m_Steps;
};

TGroup ExistingGroup(const CTQContentTree::TPage& page, int number, int dest)
{
    TGroup group;
    group.Slot = number;
    group.Dest = dest;
    const auto found = page.Groups.find(number);
    if (found == page.Groups.end())
        return group;
    for (const std::wstring& name : found->second) {
        group.Files.push_back({ name, name, CTQContentTree::IsPagePicture(name) });
    }
    return group;
}

// The page's groups from first to last, each moved by the function (0: to the trash).
template <typename Destination>
std::vector<TGroup> Groups(const CTQContentTree::TPage& page, int first, int last,
                           Destination destination)
{
    std::vector<TGroup> groups;
    for (int number = first; number <= last; ++number)
        groups.push_back(ExistingGroup(page, number, destination(number)));
    return groups;
}

// Every numbered name of the number on the page.
std::vector<std::wstring> GroupNames(const CTQContentTree::TPage& page, int number)
{
    const auto found = page.Groups.find(number);
    return found == page.Groups.end() ? std::vector<std::wstring>{} : found->second;
}

std::vector<int> Range(int from, int to)
{
    std::vector<int> numbers;
    const int step = from <= to ? 1 : -1;
    for (int n = from;; n += step) {
        numbers.push_back(n);
        if (n == to)
            break;
    }
    return numbers;
}

}  // namespace

// ---- The session --------------------------------------------------------------------------

CTQContentEdit::CTQContentEdit(std::wstring contentFolder)
    : m_strContentFolder(Normalised(std::move(contentFolder)))
{
    CTQContentJournal::RecoverTree(m_strContentFolder);
}

CTQContentTree::TPage CTQContentEdit::ReadPage(const std::wstring& folder)
{
    CTQContentTree::TPage page = CTQContentTree::ReadPage(folder);
    Stamp(page.Folder);
    return page;
}

void CTQContentEdit::Stamp(const std::wstring& folder)
{
    const std::wstring key = Normalised(folder);
    m_Stamps[key] = StampOf(key);
}

bool CTQContentEdit::ChangedOutside(const std::wstring& folder) const
{
    const std::wstring key = Normalised(folder);
    const auto found = m_Stamps.find(key);
    return found != m_Stamps.end() && found->second != StampOf(key);
}

void CTQContentEdit::Reread(const std::wstring& folder)
{
    Stamp(folder);
    m_Undo.clear();
    m_Redo.clear();
}

TResult CTQContentEdit::Checked(const std::vector<std::wstring>& pages)
{
    for (const std::wstring& page : pages) {
        if (ChangedOutside(page))
            return TResult::ChangedOutside;
    }
    return TResult::Done;
}

TResult CTQContentEdit::Finish(const std::wstring& folder, bool ran)
{
    if (!ran)
        CTQContentJournal::Recover(folder);
    Stamp(folder);
    return ran ? TResult::Done : TResult::Failed;
}

TResult CTQContentEdit::Record(TResult result, TCommand command)
{
    if (result == TResult::Done) {
        m_Undo.push_back(std::move(command));
        m_Redo.clear();
    }
    return result;
}

TResult CTQContentEdit::RunHistory(std::vector<TCommand>& from, std::vector<TCommand>& to,
                                   bool undo)
{
    if (from.empty())
        return TResult::Refused;
    TCommand command = std::move(from.back());
    from.pop_back();
    TResult result = Checked(command.Pages);
    if (result != TResult::Done) {
        from.push_back(std::move(command));
        return result;
    }
    result = undo ? command.Undo() : command.Redo();
    if (result == TResult::Done)
        to.push_back(std::move(command));
    return result;
}

TResult CTQContentEdit::Undo()
{
    return RunHistory(m_Undo, m_Redo, true);
}

TResult CTQContentEdit::Redo()
{
    return RunHistory(m_Redo, m_Undo, false);
}

std::string CTQContentEdit::CaptionBytes(const std::wstring& caption)
{
    std::string bytes;
    for (const wchar_t c : OneLine(caption)) {
        const std::string character = platform::ToUtf8(std::wstring(1, c));
        if (bytes.size() + character.size() > Rules::CaptionBytes)
            break;
        bytes += character;
    }
    return bytes;
}

// ---- Renumbering changes ------------------------------------------------------------------

TResult CTQContentEdit::DoMove(const std::wstring& folder, int from, int to)
{
    const CTQContentTree::TPage page = CTQContentTree::ReadPage(folder);
    if (from < 1 || to < 1 || from > page.Count || to > page.Count)
        return TResult::Refused;
    if (from == to)
        return TResult::Done;
    const int low = std::min(from, to);
    const int high = std::max(from, to);
    const int shift = from < to ? -1 : 1;
    CRenumberPlan plan(page.Folder,
                       Groups(page, low, high, [&](int n) { return n == from ? to : n + shift; }));
    std::vector<TTrashedName> none;
    plan.Build(Range(from, to), none);
    return Finish(page.Folder, CTQContentJournal::Run(page.Folder, plan.Steps()));
}

TResult CTQContentEdit::DoDelete(const std::wstring& folder, int number,
                                 std::vector<TTrashed>& trashed)
{
    const CTQContentTree::TPage page = CTQContentTree::ReadPage(folder);
    if (number < 1 || number > page.Count)
        return TResult::Refused;
    CRenumberPlan plan(page.Folder, Groups(page, number, page.Count, [&](int n) {
                           return n == number ? 0 : n - 1;
                       }));
    std::vector<TTrashedName> places;
    const std::vector<int> order =
        number < page.Count ? Range(number, page.Count - 1) : std::vector<int>{};
    if (!plan.Build(order, places))
        return TResult::Failed;
    trashed.clear();
    for (const auto& [place, name] : places)
        trashed.push_back({ place, name });
    return Finish(page.Folder, CTQContentJournal::Run(page.Folder, plan.Steps()));
}

TResult CTQContentEdit::DoRestore(const std::wstring& folder, int number,
                                  const std::vector<TTrashed>& trashed)
{
    const CTQContentTree::TPage page = CTQContentTree::ReadPage(folder);
    if (number < 1 || number > page.Count + 1 || page.Count >= Rules::MaxPicturesOnPage)
        return TResult::Refused;
    // Back from the trash under hidden names first, then in as a new group; the pictures
    // from number on make room, the last first. Leftovers after the last picture go to
    // the trash, so they cannot join the picture that takes their number.
    std::vector<TStep> untrash;
    TGroup back;
    back.Dest = number;
    for (const TTrashed& file : trashed) {
        const std::wstring hidden = CTQContentJournal::HiddenName(file.OriginalName);
        untrash.push_back({ TStepKind::Untrash, file.Place, hidden });
        back.Files.push_back(
            { file.OriginalName, hidden, CTQContentTree::IsPagePicture(file.OriginalName) });
    }
    std::vector<TGroup> groups =
        Groups(page, number, page.Count + 1, [&](int n) { return n > page.Count ? 0 : n + 1; });
    groups.push_back(std::move(back));
    CRenumberPlan plan(page.Folder, std::move(groups));
    std::vector<TTrashedName> strays;
    if (!plan.Build(Range(page.Count + 1, number), strays))
        return TResult::Failed;
    untrash.insert(untrash.end(), plan.Steps().begin(), plan.Steps().end());
    return Finish(page.Folder, CTQContentJournal::Run(page.Folder, untrash));
}

TResult CTQContentEdit::DoReplace(const std::wstring& folder,
                                  const std::vector<std::wstring>& remove,
                                  const std::vector<std::pair<std::wstring, std::wstring>>& add,
                                  std::vector<TTrashed>& trashed)
{
    std::vector<TStep> steps;
    std::vector<TTrashed> places;
    for (const std::wstring& name : remove) {
        const std::wstring place = CTQContentTrash::Reserve(In(folder, name), In(folder, name));
        if (place.empty())
            return TResult::Failed;
        steps.push_back({ TStepKind::Trash, name, place });
        places.push_back({ place, name });
    }
    for (const TTrashed& file : trashed)
        steps.push_back({ TStepKind::Untrash, file.Place, file.OriginalName });
    for (const auto& [hidden, name] : add)
        steps.push_back({ TStepKind::Rename, hidden, name });
    trashed = std::move(places);
    return Finish(folder, CTQContentJournal::Run(folder, steps));
}

// ---- Commands -----------------------------------------------------------------------------

TResult CTQContentEdit::Move(const std::wstring& page, int from, int to)
{
    const std::wstring folder = Normalised(page);
    if (TResult checked = Checked({ folder }); checked != TResult::Done)
        return checked;
    const TResult result = DoMove(folder, from, to);
    if (from == to)
        return result;
    return Record(result,
                  { { folder },
                    [=, this] { return DoMove(folder, to, from); },
                    [=, this] { return DoMove(folder, from, to); } });
}

TResult CTQContentEdit::Delete(const std::wstring& page, int number)
{
    const std::wstring folder = Normalised(page);
    if (TResult checked = Checked({ folder }); checked != TResult::Done)
        return checked;
    auto trashed = std::make_shared<std::vector<TTrashed>>();
    const TResult result = DoDelete(folder, number, *trashed);
    return Record(result,
                  { { folder },
                    [=, this] { return DoRestore(folder, number, *trashed); },
                    [=, this] { return DoDelete(folder, number, *trashed); } });
}

TResult CTQContentEdit::AddPicture(const std::wstring& page, const TNewPicture& picture)
{
    const std::wstring folder = Normalised(page);
    const std::wstring extension = Lower(picture.PictureExtension);
    const bool pictureType =
        std::any_of(Rules::PagePictureExtensions.begin(), Rules::PagePictureExtensions.end(),
                    [&](const wchar_t* e) { return extension == e; });
    if (!pictureType || picture.PictureBytes.empty())
        return TResult::Refused;
    if (!picture.SoundFile.empty() && !IsSoundExtension(ExtensionOf(picture.SoundFile)))
        return TResult::Refused;

    const bool newPage = !platform::IsFolder(folder);
    const std::wstring parent = ParentOf(folder);
    if (newPage &&
        (!platform::IsFolder(parent) || Rules::NumberOf(NameOf(folder), Rules::PageLetter) <= 0))
        return TResult::Refused;
    if (TResult checked = Checked({ newPage ? parent : folder }); checked != TResult::Done)
        return checked;
    const int count = newPage ? 0 : CTQContentTree::ReadPage(folder).Count;
    if (count >= Rules::MaxPicturesOnPage)
        return TResult::Refused;

    // The files, complete under hidden names: in the page itself, or in a hidden folder
    // that becomes the new page in one rename.
    const int number = count + 1;
    std::wstring stage = folder;
    if (newPage) {
        stage = In(parent, CTQContentJournal::HiddenName(NameOf(folder)));
        if (::mkdir(Bytes(stage).c_str(), 0755) != 0)
            return TResult::Failed;
    }
    const std::wstring name = PictureName(number, picture.Caption, extension);
    std::vector<std::pair<std::wstring, std::wstring>> staged;
    bool ok = true;
    const auto put = [&](const std::wstring& finalName, const std::wstring& hidden) {
        ok = ok && !hidden.empty();
        if (!hidden.empty())
            staged.push_back({ hidden, finalName });
    };
    const std::string caption = CaptionBytes(picture.Caption);
    if (!caption.empty()) {
        const std::wstring captionName = name.substr(0, name.rfind(L'.')) + Rules::CaptionExtension;
        put(captionName, WriteHidden(stage, captionName, caption));
    }
    if (ok && !picture.SoundFile.empty()) {
        const std::wstring soundName =
            Rules::NumberedName(Rules::PictureLetter, number) + ExtensionOf(picture.SoundFile);
        put(soundName, CopyHidden(stage, soundName, picture.SoundFile));
    }
    if (ok)
        put(name,
            WriteHidden(stage, name,
                        picture.PictureBytes));  // the picture last: it makes the rest visible
    if (!ok) {
        RemoveHidden(stage, staged);
        if (newPage)
            ::rmdir(Bytes(stage).c_str());
        return TResult::Failed;
    }

    if (newPage) {
        for (const auto& [hidden, finalName] : staged) {
            if (::rename(Bytes(In(stage, hidden)).c_str(), Bytes(In(stage, finalName)).c_str()) !=
                0)
                ok = false;
        }
        const TResult result = ok
            ? Finish(parent,
                     CTQContentJournal::Run(
                         parent, { { TStepKind::Rename, NameOf(stage), NameOf(folder) } }))
            : TResult::Failed;
        if (result != TResult::Done)
            return result;
        Stamp(folder);
        // Undone, the new page goes to the trash as a whole.
        auto trashed = std::make_shared<std::vector<TTrashed>>();
        const std::wstring pageName = NameOf(folder);
        return Record(result,
                      { { parent },
                        [=, this] { return DoReplace(parent, { pageName }, {}, *trashed); },
                        [=, this] { return DoReplace(parent, {}, {}, *trashed); } });
    }

    TGroup group;
    group.Dest = number;
    for (const auto& [hidden, finalName] : staged)
        group.Files.push_back({ finalName, hidden, finalName == name });
    std::vector<TGroup> groups = { ExistingGroup(CTQContentTree::ReadPage(folder), number, 0),
                                   std::move(group) };
    CRenumberPlan add(folder, std::move(groups));
    std::vector<TTrashedName> strays;
    if (!add.Build({ number }, strays)) {
        RemoveHidden(folder, staged);
        return TResult::Failed;
    }
    const TResult result = Finish(folder, CTQContentJournal::Run(folder, add.Steps()));
    auto trashed = std::make_shared<std::vector<TTrashed>>();
    return Record(result,
                  { { folder },
                    [=, this] { return DoDelete(folder, number, *trashed); },
                    [=, this] { return DoRestore(folder, number, *trashed); } });
}

TResult CTQContentEdit::SetCaption(const std::wstring& page, int number,
                                   const std::wstring& caption)
{
    const std::wstring folder = Normalised(page);
    if (TResult checked = Checked({ folder }); checked != TResult::Done)
        return checked;
    const CTQContentTree::TPage read = CTQContentTree::ReadPage(folder);
    if (number < 1 || number > static_cast<int>(read.Pictures.size()))
        return TResult::Refused;
    const CTQContentTree::TPicture& picture = read.Pictures[static_cast<std::size_t>(number - 1)];
    const std::wstring name = picture.CaptionName.empty()
        ? picture.PictureName.substr(0, picture.PictureName.rfind(L'.')) + Rules::CaptionExtension
        : picture.CaptionName;
    std::string old;
    const bool existed = platform::ReadFileBytes(In(folder, name), 1 << 20, old);
    // Writes the bytes as the caption, or removes it for none.
    const auto write = [this, folder, name](bool present, const std::string& bytes) {
        if (!present)
            return Finish(folder,
                          CTQContentJournal::Run(folder, { { TStepKind::Remove, name, {} } }));
        const std::wstring hidden = WriteHidden(folder, name, bytes);
        if (hidden.empty())
            return TResult::Failed;
        return Finish(folder,
                      CTQContentJournal::Run(folder, { { TStepKind::Rename, hidden, name } }));
    };
    const std::string bytes = CaptionBytes(caption);
    const TResult result = write(!bytes.empty(), bytes);
    return Record(result,
                  { { folder },
                    [=] { return write(existed, old); },
                    [=] { return write(!bytes.empty(), bytes); } });
}

// Replaces the files in one step: undo trashes what was added and brings back what was
// removed, redo does it again, each keeping the trash entries the other needs.
TResult
CTQContentEdit::ReplaceRecorded(const std::wstring& folder, const std::vector<std::wstring>& remove,
                                const std::vector<std::pair<std::wstring, std::wstring>>& add)
{
    auto oldTrashed = std::make_shared<std::vector<TTrashed>>();
    auto newTrashed = std::make_shared<std::vector<TTrashed>>();
    const TResult result = DoReplace(folder, remove, add, *oldTrashed);
    if (result != TResult::Done)
        RemoveHidden(folder, add);
    std::vector<std::wstring> added;
    for (const auto& [hidden, name] : add)
        added.push_back(name);
    return Record(result,
                  { { folder },
                    [=, this] {
                        std::vector<TTrashed> back = *oldTrashed;
                        const TResult r = DoReplace(folder, added, {}, back);
                        *newTrashed = back;
                        return r;
                    },
                    [=, this] {
                        std::vector<TTrashed> back = *newTrashed;
                        std::vector<std::wstring> restored;
                        for (const TTrashed& file : *oldTrashed)
                            restored.push_back(file.OriginalName);
                        const TResult r = DoReplace(folder, restored, {}, back);
                        *oldTrashed = back;
                        return r;
                    } });
}

TResult CTQContentEdit::SetSound(const std::wstring& page, int number,
                                 const std::wstring& soundFile)
{
    const std::wstring folder = Normalised(page);
    if (TResult checked = Checked({ folder }); checked != TResult::Done)
        return checked;
    const CTQContentTree::TPage read = CTQContentTree::ReadPage(folder);
    if (number < 1 || number > static_cast<int>(read.Pictures.size()))
        return TResult::Refused;
    const std::wstring extension = ExtensionOf(soundFile);
    if (!soundFile.empty() && !IsSoundExtension(extension))
        return TResult::Refused;

    // Every sound of the number goes, so the new one is the one the board plays.
    const std::wstring stem = Rules::NumberedName(Rules::PictureLetter, number);
    std::vector<std::wstring> old;
    for (const std::wstring& name : GroupNames(read, number)) {
        if (Lower(name.substr(0, stem.size())) == Lower(stem) &&
            name.size() == stem.size() + ExtensionOf(name).size() &&
            std::any_of(Rules::SoundExtensions.begin(), Rules::SoundExtensions.end(),
                        [&](const wchar_t* e) { return ExtensionOf(name) == e; }))
            old.push_back(name);
    }
    std::vector<std::pair<std::wstring, std::wstring>> add;
    if (!soundFile.empty()) {
        const std::wstring name = stem + extension;
        const std::wstring hidden = CopyHidden(folder, name, soundFile);
        if (hidden.empty())
            return TResult::Failed;
        add.push_back({ hidden, name });
    }
    return ReplaceRecorded(folder, old, add);
}

TResult CTQContentEdit::SetLeadsTo(const std::wstring& page, int number, TLeadsTo leadsTo,
                                   const std::wstring& value, const std::wstring& programName,
                                   const std::wstring& programFolder)
{
    const std::wstring folder = Normalised(page);
    if (TResult checked = Checked({ folder }); checked != TResult::Done)
        return checked;
    const CTQContentTree::TPage read = CTQContentTree::ReadPage(folder);
    if (number < 1 || number > static_cast<int>(read.Pictures.size()))
        return TResult::Refused;

    // The new companion, complete under a hidden name.
    std::vector<std::pair<std::wstring, std::wstring>> add;
    std::wstring hidden;
    std::wstring name;
    switch (leadsTo) {
    case TLeadsTo::Program: {
        name = Rules::NumberedName(Rules::PictureLetter, number) + Rules::ShortcutExtension;
        std::wstring entry = L"[Desktop Entry]\nType=Application\nName=" +
            OneLine(programName.empty() ? value : programName) + L"\nExec=" + OneLine(value) +
            L"\n";
        if (!OneLine(programFolder).empty())
            entry += L"Path=" + OneLine(programFolder) + L"\n";
        if (OneLine(value).empty())
            return TResult::Refused;
        hidden = WriteHidden(folder, name, platform::ToUtf8(entry));
        break;
    }
    case TLeadsTo::Film:
    case TLeadsTo::Music: {
        // The board tells a film from music by the name: a film is ".wmv" whatever its
        // container (the player reads the content), music keeps ".wma" or becomes ".mp3".
        const std::wstring extension = leadsTo == TLeadsTo::Film
            ? std::wstring(Rules::FilmExtension)
            : ExtensionOf(value) == L".wma" ? L".wma"
                                            : L".mp3";
        name = Rules::NumberedName(Rules::MediaLetter, number) + extension;
        hidden = CopyHidden(folder, name, value);
        break;
    }
    case TLeadsTo::WebAddress: {
        const std::string address = platform::ToUtf8(OneLine(value));
        if (address.empty() || address.size() + 1 > Rules::WebAddressBytes)
            return TResult::Refused;
        name = Rules::NumberedName(Rules::WebAddressLetter, number) + Rules::WebAddressExtension;
        hidden = WriteHidden(folder, name, address + "\n");
        break;
    }
    case TLeadsTo::SubPage:
        // A new sub-page is made at once, empty, so the carer can walk into it and fill it;
        // the board stays on the page when an empty one is chosen.
        if (!platform::IsFolder(CTQContentTree::SubPageFolder(folder, number))) {
            name = Rules::NumberedName(Rules::PageLetter, number);
            hidden = MakeHiddenFolder(folder, name);
        }
        break;
    case TLeadsTo::Nothing:
        break;
    }
    if (!name.empty()) {
        if (hidden.empty())
            return TResult::Failed;
        add.push_back({ hidden, name });
    }

    // Every other thing the picture could lead to goes, so that what was chosen is what the
    // board starts. A sub-page stays when it is what was chosen.
    const std::wstring stem = Rules::NumberedName(Rules::PictureLetter, number);
    std::vector<std::wstring> remove;
    for (const std::wstring& file : GroupNames(read, number)) {
        const bool shortcut = Rules::NumberOf(file, Rules::PictureLetter) == number &&
            ExtensionOf(file) == Rules::ShortcutExtension &&
            file.size() == stem.size() + std::wstring(Rules::ShortcutExtension).size();
        const bool media = Rules::NumberOf(file, Rules::MediaLetter) == number;
        const bool web = Rules::NumberOf(file, Rules::WebAddressLetter) == number;
        const bool sub = Rules::NumberOf(file, Rules::PageLetter) == number &&
            file.size() == stem.size() && leadsTo != TLeadsTo::SubPage;
        if (shortcut || media || web || sub)
            remove.push_back(file);
    }
    return ReplaceRecorded(folder, remove, add);
}
