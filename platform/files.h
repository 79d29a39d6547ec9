// File access for content copied from Windows: every path component is matched without
// regard to case, "/" is the separator (a doubled "/" is harmless), and 8-bit text is
// decoded as UTF-8 when valid, otherwise as Windows-1252. Also the trace sink.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Resolves each component of path case-insensitively against what is on disk and returns
// the real path; when nothing matches, the path as given.
std::wstring ResolvePath(const std::wstring& path);

// fopen on the resolved path (mode as for fopen, "rb" to read). nullptr on failure.
std::FILE* OpenFile(const std::wstring& path, const char* mode);

// Reads at most maxBytes from the start of the file; false when it cannot be opened.
bool ReadFileBytes(const std::wstring& path, std::size_t maxBytes, std::string& bytes);

bool IsFolder(const std::wstring& path);
// The names in a folder (resolved as above), sorted by their bytes; empty when it cannot
// be read.
std::vector<std::wstring> ListFolderNames(const std::wstring& folder);
bool IsFile(const std::wstring& path);

// The first file (not folder) in the pattern's folder whose name matches the last
// component, a wildcard with "*" and "?", without regard to case. Files are visited in
// name order so the result does not depend on the file system. fullPath is folder + "/" + name.
bool FindFirstFile(const std::wstring& pattern, std::wstring& fullPath, std::wstring& name);

// Notices every change in one folder from its construction on: a file in it written,
// added, removed or renamed, or the folder itself removed or renamed. Work done ahead on a
// folder's files (reading them after the watch began) is still what is on disk while
// Changed() is false. A folder that cannot be watched counts as changed. Changed() may be
// called on any one thread at a time.
class FolderWatch {
public:
    explicit FolderWatch(const std::wstring& folder);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    bool Changed();

private:
    int m_fd = -1;
    bool m_changed = false;
};

// 8-bit text: UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252.
std::wstring DecodeText8(std::string_view bytes);
// Windows-1252 only, whatever the bytes look like.
std::wstring DecodeCp1252(std::string_view bytes);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(std::string_view text);
// The text with A to Z lowered and every other byte as it is: for names, extensions and
// schemes compared without regard to case.
std::string AsciiLower(std::string_view text);

// Trace lines: to stderr when ORLIDO_TRACE is set, and to the capture function if one is
// installed. The text is written as given (include the "\n").
void Trace(const std::wstring& text);
// printf-style; use %ls for wide strings.
void TraceF(const wchar_t* format, ...);
// Installs (or with nullptr removes) a function that receives every trace text.
void SetTraceCapture(std::function<void(const std::wstring&)> capture);

}  // namespace platform
