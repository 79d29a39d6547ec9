#include "superlibraries/tqstandard/tqstandard_wm.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>

#include "platform/files.h"

namespace {

constexpr std::size_t kPrintBufferChars = 1024;

// Formats into a fixed buffer of kPrintBufferChars wide characters; a longer message is cut
// to what fits, never written past the buffer.
std::wstring FormatBounded(const wchar_t* format, std::va_list args)
{
    wchar_t buffer[kPrintBufferChars];
    buffer[0] = L'\0';
    // On overflow vswprintf reports failure and may leave the buffer without its
    // terminating zero; what it wrote is kept and ended at the buffer's last character.
    std::vswprintf(buffer, kPrintBufferChars, format, args);
    buffer[kPrintBufferChars - 1] = L'\0';
    return std::wstring(buffer, std::wcslen(buffer));
}

std::wstring ZeroPadded(const wchar_t* format, std::size_t width, auto n)
{
    wchar_t buffer[32];
    std::swprintf(buffer, 32, format, n);
    std::wstring text(buffer);
    for (std::size_t i = 0; i < text.size() && i < width; ++i) {
        if (text[i] == L' ') {
            text[i] = L'0';
        }
    }
    return text;
}

std::size_t LastSlash(const std::wstring& path)
{
    return path.find_last_of(L"/\\");
}

}  // namespace

CTQDebugLog::CTQDebugLog(const std::wstring& /*name*/)
{
    File = platform::OpenFile(L"TQDebug.txt", "wb");
    Print(L"Heja = %ls %3.2f\n", L"Grisen", 1234.5678);
    Print(L"Heja = %ls %3.2f\n", L"Soen", 1234.5678);
}

CTQDebugLog::~CTQDebugLog()
{
    if (File != nullptr) {
        std::fclose(File);
    }
}

int CTQDebugLog::Print(const wchar_t* format, ...)
{
    if (File == nullptr || format == nullptr) {
        return -1;
    }
    std::va_list args;
    va_start(args, format);
    const std::wstring text = FormatBounded(format, args);
    va_end(args);
    return Write(text);
}

int CTQDebugLog::Write(const std::wstring& text)
{
    std::wstring lines;
    lines.reserve(text.size() + 8);
    for (const wchar_t c : text) {
        if (c == L'\n') {
            lines += L'\r';
        }
        lines += c;
    }
    const std::string bytes = platform::ToUtf8(lines);
    if (std::fwrite(bytes.data(), 1, bytes.size(), File) != bytes.size()) {
        return -1;
    }
    return static_cast<int>(text.size());
}

std::wstring IntToText5(int n)
{
    return ZeroPadded(L"%5i", 5, n);
}

std::wstring HexToText8(unsigned int n)
{
    return ZeroPadded(L"%8x", 8, n);
}

std::wstring UpperCase(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return text;
}

std::wstring GetFileExtension(std::wstring path)
{
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) {
        return path;
    }
    return path.substr(dot + 1);
}

std::wstring RemoveFileExtension(std::wstring path)
{
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) {
        return {};
    }
    return path.substr(0, dot);
}

std::wstring GetFileNamePart(std::wstring path)
{
    const std::size_t slash = LastSlash(path);
    if (slash == std::wstring::npos) {
        return path;
    }
    return path.substr(slash + 1);
}

std::wstring GetFolderPart(std::wstring path)
{
    const std::size_t slash = LastSlash(path);
    if (slash == std::wstring::npos) {
        return {};
    }
    return path.substr(0, slash);
}

bool IsExistingFolder(std::wstring path)
{
    return platform::IsFolder(path);
}

bool CanOpenFile(std::wstring path)
{
    std::FILE* file = platform::OpenFile(path, "rb");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

bool FindFirstMatch(std::wstring pattern, std::wstring& path, std::wstring& name)
{
    std::wstring foundPath;
    std::wstring foundName;
    if (!platform::FindFirstFile(pattern, foundPath, foundName) || foundPath.empty()) {
        return false;
    }
    path = foundPath;
    name = foundName;
    return true;
}
