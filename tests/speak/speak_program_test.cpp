// The real program's "--speak" with no display: espeak-ng's Swedish makes WAV files the
// board can play; an unknown voice, a voice command that fails and a bad command line are
// told in one line each, with their exit codes, and leave the content as it was.
#include "tests/foundation/program_run.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

// A C.UTF-8 locale in every category, whatever the test's own.
TProgramRun RunInCLocale(const std::string& arguments)
{
    return RunOrlido(arguments, ".", "LC_ALL=C.UTF-8");
}

std::size_t Lines(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(SpeakProgram, EspeakMakesPlayableSoundsWithoutADisplay)
{
    TempFolder folder;
    folder.Write("UserData/L00001/B00001 Mat.jpg", "jpeg");
    folder.Write("UserData/L00001/B00002 Dryck.jpg", "jpeg");
    const TProgramRun run = RunInCLocale("--speak '" + folder.Root.string() + "'");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("made: UserData/L00001/B00002.wav: \"Dryck\"\n"), std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find("6 made, 0 not made.\n"), std::string::npos) << run.Output;
    for (const char* made :
         { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav", "UserData/L00001/B00001.wav" }) {
        const std::string bytes = folder.Read(made);
        EXPECT_GT(bytes.size(), 44u + 22050u / 10) << made << ": a tenth of a second at least";
        EXPECT_EQ(bytes.substr(0, 4), "RIFF") << made;
        EXPECT_EQ(bytes.substr(8, 4), "WAVE") << made;
    }
    // The checker, with the board's own player rules, finds no picture without a sound.
    const TProgramRun check = RunInCLocale("--check '" + folder.Root.string() + "'");
    EXPECT_EQ(check.Output.find("has no sound"), std::string::npos) << check.Output;
}

TEST(SpeakProgram, FailuresAreToldInOneLineAndLeaveTheContentAlone)
{
    TempFolder folder;
    folder.Write("content/UserData/L00001/B00001 Mat.jpg", "jpeg");
    folder.Write("fails", "#!/bin/sh\necho 'voice: no model' >&2\nexit 7\n");
    ::chmod((folder.Root / "fails").c_str(), 0755);
    const std::string content = "'" + (folder.Root / "content").string() + "'";
    struct TCase {
        std::string Arguments;
        int ExitCode;
        const char* Told;
    };
    const TCase cases[] = {
        { "--speak " + content + " --voice xx-no-such", 1,
          "has no voice or language 'xx-no-such'" },
        { "--speak " + content + " --speak-command no-such-voice-program", 1,
          "'no-such-voice-program' is not installed" },
        { "--speak " + content + " --voice", 2, "--voice needs a value" },
        { "--voice sv", 2, "go with --speak" },
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Arguments);
        const TProgramRun run = RunInCLocale(c.Arguments);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Output;
        EXPECT_NE(run.Output.find(c.Told), std::string::npos) << run.Output;
        if (c.ExitCode == 1) {
            EXPECT_EQ(Lines(run.Output), 1u) << run.Output;
        }
    }

    // A command that fails: every sound is told as not made, and the exit code is 1.
    const TProgramRun run = RunInCLocale("--speak " + content + " --speak-command '" +
                                         (folder.Root / "fails").string() + "'");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_NE(run.Output.find("not made: UserData/L00001/B00001.wav: the voice command "),
              std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find("ended with exit code 7"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("0 made, 5 not made."), std::string::npos) << run.Output;
    EXPECT_EQ(
        std::distance(std::filesystem::recursive_directory_iterator(folder.Root / "content"), {}),
        3)
        << "UserData, L00001 and the picture: nothing was added";
}
