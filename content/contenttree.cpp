#include "content/contenttree.h"

#include "content/contentrules.h"
#include "platform/files.h"

#include <cwctype>

namespace {

using Rules = CTQContentRules;
constexpr std::size_t kNumberedLength = 1 + Rules::NumberDigits;
// Bytes read past a caption's limit: enough to tell a UTF-8 character cut at the limit.
constexpr std::size_t kLookAheadBytes = 3;

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

bool EndsWithIgnoringCase(const std::wstring& name, const std::wstring& end)
{
    return name.size() >= end.size() && Lower(name.substr(name.size() - end.size())) == Lower(end);
}

std::wstring Join(const std::wstring& folder, const std::wstring& name)
{
    return folder + L"/" + name;
}

// The first of stem + extension, in the order given, that is a file; its name, or empty.
template <typename Extensions>
std::wstring FirstFile(const std::wstring& folder, const std::wstring& stem,
                       const Extensions& extensions, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring path = platform::ResolvePath(Join(folder, stem + extensions[i]));
        if (platform::IsFile(path))
            return path.substr(path.rfind(L'/') + 1);
    }
    return {};
}

// The page picture numbered n the board's way: the first name (in the board's order) that
// matches "B0000n*.jpg", then "*.png".
std::wstring FindPicture(const std::wstring& folder, int number)
{
    const std::wstring stem = Rules::NumberedName(Rules::PictureLetter, number);
    for (const wchar_t* extension : Rules::PagePictureExtensions) {
        std::wstring path;
        std::wstring name;
        if (platform::FindFirstFile(Join(folder, stem + L"*" + extension), path, name))
            return name;
    }
    return {};
}

bool IsValidUtf8(const std::string& bytes)
{
    return platform::DecodeText8(bytes) == platform::FromUtf8(bytes);
}

void ReadCompanions(const std::wstring& folder, CTQContentTree::TPicture& picture)
{
    using TLeadsTo = CTQContentTree::TLeadsTo;
    const int n = picture.Number;
    const std::wstring base = picture.PictureName.substr(0, picture.PictureName.rfind(L'.'));
    const std::wstring captionPath =
        platform::ResolvePath(Join(folder, base + Rules::CaptionExtension));
    std::string bytes;
    if (platform::ReadFileBytes(captionPath, Rules::CaptionBytes + kLookAheadBytes, bytes)) {
        picture.CaptionName = captionPath.substr(captionPath.rfind(L'/') + 1);
        picture.Caption = CTQContentTree::CaptionFromBytes(bytes);
    }
    picture.SoundName = FirstFile(folder, picture.PictureName.substr(0, kNumberedLength),
                                  Rules::SoundExtensions, Rules::SoundExtensions.size());

    for (const Rules::TCompanion& companion : Rules::Companions()) {
        const std::wstring name = FirstFile(folder, Rules::NumberedName(companion.Letter, n),
                                            companion.Extensions, companion.ExtensionCount);
        if (name.empty())
            continue;
        if (picture.LeadsTo != TLeadsTo::Nothing) {
            picture.Overruled.push_back(name);
            continue;
        }
        picture.LeadsToName = name;
        switch (companion.Activity) {
        case Rules::TActivity::Program:
            picture.LeadsTo = TLeadsTo::Program;
            break;
        case Rules::TActivity::Media:
            picture.LeadsTo =
                EndsWithIgnoringCase(name, Rules::FilmExtension) ? TLeadsTo::Film : TLeadsTo::Music;
            break;
        case Rules::TActivity::WebAddress:
            picture.LeadsTo = TLeadsTo::WebAddress;
            if (platform::ReadFileBytes(Join(folder, name), Rules::WebAddressBytes, bytes)) {
                std::wstring address = platform::DecodeText8(bytes);
                while (!address.empty() && std::iswspace(static_cast<wint_t>(address.back())))
                    address.pop_back();
                picture.WebAddress = address;
            }
            break;
        }
    }
    const std::wstring sub = platform::ResolvePath(CTQContentTree::SubPageFolder(folder, n));
    if (platform::IsFolder(sub)) {
        const std::wstring name = sub.substr(sub.rfind(L'/') + 1);
        if (picture.LeadsTo == TLeadsTo::Nothing) {
            picture.LeadsTo = TLeadsTo::SubPage;
            picture.LeadsToName = name;
        } else {
            picture.Overruled.push_back(name);
        }
    }
}

}  // namespace

