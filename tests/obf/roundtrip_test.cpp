// Export then import gives the same content folder back, file for file and byte for byte
// (so every picture pixel for pixel); and what an import writes passes the content checker
// without a problem.
#include "tests/obf/obf_fixture.h"

#include "application/orlidocheck.h"
#include "application/orlidoobf.h"
#include "content/obf/obfexport.h"
#include "content/obf/obfjson.h"
#include "content/obf/obfzipreader.h"
#include "platform/fake/fake_desktop.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace obftest;

const std::string kAsf = std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8) + "asf body";
const std::string kRunnable = "[Desktop Entry]\nType=Application\nName=Sh\nExec=sh -c true\n";

// A content folder with one of everything a picture can have.
void WriteContent(TempFolder& folder)
{
    const auto put = [&](const std::string& relative, const std::string& bytes) {
        folder.Write("content/" + relative, bytes);
    };
    put("UserData/L00001/B00001 Mat.jpg", Jpeg(1));
    put("UserData/L00001/B00001.wav", Wav("mat"));
    put("UserData/L00001/B00001 Mat.txt", "Mat och dryck\r\n");
    put("UserData/L00001/L00001/B00001 Smörgås.png", Png(6, 5, 3));
    put("UserData/L00001/L00001/B00001.mp3", "ID3\x03 smörgås");
    put("UserData/L00001/B00002 Klocka.png", Png(4, 4, 4));
    put("UserData/L00001/B00002.wav", Wav("klocka"));
    put("UserData/L00001/B00002.lnk", kRunnable);
    put("UserData/L00001/B00003 Film.jpg", Jpeg(5));
    put("UserData/L00001/B00003.wav", Wav("film"));
    put("UserData/L00001/M00003.wmv", kAsf);
    put("UserData/L00001/B00004 Musik.png", Png(3, 2, 6));
    put("UserData/L00001/B00004.wma", kAsf);
    put("UserData/L00001/M00004.mp3", "ID3\x03 musik");
    put("UserData/L00001/B00005 Webb.png", Png(2, 2, 7));
    put("UserData/L00001/B00005.wav", Wav("webb"));
    put("UserData/L00001/W00005.txt", "https://sv.wikipedia.org\n");
    for (int i = 6; i <= 9; ++i) {
        put("UserData/L00001/B0000" + std::to_string(i) + ".png", Png(2, 3, i));
        put("UserData/L00001/B0000" + std::to_string(i) + ".wav", Wav(std::to_string(i)));
    }
    for (const char* common : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
        put(common, Wav(common));
    put("WebBrowser.lnk", kRunnable);
}

int Check(const std::wstring& content, std::string& report)
{
    COrlidoCheck check(content + L"/", content + L"/no-Setup.txt", false);
    std::FILE* out = std::tmpfile();
    const int exitCode = check.Run(out);
    std::rewind(out);
    char line[4096];
    while (std::fgets(line, sizeof line, out))
        report += line;
    std::fclose(out);
    return exitCode;
}

class ObfRoundTrip : public ::testing::Test {
public:
    void SetUp() override
    {
        fake::ResetPrograms();
        fake::AddProgram(L"sh", fake::ProgramScript{});
    }
};

TEST_F(ObfRoundTrip, ExportThenImportGivesTheSameFolderBack)
{
    Fixture f;
    WriteContent(f.Folder);
    const std::wstring package = f.Folder.Path("content.obz");
    const TObfExportResult exported = CTQObfExport::Run(f.Folder.Path("content"), package);
    ASSERT_EQ(exported.ExitCode, 0) << exported.Error;
    EXPECT_EQ(exported.Boards, 2);
    EXPECT_EQ(exported.Pictures, 10);

    // The first page has nine pictures, so its board has three rows of four, as the page shows
    // them; the caption is the label, the web address the button's url.
    CTQObfZipReader zip;
    std::string error;
    ASSERT_TRUE(zip.Open(package, error)) << error;
    std::string text;
    ASSERT_TRUE(zip.Read("boards/1.obf", 1 << 20, text, error)) << error;
    TObfBoard board;
    ASSERT_TRUE(CTQObfJson::ReadBoard(text, board, error)) << error;
    EXPECT_EQ(board.Rows, 3);
    EXPECT_EQ(board.Columns, 4);
    EXPECT_EQ(board.Buttons[0].Label, "Mat och dryck");
    EXPECT_EQ(board.Buttons[4].Url, "https://sv.wikipedia.org");
    ASSERT_TRUE(board.Buttons[0].LoadBoard);

    f.KeepPrograms = true;
    const TObfImportResult imported = f.Import(package);
    ASSERT_EQ(imported.ExitCode, 0) << imported.Error;
    EXPECT_TRUE(f.Speech.Said.empty());
    EXPECT_EQ(Tree(f.OutPath()), Tree(f.Folder.Root / "content"));
}

std::string ReadAll(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    return text;
}

// A package's shortcuts start programs on the user's computer: they are written only when
// the carer asks for them, and the report names each with its command either way, in the
// carer's language.
TEST_F(ObfRoundTrip, APackagesShortcutsAreWrittenOnlyWithKeepPrograms)
{
    struct TCase {
        bool Keep;
        bool Swedish;
        const char* Shortcut;     // the picture's shortcut, "" when left out
        const char* Browser;      // WebBrowser.lnk: the package's own, or the one made for "sh"
        const char* ReportLines;  // each must be in the report
    };
    const std::string made = "[Desktop Entry]\nType=Application\nName=Webbläsare\nExec=sh %u\n";
    const TCase cases[] = {
        { false, false, "", made.c_str(),
          "left out: UserData/L00001/B00002.lnk, which would start \"sh -c true\" when its picture "
          "is chosen (board \"Orlido\", button \"Klocka\")\n"
          "left out: WebBrowser.lnk, which would start \"sh -c true\" for web addresses\n"
          "2 shortcuts to programs were left out; import again with --keep-programs to keep them" },
        { true, false, kRunnable.c_str(), kRunnable.c_str(),
          "program: UserData/L00001/B00002.lnk starts \"sh -c true\" when its picture is chosen "
          "(board \"Orlido\", button \"Klocka\"): make sure you want that\n"
          "program: WebBrowser.lnk starts \"sh -c true\" for web addresses: make sure you want "
          "that" },
        { false, true, "", made.c_str(),
          "utelämnad: UserData/L00001/B00002.lnk, som skulle starta \"sh -c true\" när dess bild "
          "väljs (tavlan \"Orlido\", knappen \"Klocka\")\n"
          "utelämnad: WebBrowser.lnk, som skulle starta \"sh -c true\" för webbadresser\n"
          "2 genvägar till program utelämnades; importera igen med --keep-programs för att behålla "
          "dem" },
    };
    for (const TCase& c : cases) {
        Fixture f;
        WriteContent(f.Folder);
        const std::wstring package = f.Folder.Path("content.obz");
        ASSERT_EQ(CTQObfExport::Run(f.Folder.Path("content"), package).ExitCode, 0);
        std::vector<std::string> arguments{ "--import", platform::ToUtf8(package),
                                            platform::ToUtf8(f.Out()) };
        if (c.Keep)
            arguments.push_back("--keep-programs");
        std::FILE* out = std::tmpfile();
        ASSERT_EQ(COrlidoObfCommand::Run(arguments, f.Speech.Maker(), "sh", out, out, c.Swedish), 0)
            << c.Keep;
        const std::string report = ReadAll(out);
        std::fclose(out);
        EXPECT_NE(report.find(c.ReportLines), std::string::npos) << report;
        EXPECT_EQ(f.Exists("UserData/L00001/B00002.lnk"), *c.Shortcut != 0) << c.Keep;
        if (*c.Shortcut) {
            EXPECT_EQ(f.Read("UserData/L00001/B00002.lnk"), c.Shortcut);
        }
        EXPECT_EQ(f.Read("WebBrowser.lnk"), c.Browser) << c.Keep;
        // The picture stays with its sound either way.
        EXPECT_EQ(f.Read("UserData/L00001/B00002 Klocka.png"),
                  f.Folder.Read("content/UserData/L00001/B00002 Klocka.png"));
        EXPECT_EQ(f.Read("UserData/L00001/B00002.wav"), Wav("klocka"));
    }
}

TEST_F(ObfRoundTrip, AnImportedBoardPassesTheChecker)
{
    Fixture f;
    const std::string board =
        R"({"id":"b","locale":"en","buttons":[{"id":"1","label":"Food","load_board":{"path":"food.obf"},"image_id":"i"},)"
        R"({"id":"2","label":"Go","url":"https://example.org"},{"id":"3","label":"Clear","action":":clear"}],)"
        R"("images":[{"id":"i","data":")" +
        DataUrl("image/png", Png(3, 3, 1)) + R"("}]})";
    const std::string food =
        R"({"id":"f","buttons":[{"id":"1","label":"Apple"},{"id":"2","label":"Home","load_board":{"path":"b.obf"}}]})";
    const std::wstring package = f.Package(
        { { "manifest.json", R"({"root":"b.obf"})" }, { "b.obf", board }, { "food.obf", food } });
    std::FILE* out = std::tmpfile();
    const int exitCode =
        COrlidoObfCommand::Run({ "--import", platform::ToUtf8(package), platform::ToUtf8(f.Out()) },
                               f.Speech.Maker(), "sh", out, out);
    std::fclose(out);
    ASSERT_EQ(exitCode, 0);
    std::string report;
    EXPECT_EQ(Check(f.Out(), report), 0) << report;
    EXPECT_NE(report.find("2 pages, 4 pictures, 0 problems"), std::string::npos) << report;
}

TEST(ObfCommand, AWrongCommandLineWritesNothing)
{
    Fixture f;
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{ { "--import" },
                                                { "--import", "a.obf" },
                                                { "--import", "a", "b", "c" },
                                                { "--export" },
                                                { "--export", "a", "b", "c" },
                                                { "--export", "x.obz", "--replace" },
                                                { "--export", "x.obz", "--keep-programs" } }) {
        std::FILE* out = std::tmpfile();
        EXPECT_EQ(COrlidoObfCommand::Run(arguments, f.Speech.Maker(), "sh", out, out), 2)
            << arguments.size();
        std::fclose(out);
    }
    EXPECT_TRUE(f.Leftovers({}).empty());
}

}  // namespace
