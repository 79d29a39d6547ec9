// The real program's "--check", without a display: the demo content is clean, and a sound
// or film that the real player cannot open is named.
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct TRun {
    int exitCode = -1;
    std::string output;
};

// Runs "orlido --check folder" from the working directory with no display and the given
// locale; stdout and stderr together.
TRun RunCheck(const std::string& workingDirectory, const std::string& folder,
              const std::string& lang = "C.UTF-8")
{
    const std::string command = "cd '" + workingDirectory +
        "' && env -u DISPLAY -u ORLIDO_CONTENT LC_ALL= LC_MESSAGES= LANG=" + lang + " '" +
        ORLIDO_BINARY + "' --check '" + folder + "' 2>&1";
    TRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        run.output.append(chunk, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string ReadSource(const std::string& relative)
{
    std::ifstream stream(std::string(ORLIDO_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// A mono 16-bit WAV file of the given length: a tone, or only the header when frames is 0.
std::string Wav(std::uint32_t rate, std::uint32_t frames)
{
    const auto le = [](std::uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>(value >> (8 * i));
        return out;
    };
    std::string data;
    for (std::uint32_t i = 0; i < frames; ++i)
        data += le(static_cast<std::uint16_t>((i % 40) * 800), 2);
    return "RIFF" + le(36 + static_cast<std::uint32_t>(data.size()), 4) + "WAVEfmt " + le(16, 4) +
        le(1, 2) + le(1, 2) + le(rate, 4) + le(rate * 2, 4) + le(2, 2) + le(16, 2) + "data" +
        le(static_cast<std::uint32_t>(data.size()), 4) + data;
}

TEST(CheckProgram, DemoContentIsClean)
{
    const std::string demo = std::string(ORLIDO_SOURCE_DIR) + "/demo";
    const TRun run = RunCheck(demo, demo);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("problem: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" 0 problems, "), std::string::npos) << run.output;
}

TEST(CheckProgram, FilesTheRealPlayerCannotOpenAreProblems)
{
    TempFolder folder;
    const std::string wav = ReadSource("demo/Ja.wav");
    for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
        folder.Write(sound, wav);
    folder.Write("WebBrowser.lnk", "[Desktop Entry]\nExec=sh\n");
    folder.Write("Setup.txt", "#MAINMODE Scan\n");
    folder.Write("UserData/L00001/B00001 Mat.jpg",
                 ReadSource("demo/UserData/L00001/B00001 Mat.jpg"));
    folder.Write("UserData/L00001/B00001.wav", "This is a note, not a sound.\n");
    folder.Write("UserData/L00001/B00002 Film.jpg",
                 ReadSource("demo/UserData/L00001/B00001 Mat.jpg"));
    folder.Write("UserData/L00001/B00002.wav", wav);
    folder.Write("UserData/L00001/M00002.wmv", std::string(4096, '\x42'));

    const TRun run = RunCheck(folder.Root.string(), folder.Root.string(), "sv_SE.UTF-8");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("problem: UserData/L00001/B00001.wav: kan inte spelas"),
              std::string::npos)
        << run.output;
    EXPECT_NE(
        run.output.find("problem: UserData/L00001/M00002.wmv: kan inte spelas av tavlans spelare"),
        std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("1 sida, 2 bilder, 2 problem, 0 anmärkningar."), std::string::npos)
        << run.output;
}

// Short sounds are opened the same way every time: a file the board plays is never named, a
// header-only WAV is always a note, run after run.
TEST(CheckProgram, ShortSoundsGiveTheSameAnswerEveryRun)
{
    TempFolder folder;
    const std::string wav = ReadSource("demo/Ja.wav");
    for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
        folder.Write(sound, wav);
    folder.Write("WebBrowser.lnk", "[Desktop Entry]\nExec=sh\n");
    folder.Write("Setup.txt", "#MAINMODE Standard\n");
    const std::string sounds[] = { Wav(8000, 800), Wav(44100, 4410), Wav(44100, 0) };
    for (int number = 1; number <= 12; ++number) {
        const std::string stem =
            "UserData/L00001/B000" + std::string(number < 10 ? "0" : "") + std::to_string(number);
        folder.Write(stem + " Bild.jpg", ReadSource("demo/UserData/L00001/B00001 Mat.jpg"));
        folder.Write(stem + ".wav", sounds[number % 3]);
    }
    for (int run = 0; run < 5; ++run) {
        SCOPED_TRACE(run);
        const TRun check = RunCheck(folder.Root.string(), folder.Root.string());
        EXPECT_EQ(check.exitCode, 0) << check.output;
        EXPECT_NE(check.output.find("1 page, 12 pictures, 0 problems, 4 notes."), std::string::npos)
            << check.output;
    }
}

TEST(CheckProgram, ContentFolderComesFromTheBoardsLookupWithoutAnArgument)
{
    // With no folder given, ORLIDO_CONTENT names the content, as it does for the board.
    const std::string demo = std::string(ORLIDO_SOURCE_DIR) + "/demo";
    TempFolder work;
    // The demo names its story page from the folder the board starts in.
    work.Write("web/bok.html", ReadSource("demo/web/bok.html"));
    const std::string command = "cd '" + work.Root.string() +
        "' && env -u DISPLAY LANG=C XDG_CONFIG_HOME=. XDG_CONFIG_DIRS=. ORLIDO_CONTENT='" + demo +
        "' '" + ORLIDO_BINARY + "' --check 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, n);
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("Content: " + demo), std::string::npos) << output;
    EXPECT_NE(output.find("Setup.txt: there is none"), std::string::npos) << output;
}

}  // namespace
