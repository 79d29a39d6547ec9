#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "temp_folder.h"

namespace {

using namespace std::string_literals;

TEST(DecodeText8, Utf8WhenValidOtherwiseWindows1252)
{
    const struct {
        std::string bytes;
        std::wstring text;
    } cases[] = {
        { "abc", L"abc" },
        { "Sk\xC3\xA5ne \xE2\x82\xAC", L"Sk\u00E5ne \u20AC" },          // valid UTF-8
        { "\xF0\x9F\x98\x80", L"\U0001F600" },                          // four-byte sequence
        { "Sk\xE5ne \x80", L"Sk\u00E5ne \u20AC" },                      // Windows-1252
        { "\x81\x8D\x8F\x90\x9D", L"\u0081\u008D\u008F\u0090\u009D" },  // unused bytes: C1 controls
        { "\x9F\xFF", L"\u0178\u00FF" },
        { "\xC3", L"\u00C3" },                      // cut sequence
        { "\xC3\xA5\xE5", L"\u00C3\u00A5\u00E5" },  // one bad byte: all Windows-1252
        { "\xC0\xAF", L"\u00C0\u00AF" },            // overlong form is not UTF-8
        { "\xED\xA0\x80", L"\u00ED\u00A0\u20AC" },  // encoded surrogate is not UTF-8
        { "\xEF\xBB\xBF#", L"\uFEFF#" },            // a byte-order mark is kept
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::DecodeText8(c.bytes), c.text) << testing::PrintToString(c.bytes);
    }
}

