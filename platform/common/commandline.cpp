#include "platform/common/commandline.h"

#include <algorithm>

namespace platform {

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

std::size_t SkipBlanks(std::wstring_view line, std::size_t i)
{
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    return i;
}

// The program name at the start of line: up to the first blank outside quotes; quotes
// only group. Returns the index after it.
std::size_t ReadProgramName(std::wstring_view line, std::wstring& name)
{
    bool quoted = false;
    std::size_t i = 0;
    for (; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (c == L'"')
            quoted = !quoted;
        else if (IsBlank(c) && !quoted)
            break;
        else
            name += c;
    }
    return i;
}

// One argument starting at i (not a blank). Returns the index after it.
std::size_t ReadArgument(std::wstring_view line, std::size_t i, std::wstring& argument)
{
    bool quoted = false;
    while (i < line.size()) {
        const wchar_t c = line[i];
        if (c == L'\\') {
            std::size_t count = 0;
            while (i < line.size() && line[i] == L'\\') {
                ++count;
                ++i;
            }
            if (i < line.size() && line[i] == L'"') {
                argument.append(count / 2, L'\\');
                if (count % 2 == 1) {
                    argument += L'"';
                    ++i;
                }
            } else {
                argument.append(count, L'\\');
            }
        } else if (c == L'"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                argument += L'"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
        } else if (IsBlank(c) && !quoted) {
            break;
        } else {
            argument += c;
            ++i;
        }
    }
    return i;
}

void AppendArguments(std::wstring_view line, std::size_t i, std::vector<std::wstring>& out)
{
    for (i = SkipBlanks(line, i); i < line.size(); i = SkipBlanks(line, i)) {
        std::wstring argument;
        i = ReadArgument(line, i, argument);
        out.push_back(std::move(argument));
    }
}

std::wstring WithForwardSlashes(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

}  // namespace

std::vector<std::wstring> SplitWindowsCommandLine(std::wstring_view line)
{
    std::vector<std::wstring> argv;
    const std::size_t start = SkipBlanks(line, 0);
    if (start == line.size())
        return argv;
    std::wstring program;
    const std::size_t end = start + ReadProgramName(line.substr(start), program);
    argv.push_back(std::move(program));
    AppendArguments(line, end, argv);
    return argv;
}

std::vector<std::wstring> SplitWindowsArguments(std::wstring_view line)
{
    std::vector<std::wstring> argv;
    AppendArguments(line, 0, argv);
    return argv;
}

std::wstring QuoteWindowsArgument(const std::wstring& argument)
{
    const bool needsQuotes =
        argument.empty() || argument.find_first_of(L" \t\"") != std::wstring::npos;
    if (!needsQuotes)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Backslashes before the closing quote are doubled so that they stay backslashes.
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

bool ResolveCommandLine(std::wstring_view line,
                        const std::function<std::wstring(const std::wstring&)>& findProgram,
                        std::vector<std::wstring>& argv)
{
    argv.clear();
    const std::size_t start = SkipBlanks(line, 0);
    if (start == line.size())
        return false;
    line = line.substr(start);

    if (line.front() == L'"') {
        std::wstring name;
        const std::size_t end = ReadProgramName(line, name);
        std::wstring program = findProgram(WithForwardSlashes(name));
        if (program.empty())
            return false;
        argv.push_back(std::move(program));
        AppendArguments(line, end, argv);
        return true;
    }

    // Unquoted: every prefix that ends before a blank, shortest first, then the whole line.
    for (std::size_t end = 0; end <= line.size(); ++end) {
        if (end < line.size() && !IsBlank(line[end]))
            continue;
        if (end > 0 && IsBlank(line[end - 1]))
            continue;  // the same prefix as before the first blank of a run
        std::wstring program = findProgram(WithForwardSlashes(std::wstring(line.substr(0, end))));
        if (program.empty())
            continue;
        argv.push_back(std::move(program));
        AppendArguments(line, end, argv);
        return true;
    }
    return false;
}

}  // namespace platform
