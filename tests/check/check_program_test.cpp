// The real program's "--check", without a display: the demo content is clean, and a sound
// or film that the real player cannot open is named.
#include "tests/foundation/program_run.h"
#include "tests/foundation/temp_folder.h"
#include "tests/foundation/wav_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// Runs "orlido --check folder" from the working directory with no display and the given
// locale; stdout and stderr together.
TProgramRun RunCheck(const std::string& workingDirectory, const std::string& folder,
                     const std::string& lang = "C.UTF-8")
{
    return RunOrlido("--check " + Quoted(folder), workingDirectory, LangLocale(lang));
}

std::string ReadSource(const std::string& relative)
{
    std::ifstream stream(std::string(ORLIDO_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// A mono 16-bit WAV file of the given length: a tone, or only the header when frames is 0.
std::string Wav(std::uint32_t rate, std::uint32_t frames)
{
    std::string data;
    for (std::uint32_t i = 0; i < frames; ++i)
        data += LittleEndian(static_cast<std::uint16_t>((i % 40) * 800), 2);
    return PcmWav(static_cast<int>(rate), 1, 16, data);
}

TEST(CheckProgram, DemoContentIsClean)
{
    const std::string demo = std::string(ORLIDO_SOURCE_DIR) + "/demo";
    const TProgramRun run = RunCheck(demo, demo);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(run.Output.find("problem: "), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find(" 0 problems, "), std::string::npos) << run.Output;
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

    const TProgramRun run = RunCheck(folder.Root.string(), folder.Root.string(), "sv_SE.UTF-8");
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_NE(run.Output.find("problem: UserData/L00001/B00001.wav: kan inte spelas"),
              std::string::npos)
        << run.Output;
    EXPECT_NE(
        run.Output.find("problem: UserData/L00001/M00002.wmv: kan inte spelas av tavlans spelare"),
        std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find("1 sida, 2 bilder, 2 problem, 0 anmärkningar."), std::string::npos)
        << run.Output;
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
        const TProgramRun check = RunCheck(folder.Root.string(), folder.Root.string());
        EXPECT_EQ(check.ExitCode, 0) << check.Output;
        EXPECT_NE(check.Output.find("1 page, 12 pictures, 0 problems, 4 notes."), std::string::npos)
            << check.Output;
    }
}

TEST(CheckProgram, ContentFolderComesFromTheBoardsLookupWithoutAnArgument)
{
    // With no folder given, ORLIDO_CONTENT names the content, as it does for the board.
    const std::string demo = std::string(ORLIDO_SOURCE_DIR) + "/demo";
    TempFolder work;
    // The demo names its story page from the folder the board starts in.
    work.Write("web/bok.html", ReadSource("demo/web/bok.html"));
    const TProgramRun run =
        RunOrlido("--check", work.Root.string(),
                  "LANG=C XDG_CONFIG_HOME=. XDG_CONFIG_DIRS=. ORLIDO_CONTENT=" + Quoted(demo));
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_NE(run.Output.find("Content: " + demo), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("Setup.txt: there is none"), std::string::npos) << run.Output;
}

}  // namespace
