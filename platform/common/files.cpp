// File access with case-insensitive name resolution, 8-bit text decoding and the trace sink.
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace platform {

namespace {

// ---------------------------------------------------------------------------------------
// Text conversion

constexpr wchar_t kReplacement = 0xFFFD;
// Bytes that are not valid UTF-8 in a file name are kept as U+DC80..U+DCFF so that the
// name converts back to the same bytes (the same trick as Python's "surrogateescape").
constexpr wchar_t kEscapeBase = 0xDC00;

// Windows-1252 for 0x80..0x9F; the five unused bytes map to their C1 control code points.
constexpr wchar_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

wchar_t Cp1252ToWide(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0) {
        return kCp1252High[byte - 0x80];
    }
    return static_cast<wchar_t>(byte);
}

// Decodes one UTF-8 sequence at bytes[i]. Returns its length, or 0 when it is not a valid,
// shortest-form sequence of a scalar value.
std::size_t DecodeUtf8Sequence(std::string_view bytes, std::size_t i, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    codePoint = value;
    return length;
}

bool IsValidUtf8(std::string_view bytes)
{
    char32_t ignored = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = DecodeUtf8Sequence(bytes, i, ignored);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// ---------------------------------------------------------------------------------------
// Case-insensitive names

// Simple case folding for the scripts that content names use (Latin, Greek, Cyrillic).
// Independent of the process locale so that resolution is the same everywhere.
wchar_t FoldCase(wchar_t c)
{
    if (c >= L'A' && c <= L'Z') {
        return c + 32;
    }
    if (c < 0xC0) {
        return c;
    }
    if (c <= 0xDE && c != 0xD7) {
        return c + 32;  // Latin-1 letters: À..Þ except ×
    }
    if (c >= 0x100 && c <= 0x137) {
        return c | 1;  // Latin Extended-A, pairs upper-even/lower-odd
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return (c & 1) ? c + 1 : c;  // pairs upper-odd/lower-even
    }
    if (c >= 0x14A && c <= 0x177) {
        return c | 1;
    }
    if (c == 0x178) {
        return 0xFF;  // Ÿ
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) {
        return c + 32;  // Greek capitals
    }
    if (c >= 0x410 && c <= 0x42F) {
        return c + 32;  // Cyrillic capitals
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 80;
    }
    return c;
}

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

// "*" matches any run of characters, "?" one character; other characters match without
// regard to case.
bool WildcardMatch(std::wstring_view pattern, std::wstring_view name)
{
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::wstring_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == L'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') {
        ++p;
    }
    return p == pattern.size();
}

bool PatternMatches(const std::wstring& pattern, const std::wstring& name)
{
    // As on the system the content comes from, "*.*" means every file, dot or not.
    if (pattern == L"*.*") {
        return true;
    }
    return WildcardMatch(pattern, name);
}

bool StatPath(const std::wstring& path, struct stat& info)
{
    return ::stat(ToUtf8(path).c_str(), &info) == 0;
}

bool Exists(const std::wstring& path)
{
    struct stat info { };
    return StatPath(path, info);
}

// The names in a folder ("." and ".." left out), sorted so results never depend on the
// order in which the file system lists them. The order ignores case (names that differ only
// in case keep their raw order), as every match does: of "B00001 Zebra.jpg" and "B00001
// apple.jpg" the search for picture 1 takes the apple, whatever the case.
std::vector<std::wstring> ListFolder(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    DIR* dir = ::opendir(ToUtf8(folder.empty() ? L"." : folder).c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view raw(entry->d_name);
        if (raw == "." || raw == "..") {
            continue;
        }
        names.push_back(FromUtf8(raw));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        const auto folded = [](wchar_t c) { return FoldCase(c); };
        const bool less = std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [&](wchar_t x, wchar_t y) { return folded(x) < folded(y); });
        const bool greater = std::lexicographical_compare(
            b.begin(), b.end(), a.begin(), a.end(),
            [&](wchar_t x, wchar_t y) { return folded(x) < folded(y); });
        return less || (!greater && a < b);
    });
    return names;
}