TEST(Utf8, NamesWithInvalidBytesConvertBackUnchanged)
{
    for (const std::string& bytes :
         { "plain"s, "\xC3\xA5ngest"s, "bad\xE5name\xFF"s, "\xF0\x9F\x98"s }) {
        EXPECT_EQ(platform::ToUtf8(platform::FromUtf8(bytes)), bytes)
            << testing::PrintToString(bytes);
    }
    EXPECT_EQ(platform::ToUtf8(L"\u00E5\U0001F600"), "\xC3\xA5\xF0\x9F\x98\x80");
    EXPECT_EQ(platform::ToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(AsciiLower, LowersOnlyAToZ)
{
    // UTF-8 letters stay as they are, byte for byte, whatever the locale's idea of case.
    EXPECT_EQ(platform::AsciiLower("HTTPS://Ex.ORG/Bild.PNG"), "https://ex.org/bild.png");
    EXPECT_EQ(platform::AsciiLower("\xC3\x85SA.Wav"), "\xC3\x85sa.wav");
    EXPECT_EQ(platform::AsciiLower(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(ReadFileBytes, ReadsAtMostTheCapAndFailsOnlyWhenUnopenable)
{
    TempFolder folder;
    const std::wstring path = folder.Write("Data.BIN", std::string(5000, 'a') + "\0tail"s);
    std::string bytes = "stale";
    ASSERT_TRUE(platform::ReadFileBytes(folder.Path("data.bin"), 100000, bytes));
    EXPECT_EQ(bytes.size(), 5005u);
    ASSERT_TRUE(platform::ReadFileBytes(path, 4097, bytes));
    EXPECT_EQ(bytes, std::string(4097, 'a'));
    EXPECT_FALSE(platform::ReadFileBytes(folder.Path("missing.bin"), 10, bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(platform::ReadFileBytes(folder.Path(), 10, bytes));
}

TEST(ResolvePath, FindsEachComponentAndKeepsUnmatchedRestAsGiven)
{
    TempFolder folder;
    folder.Write("UserData/Sida00001/Bild.JPG", "x");
    const std::wstring root = folder.Path();
    EXPECT_EQ(platform::ResolvePath(root + L"/userdata//SIDA00001/bild.jpg"),
              root + L"/UserData/Sida00001/Bild.JPG");
    EXPECT_EQ(platform::ResolvePath(root + L"/userdata/new/File.txt"),
              root + L"/UserData/new/File.txt");
    EXPECT_EQ(platform::ResolvePath(L""), L"");

    // A file created through an unresolved folder name lands in the existing folder.
    std::FILE* file = platform::OpenFile(root + L"/USERDATA/New.txt", "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(platform::IsFile(root + L"/UserData/New.txt"));
    EXPECT_TRUE(platform::IsFolder(root + L"/userdata"));
    EXPECT_FALSE(platform::IsFile(root + L"/userdata"));
}

TEST(Trace, CaptureReceivesFormattedTextUntilRemoved)
{
    std::vector<std::wstring> lines;
    platform::SetTraceCapture([&](const std::wstring& text) { lines.push_back(text); });
    platform::TraceF(L"========> Stopping %d Thread(s): '%ls' \n", 2, L"\u00C5");
    platform::Trace(L"plain\n");
    platform::TraceF(L"%ls", std::wstring(5000, L'y').c_str());
    platform::SetTraceCapture(nullptr);
    platform::Trace(L"not captured\n");

    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"========> Stopping 2 Thread(s): '\u00C5' \n");
    EXPECT_EQ(lines[1], L"plain\n");
    EXPECT_EQ(lines[2].size(), 5000u);  // trace lines are not cut
}

// Work done ahead on a folder's files is used only while the watch saw nothing: every kind
// of change to the folder counts, reading it does not, and a folder that cannot be watched
// counts as changed. The folder is named in other case, as content copied from Windows is.
TEST(FolderWatch, EveryChangeToTheFolderCountsAndReadingItDoesNot)
{
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        void (*change)(const TempFolder& folder);
    } cases[] = {
        { "nothing but reading", [](const TempFolder& f) { f.Read("Page/B00001.jpg"); } },
        { "a file rewritten with the same size",
          [](const TempFolder& f) { f.Write("Page/B00001.jpg", "PICTURE2"); } },
        { "a file added", [](const TempFolder& f) { f.Write("Page/B00002.jpg", "x"); } },
        { "a file removed", [](const TempFolder& f) { fs::remove(f.Root / "Page/B00001.txt"); } },
        { "a file renamed",
          [](const TempFolder& f) {
              fs::rename(f.Root / "Page/B00001.txt", f.Root / "Page/B00002.txt");
          } },
        { "a file's time set back",
          [](const TempFolder& f) {
              fs::last_write_time(f.Root / "Page/B00001.jpg",
                                  fs::file_time_type::clock::now() - std::chrono::hours(24));
          } },
        { "the folder renamed",
          [](const TempFolder& f) { fs::rename(f.Root / "Page", f.Root / "Other"); } },
        { "the folder removed", [](const TempFolder& f) { fs::remove_all(f.Root / "Page"); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        folder.Write("Page/B00001.jpg", "PICTURE1");
        folder.Write("Page/B00001.txt", "Katt");
        platform::FolderWatch watch(folder.Path("PAGE"));
        EXPECT_FALSE(watch.Changed());
        c.change(folder);
        const bool changed = std::string(c.name) != "nothing but reading";
        EXPECT_EQ(watch.Changed(), changed);
        EXPECT_EQ(watch.Changed(), changed);  // a change stays noticed
    }

    TempFolder folder;
    EXPECT_TRUE(platform::FolderWatch(folder.Path("missing")).Changed());
}

// A watch's inotify instance is closed beside the caller, not before the destructor returns:
// every one of them is still closed, so a board that turns pages all day leaks none.
TEST(FolderWatch, EveryEndedWatchClosesItsInstance)
{
    const auto openFiles = [] {
        const auto fds = std::filesystem::directory_iterator("/proc/self/fd");
        return std::distance(std::filesystem::begin(fds), std::filesystem::end(fds));
    };
    TempFolder folder;
    folder.Write("Page/B00001.jpg", "PICTURE1");
    const auto before = openFiles();
    for (int i = 0; i < 50; ++i)
        platform::FolderWatch watch(folder.Path("Page"));
    // Generous: the closes wait only for the kernel, however busy the machine is.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (openFiles() > before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(openFiles(), before);
}

}  // namespace
