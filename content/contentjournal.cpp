#include "content/contentjournal.h"

#include "content/contenttrash.h"
#include "platform/files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TStep = CTQContentJournal::TStep;
using TStepKind = CTQContentJournal::TStepKind;

constexpr const char* kJournal = ".orlido-journal";
constexpr const char* kProgress = ".orlido-journal-done";
constexpr const char* kJournalTemp = ".orlido-journal-new";
constexpr std::size_t kMaxJournalBytes = 1 << 20;

std::atomic<int> g_nStepsLeft{ -1 };
std::atomic<unsigned> g_nHiddenCounter{ 0 };

std::string Bytes(const std::wstring& text)
{
    return platform::ToUtf8(text);
}

std::string In(const std::wstring& folder, const std::string& name)
{
    return Bytes(folder) + "/" + name;
}

bool Exists(const std::string& path)
{
    struct stat info { };
    return ::lstat(path.c_str(), &info) == 0;
}

bool SyncFolder(const std::wstring& folder)
{
    const int fd = ::open(Bytes(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::fsync(fd);
    ::close(fd);
    return true;
}

// A name in the page folder: no separator, not "." or "..".
bool IsPlainName(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L".." && name.find(L'/') == std::wstring::npos;
}

// A place in a trash folder: ".../Trash/files/NAME" or ".../.Trash-UID/files/NAME".
bool IsTrashPlace(const std::wstring& path)
{
    const std::size_t files = path.rfind(L"/files/");
    if (files == std::wstring::npos || !IsPlainName(path.substr(files + 7)) ||
        path.find(L"/../") != std::wstring::npos)
        return false;
    const std::wstring trash = path.substr(0, files);
    const std::wstring last = trash.substr(trash.rfind(L'/') + 1);
    return last == L"Trash" || last == L".Trash-" + std::to_wstring(::getuid());
}

bool IsValidStep(const TStep& step)
{
    switch (step.Kind) {
    case TStepKind::Rename:
    case TStepKind::Link:
        return IsPlainName(step.From) && IsPlainName(step.To);
    case TStepKind::Remove:
        return IsPlainName(step.From);
    case TStepKind::Trash:
        return IsPlainName(step.From) && IsTrashPlace(step.To);
    case TStepKind::Untrash:
        return IsTrashPlace(step.From) && IsPlainName(step.To);
    }
    return false;
}

std::string FullPath(const std::wstring& folder, const std::wstring& nameOrPath)
{
    return nameOrPath.front() == L'/' ? Bytes(nameOrPath) : In(folder, Bytes(nameOrPath));
}

// Whether the step's effect is already on disk: asked only of the one step after the last
// one recorded as done, which a crash may have left done but unrecorded.
bool IsDone(const std::wstring& folder, const TStep& step)
{
    const std::string from = FullPath(folder, step.From);
    switch (step.Kind) {
    case TStepKind::Link:
        return Exists(FullPath(folder, step.To));
    case TStepKind::Remove:
        return !Exists(from);
    default:
        return !Exists(from) && Exists(FullPath(folder, step.To));
    }
}

// A file system without hard links (FAT on a USB stick) answers link() so.
bool NoHardLinks(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK;
}

// A copy in place of a second name: complete under a temporary name first, so that the
// name exists only with all of the bytes.
bool CopyFile(const std::string& from, const std::string& to)
{
    const std::string part = to + "-part";
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = out >= 0;
    char chunk[1 << 16];
    while (ok) {
        const ssize_t got = ::read(in, chunk, sizeof chunk);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = ::write(out, chunk, static_cast<std::size_t>(got)) == got;
    }
    ::close(in);
    if (out >= 0)
        ok = ::fsync(out) == 0 && ::close(out) == 0 && ok;
    ok = ok && ::rename(part.c_str(), to.c_str()) == 0;
    if (!ok)
        ::unlink(part.c_str());
    return ok;
}

bool DoStep(const std::wstring& folder, const TStep& step)
{
    const std::string from = FullPath(folder, step.From);
    const std::string to = step.To.empty() ? std::string() : FullPath(folder, step.To);
    switch (step.Kind) {
    case TStepKind::Rename:
    case TStepKind::Trash:
        return ::rename(from.c_str(), to.c_str()) == 0;
    case TStepKind::Link:
        return ::link(from.c_str(), to.c_str()) == 0 || (NoHardLinks(errno) && CopyFile(from, to));
    case TStepKind::Remove:
        return ::unlink(from.c_str()) == 0 || errno == ENOENT;
    case TStepKind::Untrash:
        return CTQContentTrash::Restore(step.From, platform::FromUtf8(to));
    }
    return false;
}

void AppendField(std::string& out, const std::wstring& text)
{
    const std::string bytes = Bytes(text);
    out += std::to_string(bytes.size()) + ":" + bytes;
}

std::string Encode(const std::vector<TStep>& steps)
{
    std::string out;
    for (const TStep& step : steps) {
        out += static_cast<char>('0' + static_cast<int>(step.Kind));
        AppendField(out, step.From);
        AppendField(out, step.To);
        out += '\n';
    }
    return out;
}

bool ReadField(const std::string& in, std::size_t& at, std::wstring& field)
{
    const std::size_t colon = in.find(':', at);
    if (colon == std::string::npos || colon == at || colon - at > 6)
        return false;
    std::size_t length = 0;
    for (std::size_t i = at; i < colon; ++i) {
        if (in[i] < '0' || in[i] > '9')
            return false;
        length = length * 10 + static_cast<std::size_t>(in[i] - '0');
    }
    if (in.size() - colon - 1 < length)
        return false;
    field = platform::FromUtf8(in.substr(colon + 1, length));
    at = colon + 1 + length;
    return true;
}

// The steps of a journal; false when it is not one this program wrote (then nothing of it
// is done).
bool Decode(const std::string& in, std::vector<TStep>& steps)
{
    for (std::size_t at = 0; at < in.size();) {
        const int kind = in[at] - '0';
        if (kind < 0 || kind > static_cast<int>(TStepKind::Untrash))
            return false;
        TStep step{ static_cast<TStepKind>(kind), {}, {} };
        ++at;
        if (!ReadField(in, at, step.From) || !ReadField(in, at, step.To) || at >= in.size() ||
            in[at] != '\n')
            return false;
        ++at;
        if (!IsValidStep(step))
            return false;
        steps.push_back(std::move(step));
    }
    return true;
}

bool WriteJournal(const std::wstring& folder, const std::string& bytes)
{
    const std::string temp = In(folder, kJournalTemp);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
        ::fsync(fd) == 0;
    ::close(fd);
    ::unlink(In(folder, kProgress).c_str());
    if (!written || ::rename(temp.c_str(), In(folder, kJournal).c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return SyncFolder(folder);
}

bool ReadWhole(const std::string& path, std::string& bytes)
{
    return platform::ReadFileBytes(platform::FromUtf8(path), kMaxJournalBytes, bytes);
}

// Runs steps from the first not recorded as done; the progress file grows a byte a step.
bool RunFrom(const std::wstring& folder, const std::vector<TStep>& steps, std::size_t first)
{
    const int progress =
        ::open(In(folder, kProgress).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (progress < 0)
        return false;
    bool ok = true;
    for (std::size_t i = first; i < steps.size() && ok; ++i) {
        if (g_nStepsLeft.load() == 0) {
            ok = false;  // stopped as by a crash: nothing more, nothing cleaned up
            break;
        }
        const bool done = i == first && IsDone(folder, steps[i]);
        ok = done || DoStep(folder, steps[i]);
        if (ok) {
            ok = ::write(progress, "+", 1) == 1;
            ::fdatasync(progress);
            if (g_nStepsLeft.load() > 0)
                --g_nStepsLeft;
        }
    }
    ::close(progress);
    if (!ok)
        return false;
    SyncFolder(folder);
    ::unlink(In(folder, kJournal).c_str());
    ::unlink(In(folder, kProgress).c_str());
    return true;
}

}  // namespace

bool CTQContentJournal::Run(const std::wstring& folder, const std::vector<TStep>& steps)
{
    for (const TStep& step : steps) {
        if (!IsValidStep(step))
            return false;
    }
    if (HasJournal(folder) && !Recover(folder))
        return false;
    if (steps.empty())
        return true;
    if (!WriteJournal(folder, Encode(steps)))
        return false;
    return RunFrom(folder, steps, 0);
}

bool CTQContentJournal::HasJournal(const std::wstring& folder)
{
    return Exists(In(folder, kJournal));
}

bool CTQContentJournal::Recover(const std::wstring& folder)
{
    ::unlink(In(folder, kJournalTemp).c_str());
    std::string bytes;
    if (!ReadWhole(In(folder, kJournal), bytes))
        return true;
    std::vector<TStep> steps;
    if (!Decode(bytes, steps)) {
        platform::TraceF(L"Content journal in %ls cannot be read; left as it is\n", folder.c_str());
        return false;
    }
    std::string progress;
    ReadWhole(In(folder, kProgress), progress);
    if (progress.size() > steps.size())
        return false;
    return RunFrom(folder, steps, progress.size());
}

void CTQContentJournal::RecoverTree(const std::wstring& folder)
{
    Recover(folder);
    for (const std::wstring& name : platform::ListFolderNames(folder)) {
        if (name.rfind(L".", 0) == 0)
            continue;
        const std::wstring path = folder + L"/" + name;
        struct stat info { };
        if (::lstat(Bytes(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            RecoverTree(path);
    }
}

std::wstring CTQContentJournal::HiddenName(const std::wstring& name)
{
    return std::wstring(HiddenPrefix) + std::to_wstring(::getpid()) + L"-" +
        std::to_wstring(++g_nHiddenCounter) + L"-" + name;
}

void CTQContentJournal::StopAfterSteps(int steps)
{
    g_nStepsLeft = steps;
}