std::vector<std::wstring> SplitComponents(const std::wstring& path)
{
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find(L'/', start);
        if (slash == std::wstring::npos) {
            slash = path.size();
        }
        if (slash > start) {
            parts.push_back(path.substr(start, slash - start));
        }
        start = slash + 1;
    }
    return parts;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty()) {
        return name;
    }
    if (folder.back() == L'/') {
        return folder + name;
    }
    return folder + L'/' + name;
}

std::wstring FormatWide(const wchar_t* format, std::va_list args)
{
    // Grows the buffer until the text fits; a format that cannot be rendered gives "".
    for (std::size_t size = 1024; size <= (1u << 20); size *= 4) {
        std::vector<wchar_t> buffer(size);
        std::va_list copy;
        va_copy(copy, args);
        const int written = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (written >= 0) {
            return std::wstring(buffer.data(), static_cast<std::size_t>(written));
        }
    }
    return {};
}

// ---------------------------------------------------------------------------------------
// Trace sink

struct TraceSink {
    // Recursive so that a capture function may itself trace.
    std::recursive_mutex mutex;
    std::function<void(const std::wstring&)> capture;
    bool toStderr = std::getenv("ORLIDO_TRACE") != nullptr;
};

TraceSink& GetTraceSink()
{
    static TraceSink sink;
    return sink;
}

}  // namespace

std::wstring ResolvePath(const std::wstring& path)
{
    if (path.empty() || Exists(path)) {
        return path;
    }
    const bool absolute = path.front() == L'/';
    std::wstring resolved = absolute ? L"/" : L"";
    const std::vector<std::wstring> parts = SplitComponents(path);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::wstring& part = parts[i];
        std::wstring candidate = Join(resolved, part);
        if (part == L"." || part == L".." || Exists(candidate)) {
            resolved = std::move(candidate);
            continue;
        }
        const std::vector<std::wstring> names = ListFolder(resolved);
        const auto match = std::find_if(names.begin(), names.end(), [&](const std::wstring& name) {
            return EqualIgnoringCase(name, part);
        });
        if (match == names.end()) {
            // Nothing on disk matches: keep the rest as given (so a new file can still be
            // created in a folder whose name differs in case).
            for (std::size_t k = i; k < parts.size(); ++k) {
                resolved = Join(resolved, parts[k]);
            }
            if (!path.empty() && path.back() == L'/') {
                resolved += L'/';
            }
            return resolved;
        }
        resolved = Join(resolved, *match);
    }
    return resolved;
}

std::FILE* OpenFile(const std::wstring& path, const char* mode)
{
    if (path.empty() || mode == nullptr) {
        return nullptr;
    }
    const std::string resolved = ToUtf8(ResolvePath(path));
    if (mode[0] == 'r' && std::strchr(mode, '+') == nullptr) {
        // Reading takes regular files only: opening a FIFO (named like a sound or a caption
        // by mistake or on purpose) would wait for a writer for ever. Opened without
        // blocking, looked at, then handed to stdio.
        const int fd = ::open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        struct stat info { };
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return nullptr;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        std::FILE* file = ::fdopen(fd, mode);
        if (file == nullptr) {
            ::close(fd);
        }
        return file;
    }
    std::FILE* file = std::fopen(resolved.c_str(), mode);
    if (file == nullptr) {
        return nullptr;
    }
    // A folder can be opened with fopen here but is not a file anywhere else.
    struct stat info { };
    if (::fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool ReadFileBytes(const std::wstring& path, std::size_t maxBytes, std::string& bytes)
{
    bytes.clear();
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        return false;
    }
    char chunk[4096];
    while (bytes.size() < maxBytes) {
        const std::size_t wanted = std::min(sizeof(chunk), maxBytes - bytes.size());
        const std::size_t got = std::fread(chunk, 1, wanted, file);
        bytes.append(chunk, got);
        if (got < wanted) {
            break;
        }
    }
    std::fclose(file);
    return true;
}

bool IsFolder(const std::wstring& path)
{
    struct stat info { };
    return !path.empty() && StatPath(ResolvePath(path), info) && S_ISDIR(info.st_mode);
}

bool IsFile(const std::wstring& path)
{
    struct stat info { };
    return !path.empty() && StatPath(ResolvePath(path), info) && S_ISREG(info.st_mode);
}

// Folder watch: inotify on the resolved folder; any event at all counts as a change.
FolderWatch::FolderWatch(const std::wstring& folder)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        m_changed = true;
        return;
    }
    constexpr std::uint32_t kEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE |
        IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (::inotify_add_watch(m_fd, ToUtf8(ResolvePath(folder)).c_str(), kEvents) < 0)
        m_changed = true;
}

