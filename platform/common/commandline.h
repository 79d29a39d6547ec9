// Command lines written the Windows way (shortcuts copied from Windows, the launcher's
// "program arguments" line), turned into the argument vector a POSIX program is started
// with. Nothing here runs a shell: "&", "|", ";", "$()" and backquotes are plain characters.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits a whole command line by the rules of the Windows C runtime:
// - the program name (first argument) ends at the first space or tab outside double
//   quotes; quotes in it only group, backslashes are plain;
// - later arguments are separated by spaces and tabs; a double quote starts or ends a
//   quoted part, and "" inside a quoted part is one literal quote;
// - 2n backslashes before a quote give n backslashes and the quote groups; 2n + 1 give n
//   backslashes and a literal quote; backslashes before anything else are plain.
std::vector<std::wstring> SplitWindowsCommandLine(std::wstring_view line);
// The same rules for a line that holds only arguments (no program name).
std::vector<std::wstring> SplitWindowsArguments(std::wstring_view line);

// Quotes one argument so that SplitWindowsArguments gives it back unchanged.
std::wstring QuoteWindowsArgument(const std::wstring& argument);

// Finds the program of a command line as Windows process creation does, and splits the
// rest into its arguments. A quoted program name is taken as it stands. An unquoted one
// may contain spaces: the prefixes of the line that end before a space or tab are tried,
// shortest first, and the first that findProgram accepts is the program. "\" in the
// program name becomes "/". findProgram gets a candidate and returns the program's full
// path, or an empty string when there is no such program. Returns false when no program
// is found (argv is then empty); otherwise argv[0] is findProgram's answer.
bool ResolveCommandLine(std::wstring_view line,
                        const std::function<std::wstring(const std::wstring&)>& findProgram,
                        std::vector<std::wstring>& argv);

}  // namespace platform
