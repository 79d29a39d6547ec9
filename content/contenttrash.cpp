#include "content/contenttrash.h"

#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Bytes(const std::wstring& path)
{
    return platform::ToUtf8(path);
}

std::string Parent(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    char* cwd = ::getcwd(nullptr, 0);
    std::string absolute = cwd != nullptr ? std::string(cwd) + "/" + path : path;
    std::free(cwd);
    return absolute;
}

bool MakeFolders(const std::string& folder)
{
    struct stat info { };
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    if (folder != "/" && !MakeFolders(Parent(folder)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

dev_t DeviceOf(const std::string& path)
{
    struct stat info { };
    std::string existing = path;
    while (::stat(existing.c_str(), &info) != 0 && existing != "/")
        existing = Parent(existing);
    return info.st_dev;
}

std::string HomeTrash()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/')
        return std::string(dataHome) + "/Trash";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share/Trash";
}

// The highest folder above path on path's file system (where a removable disk is mounted).
std::string TopFolder(const std::string& path)
{
    const dev_t device = DeviceOf(path);
    std::string top = Parent(path);
    while (top != "/" && DeviceOf(Parent(top)) == device)
        top = Parent(top);
    return top;
}

struct TTrashPlace {
    std::string Folder;    // holds files/ and info/
    std::string PathBase;  // the info file's Path= is written relative to this ("" for absolute)
};

TTrashPlace PlaceFor(const std::string& path)
{
    const std::string home = HomeTrash();
    if (DeviceOf(home) == DeviceOf(Parent(path)))
        return { home, "" };
    const std::string top = TopFolder(path);
    return { (top == "/" ? "" : top) + "/.Trash-" + std::to_string(::getuid()),
             top == "/" ? "" : top + "/" };
}

// Path= of an info file: percent-encoded bytes, "/" kept.
std::string Escaped(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || std::string("/-_.~").find(c) != std::string::npos) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

std::string InfoPathOf(const std::string& trashedPath)
{
    const std::size_t slash = trashedPath.find_last_of('/');
    const std::string files = trashedPath.substr(0, slash);
    return Parent(files) + "/info/" + trashedPath.substr(slash + 1) + ".trashinfo";
}

}  // namespace

std::wstring CTQContentTrash::Reserve(const std::wstring& path, const std::wstring& originalPath)
{
    const std::string from = Absolute(Bytes(path));
    const TTrashPlace place = PlaceFor(from);
    if (!MakeFolders(place.Folder + "/files") || !MakeFolders(place.Folder + "/info"))
        return {};

    std::string original = Absolute(Bytes(originalPath));
    if (!place.PathBase.empty() && original.rfind(place.PathBase, 0) == 0)
        original = original.substr(place.PathBase.size());
    char date[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string info =
        "[Trash Info]\nPath=" + Escaped(original) + "\nDeletionDate=" + date + "\n";

    const std::string name = original.substr(original.find_last_of('/') + 1);
    for (int attempt = 1; attempt < 10000; ++attempt) {
        const std::string candidate = attempt == 1 ? name : name + "." + std::to_string(attempt);
        const std::string infoPath = place.Folder + "/info/" + candidate + ".trashinfo";
        const std::string trashed = place.Folder + "/files/" + candidate;
        struct stat ignored { };
        if (::lstat(trashed.c_str(), &ignored) == 0)
            continue;
        // The info file is made first and exclusively: it is what reserves the name.
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        const bool written =
            ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
        ::fsync(fd);
        ::close(fd);
        if (!written) {
            ::unlink(infoPath.c_str());
            return {};
        }
        return platform::FromUtf8(trashed);
    }
    return {};
}

bool CTQContentTrash::Move(const std::wstring& path, const std::wstring& trashedPath)
{
    return ::rename(Bytes(path).c_str(), Bytes(trashedPath).c_str()) == 0;
}

bool CTQContentTrash::Restore(const std::wstring& trashedPath, const std::wstring& path)
{
    struct stat ignored { };
    const std::string target = Bytes(path);
    if (::lstat(target.c_str(), &ignored) == 0)
        return false;
    if (::rename(Bytes(trashedPath).c_str(), target.c_str()) != 0)
        return false;
    ::unlink(InfoPathOf(Bytes(trashedPath)).c_str());
    return true;
}

void CTQContentTrash::Unreserve(const std::wstring& trashedPath)
{
    ::unlink(InfoPathOf(Bytes(trashedPath)).c_str());
}