CTQContentTree::TPage CTQContentTree::ReadPage(const std::wstring& folder)
{
    TPage page;
    page.Folder = platform::ResolvePath(folder);
    while (page.Folder.size() > 1 && page.Folder.back() == L'/')
        page.Folder.pop_back();
    page.Exists = platform::IsFolder(page.Folder);
    if (!page.Exists)
        return page;
    for (const std::wstring& name : platform::ListFolderNames(page.Folder)) {
        const int number = GroupNumberOf(name);
        if (number > 0)
            page.Groups[number].push_back(name);
    }
    while (page.Count < Rules::HighestNumber) {
        const std::wstring name = FindPicture(page.Folder, page.Count + 1);
        if (name.empty())
            break;
        ++page.Count;
        if (page.Count > Rules::MaxPicturesOnPage)
            continue;
        TPicture picture;
        picture.Number = page.Count;
        picture.PictureName = name;
        ReadCompanions(page.Folder, picture);
        page.Pictures.push_back(std::move(picture));
    }
    return page;
}

std::wstring CTQContentTree::FirstPageFolder(const std::wstring& contentFolder)
{
    std::wstring folder = contentFolder;
    while (folder.size() > 1 && folder.back() == L'/')
        folder.pop_back();
    return platform::ResolvePath(folder + L"/" + Rules::UserDataFolder + L"/" +
                                 Rules::NumberedName(Rules::PageLetter, 1));
}

std::wstring CTQContentTree::SubPageFolder(const std::wstring& pageFolder, int number)
{
    return Join(pageFolder, Rules::NumberedName(Rules::PageLetter, number));
}

int CTQContentTree::GroupNumberOf(const std::wstring& name)
{
    for (const wchar_t letter :
         { Rules::PictureLetter, Rules::PageLetter, Rules::MediaLetter, Rules::WebAddressLetter }) {
        const int number = Rules::NumberOf(name, letter);
        if (number >= 0)
            return number;
    }
    return -1;
}

std::wstring CTQContentTree::Renumbered(const std::wstring& name, int number)
{
    std::wstring renamed = Rules::NumberedName(name.front(), number);
    return renamed + name.substr(kNumberedLength);
}

bool CTQContentTree::IsPagePicture(const std::wstring& name)
{
    if (Rules::NumberOf(name, Rules::PictureLetter) < 0)
        return false;
    for (const wchar_t* extension : Rules::PagePictureExtensions) {
        if (EndsWithIgnoringCase(name, extension))
            return true;
    }
    return false;
}

std::wstring CTQContentTree::CaptionFromBytes(const std::string& bytes)
{
    const std::string head = bytes.substr(0, Rules::CaptionBytes);
    // Cut inside a character: UTF-8 when the text up to that character's end is, and then
    // the cut character is left out; otherwise Windows-1252, a character to a byte.
    if (bytes.size() > head.size()) {
        std::size_t lead = head.size();
        while (lead > 0 && head.size() - lead < 3 &&
               (static_cast<unsigned char>(head[lead - 1]) & 0xC0) == 0x80)
            --lead;
        if (lead > 0) {
            const auto first = static_cast<unsigned char>(head[lead - 1]);
            const std::size_t length = first >= 0xF0 ? 4
                : first >= 0xE0                      ? 3
                : first >= 0xC2                      ? 2
                                                     : 1;
            const std::size_t end = lead - 1 + length;
            if (length > 1 && end > head.size() && end <= bytes.size() &&
                IsValidUtf8(bytes.substr(0, end)))
                return platform::FromUtf8(head.substr(0, lead - 1));
        }
    }
    return platform::DecodeText8(head);
}