// Closing an inotify instance waits for the kernel's notification readers to finish (an
// RCU grace period): often 5 to 25 ms. A watch ends when the next page is shown, so its
// close is left to a thread of its own instead of delaying the page.
FolderWatch::~FolderWatch()
{
    if (m_fd < 0)
        return;
    try {
        std::thread([fd = m_fd] { ::close(fd); }).detach();
    } catch (const std::system_error&) {
        ::close(m_fd);  // no thread to be had: the caller waits for the close
    }
}

bool FolderWatch::Changed()
{
    if (m_changed || m_fd < 0)
        return true;
    // Only whether something came matters, not what: one read tells.
    alignas(struct inotify_event) char events[4096];
    const ssize_t got = ::read(m_fd, events, sizeof events);
    if (got > 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
        m_changed = true;
    return m_changed;
}

bool FindFirstFile(const std::wstring& pattern, std::wstring& fullPath, std::wstring& name)
{
    const std::size_t slash = pattern.rfind(L'/');
    const std::wstring namePattern =
        slash == std::wstring::npos ? pattern : pattern.substr(slash + 1);
    if (namePattern.empty()) {
        return false;
    }
    std::wstring folder;
    if (slash != std::wstring::npos) {
        folder = slash == 0 ? L"/" : ResolvePath(pattern.substr(0, slash));
    }
    for (const std::wstring& candidate : ListFolder(folder)) {
        if (!PatternMatches(namePattern, candidate)) {
            continue;
        }
        const std::wstring candidatePath = Join(folder, candidate);
        struct stat info { };
        if (StatPath(candidatePath, info) && !S_ISDIR(info.st_mode)) {
            fullPath = candidatePath;
            name = candidate;
            return true;
        }
    }
    return false;
}

std::wstring DecodeText8(std::string_view bytes)
{
    if (IsValidUtf8(bytes)) {
        return FromUtf8(bytes);
    }
    return DecodeCp1252(bytes);
}

std::wstring DecodeCp1252(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        text += Cp1252ToWide(static_cast<unsigned char>(byte));
    }
    return text;
}

std::string ToUtf8(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (const wchar_t wc : text) {
        const auto c = static_cast<char32_t>(wc);
        if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - kEscapeBase);  // an escaped raw byte
        } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::string AsciiLower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::wstring FromUtf8(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8Sequence(text, i, c);
        if (length == 0) {
            out += static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(text[i]));
            ++i;
        } else {
            out += static_cast<wchar_t>(c);
            i += length;
        }
    }
    return out;
}

void Trace(const std::wstring& text)
{
    TraceSink& sink = GetTraceSink();
    std::lock_guard lock(sink.mutex);
    if (sink.toStderr) {
        const std::string bytes = ToUtf8(text);
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
        std::fflush(stderr);
    }
    if (sink.capture) {
        sink.capture(text);
    }
}

void TraceF(const wchar_t* format, ...)
{
    if (format == nullptr) {
        return;
    }
    std::va_list args;
    va_start(args, format);
    const std::wstring text = FormatWide(format, args);
    va_end(args);
    Trace(text);
}

void SetTraceCapture(std::function<void(const std::wstring&)> capture)
{
    TraceSink& sink = GetTraceSink();
    std::lock_guard lock(sink.mutex);
    sink.capture = std::move(capture);
}

std::vector<std::wstring> ListFolderNames(const std::wstring& folder)
{
    return ListFolder(ResolvePath(folder));
}

}  // namespace platform
