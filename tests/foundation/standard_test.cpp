#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <string>

#include "superlibraries/tqstandard/tqstandard_wm.h"
#include "temp_folder.h"

namespace {

TEST(NumberToText, PadsWithZerosWithinTheWidthOnly)
{
    const struct {
        int n;
        const wchar_t* text;
    } decimal[] = { { 42, L"00042" },
                    { 0, L"00000" },
                    { 99999, L"99999" },
                    { 123456, L"123456" },
                    { -42, L"00-42" } };
    for (const auto& c : decimal) {
        EXPECT_EQ(IntToText5(c.n), c.text) << c.n;
    }
    const struct {
        unsigned int n;
        const wchar_t* text;
    } hex[] = { { 0x1A2B, L"00001a2b" }, { 0, L"00000000" }, { 0xFFFFFFFFu, L"ffffffff" } };
    for (const auto& c : hex) {
        EXPECT_EQ(HexToText8(c.n), c.text) << c.n;
    }
}

TEST(PathParts, SplitAtLastDotAndLastSlashOfEitherKind)
{
    const struct {
        const wchar_t* path;
        const wchar_t* extension;
        const wchar_t* withoutExtension;
        const wchar_t* name;
        const wchar_t* folder;
    } cases[] = {
        { L"c:\\a\\b.wav", L"wav", L"c:\\a\\b", L"b.wav", L"c:\\a" },
        { L"c:\\a\\b", L"c:\\a\\b", L"", L"b", L"c:\\a" },
        { L"c:/a\\b.txt", L"txt", L"c:/a\\b", L"b.txt", L"c:/a" },
        { L"b.txt", L"txt", L"b", L"b.txt", L"" },
        { L"UserData/00001.", L"", L"UserData/00001", L"00001.", L"UserData" },
        // The last dot is searched in the whole path, folder included.
        { L"Sida.1/bild", L"1/bild", L"Sida", L"bild", L"Sida.1" },
        { L"/a/b/", L"/a/b/", L"", L"", L"/a/b" },
        { L"", L"", L"", L"", L"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "path " << testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(GetFileExtension(c.path), c.extension);
        EXPECT_EQ(RemoveFileExtension(c.path), c.withoutExtension);
        EXPECT_EQ(GetFileNamePart(c.path), c.name);
        EXPECT_EQ(GetFolderPart(c.path), c.folder);
    }
}

TEST(FileTests, MatchNamesWithoutRegardToCase)
{
    TempFolder folder;
    folder.Write("UserData/Sida00001/00001.JPG", "x");
    folder.Write("UserData/Sida00001/00002.Wav", "x");
    folder.Write("UserData/\xC3\x85ka.txt", "x");  // "Åka.txt"
    folder.MakeFolder("UserData/Sida00001/00001.dir");
    const std::wstring root = folder.Path();

    EXPECT_TRUE(IsExistingFolder(root + L"/userdata/SIDA00001"));
    EXPECT_TRUE(IsExistingFolder(root + L"//USERDATA//sida00001/"));
    EXPECT_FALSE(IsExistingFolder(root + L"/userdata/sida00001/00001.jpg"));
    EXPECT_FALSE(IsExistingFolder(root + L"/userdata/nothing"));

    EXPECT_TRUE(CanOpenFile(root + L"/userdata/sida00001/00001.jpg"));
    EXPECT_TRUE(CanOpenFile(root + L"/USERDATA/\u00E5KA.TXT"));
    EXPECT_FALSE(CanOpenFile(root + L"/userdata/sida00001"));  // a folder is no file
    EXPECT_FALSE(CanOpenFile(root + L"/userdata/sida00001/00003.jpg"));
    EXPECT_FALSE(CanOpenFile(L""));
}

// A FIFO named like a sound is no file: testing it must not wait for a writer. (Should it
// wait, a writer opens the FIFO after two seconds, so the test fails instead of hanging.)
TEST(FileTests, FifoNamedLikeASoundIsNoFileAndNeverBlocks)
{
    TempFolder folder;
    folder.MakeFolder("page");
    const std::string fifo = (folder.Root / "page/B00001.wav").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done = false;
    std::thread rescue([&] {
        for (int i = 0; i < 200 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(CanOpenFile(folder.Path("page/b00001.WAV")));
    done = true;
    rescue.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// Of two files with one picture number the search takes the first ignoring case, as a
// case-insensitive file system lists them.
TEST(FileTests, FindFirstMatchOrdersNamesIgnoringCase)
{
    TempFolder folder;
    folder.Write("page/B00001 Zebra.jpg", "x");
    folder.Write("page/B00001 apple.jpg", "x");
    std::wstring path;
    std::wstring name;
    ASSERT_TRUE(FindFirstMatch(folder.Path("page") + L"/b00001*.JPG", path, name));
    EXPECT_EQ(name, L"B00001 apple.jpg");
}

TEST(FileTests, FindFirstMatchGivesTheFirstFileByNameAndSkipsFolders)
{
    TempFolder folder;
    folder.Write("Sida/b.wav", "x");
    folder.Write("Sida/a.WAV", "x");
    folder.MakeFolder("Sida/00001.aaa");
    folder.Write("Sida/00001.JPG", "x");
    const std::wstring root = folder.Path();

    std::wstring path;
    std::wstring name;
    ASSERT_TRUE(FindFirstMatch(root + L"/sida/*.wav", path, name));
    EXPECT_EQ(name, L"a.WAV");
    EXPECT_EQ(path, root + L"/Sida/a.WAV");

    ASSERT_TRUE(FindFirstMatch(root + L"/SIDA/00001.*", path, name));
    EXPECT_EQ(name, L"00001.JPG");
    ASSERT_TRUE(FindFirstMatch(root + L"/sida/?.wav", path, name));
    EXPECT_EQ(name, L"a.WAV");

    path = L"unchanged";
    name = L"unchanged";
    EXPECT_FALSE(FindFirstMatch(root + L"/sida/*.mp3", path, name));
    EXPECT_FALSE(FindFirstMatch(root + L"/nowhere/*.*", path, name));
    EXPECT_EQ(path, L"unchanged");
    EXPECT_EQ(name, L"unchanged");
}

class DebugLogTest : public testing::Test {
protected:
    TempFolder Folder;
    WorkingDirectory Here{ Folder.Root };
};

TEST_F(DebugLogTest, StartsWithTwoFixedLinesAndWritesLineEndsAsCrLf)
{
    {
        CTQDebugLog log(L"ignored.txt");
        EXPECT_EQ(log.Print(L"Process %ls: %ls\n", L"\u00E5tta", HexToText8(0xBEEF).c_str()), 23);
    }
    EXPECT_EQ(Folder.Read("TQDebug.txt"),
              "Heja = Grisen 1234.57\r\nHeja = Soen 1234.57\r\nProcess \xC3\xA5tta: 0000beef\r\n");
    EXPECT_FALSE(std::filesystem::exists(Folder.Root / "ignored.txt"));

    // The next run starts the log again.
    {
        CTQDebugLog log(L"");
    }
    EXPECT_EQ(Folder.Read("TQDebug.txt"), "Heja = Grisen 1234.57\r\nHeja = Soen 1234.57\r\n");
}

TEST_F(DebugLogTest, LongMessageIsCutAtTheBuffer)
{
    const std::wstring longText(3000, L'x');
    {
        CTQDebugLog log(L"");
        log.Print(L"%ls", longText.c_str());
    }
    const std::string content = Folder.Read("TQDebug.txt");
    const std::string fixedLines = "Heja = Grisen 1234.57\r\nHeja = Soen 1234.57\r\n";
    ASSERT_EQ(content.substr(0, fixedLines.size()), fixedLines);
    EXPECT_EQ(content.substr(fixedLines.size()), std::string(1023, 'x'));
}

TEST_F(DebugLogTest, WithoutALogFilePrintDoesNothing)
{
    std::filesystem::create_directory(Folder.Root / "TQDebug.txt");  // cannot be opened as a file
    CTQDebugLog log(L"");
    EXPECT_EQ(log.Print(L"%d\n", 5), -1);
}

}  // namespace
