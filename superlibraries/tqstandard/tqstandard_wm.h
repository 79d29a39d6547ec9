// The standard helpers: the debug log file, zero-padded numbers for file and folder names,
// and the path and file tests. Paths are split at "/" or "\"; file tests match names
// without regard to case.
#pragma once

#include <cstdio>
#include <string>

// A plain-text log "TQDebug.txt" in the working directory, emptied when the log is made.
// Text is written as UTF-8 with each line feed as carriage return and line feed.
class CTQDebugLog {
public:
    // The name is not used: the log is always "TQDebug.txt".
    explicit CTQDebugLog(const std::wstring& name);
    ~CTQDebugLog();
    CTQDebugLog(const CTQDebugLog&) = delete;
    CTQDebugLog& operator=(const CTQDebugLog&) = delete;

    // printf-style wide format (%ls for wide strings). A message longer than 1023
    // characters is cut. Returns the number of characters written, -1 without a log file.
    int Print(const wchar_t* format, ...);

private:
    int Write(const std::wstring& text);

    std::FILE* File = nullptr;
};

// "%5i" with every space among the first five characters turned into "0": 42 -> "00042".
std::wstring IntToText5(int n);
// "%8x" with every space among the first eight characters turned into "0".
std::wstring HexToText8(unsigned int n);
// Every character in upper case, for names that match without regard to case.
std::wstring UpperCase(std::wstring text);

// After the last "."; the whole path when it has no "."; empty when it ends in ".".
std::wstring GetFileExtension(std::wstring path);
// Before the last "."; empty when there is no ".".
std::wstring RemoveFileExtension(std::wstring path);
// After the last "/" or "\"; the whole path when there is none.
std::wstring GetFileNamePart(std::wstring path);
// Before the last "/" or "\"; empty when there is none.
std::wstring GetFolderPart(std::wstring path);

bool IsExistingFolder(std::wstring path);
// True when the file can be opened for reading; it is closed again at once.
bool CanOpenFile(std::wstring path);
// The first file matching the wildcard pattern ("*", "?"); path gets its full path, name its
// file name. False, with both left unchanged, when nothing matches.
bool FindFirstMatch(std::wstring pattern, std::wstring& path, std::wstring& name);
