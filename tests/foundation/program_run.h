// Runs the program under test (ORLIDO_BINARY, defined by the test target) as a user at a
// terminal would, without a display, and gives back what it said and how it ended.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#ifndef ORLIDO_BINARY
#error "ORLIDO_BINARY names the program under test"
#endif

struct TProgramRun {
    int ExitCode = -1;   // -1 when it did not end by itself
    std::string Output;  // standard output and standard error together
};

// Runs a command line through sh.
inline TProgramRun RunShell(const std::string& command)
{
    TProgramRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        run.Output.append(chunk, n);
    const int status = ::pclose(pipe);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The environment that makes lang the program's language, whatever the test's own locale.
inline std::string LangLocale(const std::string& lang)
{
    return "LC_ALL= LC_MESSAGES= LANG=" + lang;
}

// A path quoted for sh.
inline std::string Quoted(const std::filesystem::path& path)
{
    return "'" + path.string() + "'";
}

// Runs the program with the arguments (already quoted for sh) in workingDirectory, with no
// DISPLAY and no ORLIDO_CONTENT, and with the environment's assignments on top.
inline TProgramRun RunOrlido(const std::string& arguments,
                             const std::string& workingDirectory = ".",
                             const std::string& environment = LangLocale("C.UTF-8"))
{
    return RunShell("cd '" + workingDirectory + "' && env -u DISPLAY -u ORLIDO_CONTENT " +
                    environment + " '" + ORLIDO_BINARY + "' " + arguments + " 2>&1");
}
