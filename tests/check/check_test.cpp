// The content checker over small content folders: a clean folder passes, and each broken
// folder gives its one finding with the file, the words a carer needs, and the exit code.
// The test backend's player plays every file that holds bytes, so an empty media file
// stands for one that cannot be played.
#include "application/orlidocheck.h"
#include "content/contentrules.h"
#include "platform/fake/fake_audio.h"
#include "platform/fake/fake_desktop.h"
#include "superlibraries/tqstandard/tqlanguage.h"
#include "tests/foundation/temp_folder.h"
#include "tests/foundation/wav_bytes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>

namespace {

std::string ReadSource(const std::string& relative)
{
    std::ifstream stream(std::string(ORLIDO_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

const std::string& Picture()
{
    static const std::string bytes = ReadSource("demo/UserData/L00001/B00001 Mat.jpg");
    return bytes;
}

constexpr const char* kSound = "RIFF sound";
// A WAV file of 44 bytes: a header for 8 kHz mono sound, and no sound after it.
std::string WavHeaderOnly()
{
    return PcmWav(8000, 1, 16, "");
}

constexpr const char* kRunnable = "[Desktop Entry]\nType=Application\nName=Sh\nExec=sh -c true\n";

// The first bytes of a PNG whose header claims a picture of width x height.
std::string PngHeader(std::uint32_t width, std::uint32_t height)
{
    std::string bytes = "\x89PNG\r\n\x1A\n";
    bytes += std::string("\0\0\0\x0D", 4) + "IHDR";
    for (const std::uint32_t side : { width, height }) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += static_cast<char>(side >> shift);
    }
    return bytes + std::string("\x08\x06\0\0\0", 5) + "crc!";
}

class ContentCheck : public ::testing::Test {
public:
    // The test desktop starts only the programs it knows: "sh" is installed here.
    void SetUp() override
    {
        fake::ResetPrograms();
        fake::AddProgram(L"sh", fake::ProgramScript{});
    }

    // A clean content folder: two pictures on the first page, the first with a sub-page,
    // the common sounds and a web-browser shortcut that can be started; no Setup.txt.
    void WriteCleanContent()
    {
        Put("UserData/L00001/B00001 Mat.jpg", Picture());
        Put("UserData/L00001/B00001.wav", kSound);
        Put("UserData/L00001/B00002 Dryck.jpg", Picture());
        Put("UserData/L00001/B00002.wav", kSound);
        Put("UserData/L00001/L00001/B00001 Smörgås.jpg", Picture());
        Put("UserData/L00001/L00001/B00001.wav", kSound);
        for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
            Put(sound, kSound);
        Put("WebBrowser.lnk", kRunnable);
    }

    void Put(const std::string& relative, const std::string& bytes)
    {
        m_folder.Write("content/" + relative, bytes);
    }
    void Remove(const std::string& relative)
    {
        std::filesystem::remove_all(m_folder.Root / "content" / relative);
    }
    std::filesystem::path Root() const { return m_folder.Root / "content"; }

    // Runs the checker with the given settings file (none when empty); the report lands in
    // m_report.
    int Check(const std::string& setup = "", bool swedish = false)
    {
        if (!setup.empty())
            m_folder.Write("Setup.txt", setup);
        COrlidoCheck check(m_folder.Path("content") + L"/", m_folder.Path("Setup.txt"), swedish);
        std::FILE* out = std::tmpfile();
        const int exitCode = check.Run(out);
        std::rewind(out);
        m_report.clear();
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;)
            m_report.append(chunk, n);
        std::fclose(out);
        m_nProblems = check.GetProblemCount();
        m_nPages = check.GetPageCount();
        m_nPictures = check.GetPictureCount();
        return exitCode;
    }

    TempFolder m_folder;
    std::string m_report;
    int m_nProblems = 0;
    int m_nPages = 0;
    int m_nPictures = 0;
};

TEST_F(ContentCheck, CleanContentPasses)
{
    WriteCleanContent();
    EXPECT_EQ(Check("#MAINMODE Scan\n#SCANPERIOD 2000\n"), 0) << m_report;
    EXPECT_EQ(m_nProblems, 0);
    EXPECT_NE(m_report.find("2 pages, 3 pictures, 0 problems, 0 notes."), std::string::npos)
        << m_report;
}

struct BrokenCase {
    const char* name;
    std::function<void(ContentCheck&)> breakIt;
    const char* setup;
    const char* file;      // the file the line names, relative to the content folder
    const char* expected;  // words of the line
    int exitCode;
};

class BrokenContent : public ContentCheck { };

// Fifteen pictures with sounds on the first page.
void FifteenPictures(ContentCheck& c);

TEST_F(BrokenContent, EachProblemIsNamedWithItsFileAndWhatToDo)
{
    const BrokenCase cases[] = {
        { "picture without a sound",
          [](ContentCheck& c) { c.Remove("UserData/L00001/B00002.wav"); }, "",
          "UserData/L00001/B00002 Dryck.jpg",
          "has no sound: choosing it only shows the box \"Fel: Ljudfilen till denna bild "
          "saknas.\". Put B00002.wav",
          1 },
        { "gap in the numbering",
          [](ContentCheck& c) {
              ContentCheck& b = c;
              b.Put("UserData/L00001/B00004 Ute.jpg", Picture());
              b.Put("UserData/L00001/B00004.wav", kSound);
          },
          "", "UserData/L00001",
          "there is no picture B00003, so the page ends before it and B00004 Ute.jpg is never "
          "shown",
          1 },
        { "more than twelve pictures", FifteenPictures, "", "UserData/L00001",
          "15 pictures: a page shows twelve, so pictures 13 to 15 are never shown", 1 },
        { "empty sub-page folder",
          [](ContentCheck& c) {
              std::filesystem::create_directories(c.Root() / "UserData/L00001/L00002");
          },
          "", "UserData/L00001/L00002", "is empty, so choosing picture 2 opens no page", 1 },
        { "sub-page without picture 1",
          [](ContentCheck& c) { c.Put("UserData/L00001/L00002/B00002 Saft.jpg", Picture()); }, "",
          "UserData/L00001/L00002", "holds no picture B00001, so choosing picture 2 opens no page",
          1 },
        { "sub-page of a picture that is not there",
          [](ContentCheck& c) { c.Put("UserData/L00001/L00007/B00001 Saft.jpg", Picture()); }, "",
          "UserData/L00001/L00007", "belongs to no picture on its page", 1 },
        { "picture that cannot be decoded",
          [](ContentCheck& c) {
              c.Put("UserData/L00001/B00002 Dryck.jpg", "\xFF\xD8\xFF not a jpeg");
          },
          "", "UserData/L00001/B00002 Dryck.jpg",
          "cannot be read as a picture: it shows as an empty frame", 1 },
        { "picture too large to decode",
          [](ContentCheck& c) {
              c.Put("UserData/L00001/B00002 Dryck.jpg", PngHeader(12000, 9000));
          },
          "", "UserData/L00001/B00002 Dryck.jpg", "is too large to show (12000×9000 pixels)", 1 },
        { "two files with one picture number",
          [](ContentCheck& c) { c.Put("UserData/L00001/B00002 Saft.jpg", Picture()); }, "",
          "UserData/L00001/B00002 Dryck.jpg",
          "B00002 Saft.jpg has the same picture number; the board shows B00002 Dryck.jpg", 1 },
        { "missing common sound", [](ContentCheck& c) { c.Remove("Tillbaka.wav"); }, "",
          "Tillbaka.wav", "is missing: the answer bar's \"Tillbaka\" plays a short beep instead",
          1 },
        { "scan-mode sound missing in scan mode", [](ContentCheck& c) { c.Remove("JagValde.wav"); },
          "#MAINMODE Scan\n", "JagValde.wav",
          "is missing: a choice in scan mode plays a short beep", 1 },
        { "scan-mode sound missing in standard mode is a note",
          [](ContentCheck& c) { c.Remove("JagValde.wav"); }, "", "JagValde.wav", "is missing", 0 },
        { "missing web-browser shortcut", [](ContentCheck& c) { c.Remove("WebBrowser.lnk"); }, "",
          "WebBrowser.lnk",
          "choosing any of the 3 pictures without a shortcut or a film first shows the box \"Fel: "
          "Filen WebBrowser.lnk saknas.\"",
          1 },
        { "shortcut whose program is not installed",
          [](ContentCheck& c) {
              c.Put("UserData/L00001/B00002.lnk",
                    "[Desktop Entry]\nExec=/no/such/program --full\n");
          },
          "", "UserData/L00001/B00002.lnk", "starts /no/such/program, which is not installed here",
          1 },
        { "shortcut that names no program",
          [](ContentCheck& c) { c.Put("UserData/L00001/B00002.lnk", "garbage"); }, "",
          "UserData/L00001/B00002.lnk", "names no program: it is no shortcut the board can read",
          1 },
        { "sub-page hidden by a shortcut",
          [](ContentCheck& c) { c.Put("UserData/L00001/B00001.lnk", kRunnable); }, "",
          "UserData/L00001/L00001", "is never opened: choosing picture 1 starts B00001.lnk instead",
          1 },
        { "media file the player cannot play",
          [](ContentCheck& c) { c.Put("UserData/L00001/M00002.mp3", ""); }, "",
          "UserData/L00001/M00002.mp3", "cannot be played by the board's player", 1 },
        { "empty web-address file",
          [](ContentCheck& c) { c.Put("UserData/L00001/W00002.txt", " \r\n"); }, "",
          "UserData/L00001/W00002.txt", "is empty: the web browser opens without an address", 1 },
        { "web address the browser would take for an option",
          [](ContentCheck& c) { c.Put("UserData/L00001/W00002.txt", " --help\r\n"); }, "",
          "UserData/L00001/W00002.txt",
          "begins with \"-\": the browser would take it for an option", 1 },
        { "web address longer than the board reads",
          [](ContentCheck& c) {
              c.Put("UserData/L00001/W00002.txt",
                    "https://example.org/" + std::string(90, 'a') + "\n");
          },
          "", "UserData/L00001/W00002.txt",
          "holds an address longer than the 100 bytes the board reads", 1 },
        { "web address with a browser that is not installed",
          [](ContentCheck& c) {
              ContentCheck& b = c;
              b.Put("UserData/L00001/W00002.txt", "https://example.org\n");
              b.Put("WebBrowser.lnk", "[Desktop Entry]\nExec=no-such-browser\n");
          },
          "", "WebBrowser.lnk", "starts no-such-browser, which is not installed here", 1 },
        { "browser that is not installed, with no web address, is a note",
          [](ContentCheck& c) {
              c.Put("WebBrowser.lnk", "[Desktop Entry]\nExec=no-such-browser\n");
          },
          "", "WebBrowser.lnk", "starts no-such-browser", 0 },
        { "empty sound is a note", [](ContentCheck& c) { c.Put("UserData/L00001/B00002.wav", ""); },
          "", "UserData/L00001/B00002.wav", "is empty: the board plays a short beep for it", 0 },
        { "sound that is only a WAV header is a note",
          [](ContentCheck& c) { c.Put("UserData/L00001/B00002.wav", WavHeaderOnly()); }, "",
          "UserData/L00001/B00002.wav", "holds no sound, only a WAV header", 0 },
        { "web page on this computer that does not exist",
          [](ContentCheck& c) {
              c.Put("UserData/L00001/W00002.txt", "file:sidor/saknas.html\r\n");
          },
          "", "UserData/L00001/W00002.txt", "/sidor/saknas.html, which does not exist", 1 },
        { "folder loop",
          [](ContentCheck& c) {
              ContentCheck& b = c;
              b.Put("UserData/L00001/L00001/B00002 Igen.jpg", Picture());
              b.Put("UserData/L00001/L00001/B00002.wav", kSound);
              std::filesystem::create_symlink(b.Root() / "UserData/L00001",
                                              b.Root() / "UserData/L00001/L00001/L00002");
          },
          "", "UserData/L00001/L00001/L00002",
          "leads back to the page UserData/L00001 above it: a folder loop", 1 },
        { "no first page", [](ContentCheck& c) { c.Remove("UserData/L00001"); }, "",
          "UserData/L00001", "holds no picture B00001: the board has no first page", 1 },
        { "no UserData", [](ContentCheck& c) { c.Remove("UserData"); }, "", "UserData",
          "is missing: the board has no pages", 1 },
        { "settings value lost at the end of the file", [](ContentCheck&) {}, "#MAINMODE Scan",
          "Setup.txt",
          "\"#MAINMODE Scan\" is not read: the last word of the file needs a line end after it",
          1 },
        { "settings key misspelt", [](ContentCheck&) {}, "#SCANPERIODE 2000\n", "Setup.txt",
          "\"#SCANPERIODE\" is not read: the key is written #SCANPERIOD", 1 },
    };
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder fresh;
        std::swap(m_folder.Root, fresh.Root);
        WriteCleanContent();
        c.breakIt(*this);
        const int exitCode = Check(c.setup);
        EXPECT_EQ(exitCode, c.exitCode) << m_report;
        EXPECT_EQ(m_nProblems, c.exitCode) << m_report;
        const std::string label = c.exitCode ? "problem: " : "note: ";
        const std::string file =
            std::string(c.file) == "Setup.txt" ? (m_folder.Root / "Setup.txt").string() : c.file;
        EXPECT_NE(m_report.find(label + file + ": "), std::string::npos) << m_report;
        EXPECT_NE(m_report.find(c.expected), std::string::npos) << m_report;
        std::swap(m_folder.Root, fresh.Root);
    }
}

void FifteenPictures(ContentCheck& c)
{
    ContentCheck& b = c;
    for (int n = 3; n <= 15; ++n) {
        char stem[16];
        std::snprintf(stem, sizeof stem, "B%05d", n);
        b.Put(std::string("UserData/L00001/") + stem + " Bild.jpg", Picture());
        b.Put(std::string("UserData/L00001/") + stem + ".wav", kSound);
    }
}

TEST_F(ContentCheck, PagesDeeperThanTheBoardGoesAreNamed)
{
    WriteCleanContent();
    // Picture 2's sub-page is level 2; the chain goes on to level 101.
    std::string folder = "UserData/L00001/L00002";
    for (int level = 2; level <= CTQContentRules::MaxLevels + 1; ++level) {
        Put(folder + "/B00001 Djup.jpg", Picture());
        Put(folder + "/B00001.wav", kSound);
        folder += "/L00001";
    }
    EXPECT_EQ(Check("#MAINMODE Standard\n"), 1);
    EXPECT_EQ(m_nProblems, 1) << m_report;
    // The first page, picture 1's sub-page, and levels 2 to 100 of the chain.
    EXPECT_EQ(m_nPages, CTQContentRules::MaxLevels + 1);
    EXPECT_NE(m_report.find("lies deeper than the board goes (100 pages down from the first)"),
              std::string::npos);
}

TEST_F(ContentCheck, ContentCopiedFromWindowsIsFine)
{
    // Names in other cases and a Windows-1252 name: the board finds them all.
    Put("UserData/l00001/b00001 mat.JPG", Picture());
    Put("UserData/l00001/B00001.WAV", kSound);
    Put("UserData/l00001/B00002 H\xE4st.jpg", Picture());
    Put("UserData/l00001/b00002.Mp3", kSound);
    Put("UserData/l00001/l00002/B00001 \xC4pple.JPG", Picture());
    Put("UserData/l00001/l00002/B00001.wav", kSound);
    Put("UserData/l00001/b00001.LNK", kRunnable);
    for (const char* sound : { "TILLBAKA.WAV", "nej.wav", "Ja.WAV", "jagvalde.wav" })
        Put(sound, kSound);
    // Saved by a Windows editor: a byte-order mark and CR LF line ends.
    Put("webbrowser.LNK", std::string("\xEF\xBB\xBF[Desktop Entry]\r\nExec=sh -c 'exit 0' %u\r\n"));
    EXPECT_EQ(Check("#MAINMODE Scan\r\n"), 0) << m_report;
    EXPECT_EQ(m_nPages, 2);
    EXPECT_EQ(m_nPictures, 3);
}

// Content often shares one sound among many pages (links to one file): the player opens
// each file once per run, whatever path names it.
TEST_F(ContentCheck, EachFileIsOpenedByThePlayerOncePerRun)
{
    Put("WebBrowser.lnk", kRunnable);
    Put("shared/Hej.wav", kSound);
    Put("shared/Film.wmv", "film");
    const auto link = [&](const std::string& target, const std::string& name) {
        std::filesystem::create_directories((Root() / name).parent_path());
        std::filesystem::create_symlink(Root() / target, Root() / name);
    };
    for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
        link("shared/Hej.wav", sound);
    for (const std::string page : { "UserData/L00001", "UserData/L00001/L00001" }) {
        for (const std::string number : { "1", "2", "3" }) {
            Put(page + "/B0000" + number + " Bild.jpg", Picture());
            link("shared/Hej.wav", page + "/B0000" + number + ".wav");
            if (number != "1")
                link("shared/Film.wmv", page + "/M0000" + number + ".wmv");
        }
    }
    fake::ResetAudio();
    EXPECT_EQ(Check("#MAINMODE Standard\n"), 0) << m_report;
    EXPECT_EQ(m_nPictures, 6);
    const std::set<std::wstring> probed(fake::ProbedFiles().begin(), fake::ProbedFiles().end());
    EXPECT_EQ(fake::ProbedFiles().size(), probed.size()) << "a file was opened twice";
    EXPECT_EQ(probed.size(), 2u) << "the shared sound and the shared film, once each";
}

TEST_F(ContentCheck, WebPagesOnThisComputerThatExistPass)
{
    Put("sidor/min sida.html", "<p>Hej</p>");
    const std::string page = (Root() / "sidor").string();
    for (const std::string& address :
         { "file://" + page + "/min%20sida.html", "file://localhost" + page + "/min%20sida.html#b",
           "FILE://" + page + "/min%20sida.html?x=1\r\n",
           std::string("https://example.org/saknas.html") }) {
        SCOPED_TRACE(address);
        WriteCleanContent();
        Put("UserData/L00001/W00002.txt", address);
        EXPECT_EQ(Check("#MAINMODE Standard\n"), 0) << m_report;
    }
}

TEST_F(ContentCheck, SpeaksSwedishWhenAsked)
{
    WriteCleanContent();
    Remove("UserData/L00001/B00002.wav");
    EXPECT_EQ(Check("#MAINMODE Standard\n", true), 1);
    EXPECT_NE(m_report.find("problem: UserData/L00001/B00002 Dryck.jpg: har inget ljud"),
              std::string::npos)
        << m_report;
    EXPECT_NE(m_report.find("2 sidor, 3 bilder, 1 problem, 0 anmärkningar."), std::string::npos)
        << m_report;
}

TEST(CheckLocale, SwedishOnlyForASwedishLocale)
{
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        bool swedish;
    };
    const Case cases[] = {
        { "", "", "sv_SE.UTF-8", true },
        { "", "", "en_GB.UTF-8", false },
        { "C", "", "sv_SE.UTF-8", false },
        { "", "sv_FI.UTF-8", "en_US", true },
        { "", "", "", false },
        { "sv_SE", "en_US", "", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.all) + "|" + c.messages + "|" + c.lang);
        ::setenv("LC_ALL", c.all, 1);
        ::setenv("LC_MESSAGES", c.messages, 1);
        ::setenv("LANG", c.lang, 1);
        EXPECT_EQ(IsSwedishLocale(), c.swedish);
    }
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("LANG");
}

}  // namespace
