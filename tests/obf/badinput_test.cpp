// Files from strangers: every broken or hostile file gives one line naming the file and what
// is wrong, exit code 2, and nothing written, not even a half-made folder beside the target;
// a folder already there is refused, or with --replace kept until the new one is complete.
#include "tests/obf/obf_fixture.h"

#include "content/obf/obfdataurl.h"
#include "content/obf/obfjson.h"
#include "content/obf/obfpicture.h"
#include "content/obf/obfzipreader.h"
#include "platform/svg.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <zip.h>

namespace {

using namespace obftest;

const std::string kBoard =
    R"({"format":"open-board-0.1","id":"b","buttons":[{"id":"1","label":"A"}],"grid":{"rows":1,"columns":1,"order":[["1"]]}})";

struct TEntry {
    std::string Name;
    std::string Bytes;
    bool Link = false;
};

// A zip written entry by entry with libzip, names and attributes as given, so that hostile
// packages can be made.
std::wstring RawZip(Fixture& f, const std::vector<TEntry>& entries)
{
    const std::string path = (f.Folder.Root / "hostile.obz").string();
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    std::list<std::string> kept;
    for (const TEntry& entry : entries) {
        kept.push_back(entry.Bytes);
        zip_source_t* source =
            zip_source_buffer(archive, kept.back().data(), kept.back().size(), 0);
        const zip_int64_t index =
            zip_file_add(archive, entry.Name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (entry.Link)
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                             (S_IFLNK | 0777u) << 16);
    }
    zip_close(archive);
    return platform::FromUtf8(path);
}

std::string Nested(int depth)
{
    return R"({"id":"b","buttons":[],"ext_x":)" + std::string(std::size_t(depth), '[') +
        std::string(std::size_t(depth), ']') + "}";
}

TEST(ObfBadInput, EachBrokenOrHostileFileIsRefusedAndNothingIsWritten)
{
    struct TCase {
        const char* Name;
        std::function<std::wstring(Fixture&)> Make;
        const char* Reason;
    };
    const TCase cases[] = {
        { "zip slip",
          [](Fixture& f) {
              return RawZip(f, { { "b.obf", kBoard }, { "../evil.obf", kBoard } });
          },
          "\"../evil.obf\" would be unpacked outside its folder" },
        { "absolute name",
          [](Fixture& f) {
              return RawZip(f, { { "b.obf", kBoard }, { "/tmp/evil.obf", kBoard } });
          },
          "would be unpacked outside its folder" },
        { "symbolic link",
          [](Fixture& f) {
              return RawZip(f, { { "b.obf", kBoard }, { "images/a.png", "/etc/passwd", true } });
          },
          "\"images/a.png\" is a symbolic link" },
        { "too many entries",
          [](Fixture& f) {
              std::vector<TEntry> entries{ { "b.obf", kBoard } };
              for (std::size_t i = 0; i < TObfLimits::MaxEntries; ++i)
                  entries.push_back({ "x/" + std::to_string(i), "" });
              return RawZip(f, entries);
          },
          "more than 20000 files" },
        { "zip bomb",
          [](Fixture& f) {
              return RawZip(
                  f, { { "b.obf", kBoard }, { "images/zeros.png", std::string(4 << 20, '\0') } });
          },
          "unpacks to more than 100 times its packed size" },
        { "damaged zip",
          [](Fixture& f) {
              const std::wstring path =
                  f.Package({ { "b.obf", kBoard }, { "filler", std::string(3000, 'x') } });
              std::filesystem::resize_file(platform::ToUtf8(path), 200);
              return path;
          },
          "not a readable zip package" },
        { "deep JSON",
          [](Fixture& f) { return f.File("deep.obf", Nested(TObfLimits::MaxJsonDepth)); },
          "nested deeper than 64 levels" },
        { "broken JSON",
          [](Fixture& f) { return f.File("broken.obf", "{\"id\": \"b\", \"buttons\": [}"); },
          "not JSON: " },
        { "not a board", [](Fixture& f) { return f.File("list.obf", "[1, 2, 3]"); },
          "not a board: the JSON is no object" },
        { "no buttons", [](Fixture& f) { return f.File("none.obf", R"({"id":"b","name":"x"})"); },
          "not a board: it has no buttons" },
        { "nothing to show",
          [](Fixture& f) { return f.File("empty.obf", R"({"id":"b","buttons":[]})"); },
          "shows no buttons" },
        { "manifest naming a missing board",
          [](Fixture& f) {
              return f.Package(
                  { { "manifest.json",
                      R"({"root":"b.obf","paths":{"boards":{"b":"b.obf","c":"c.obf"}}})" },
                    { "b.obf", kBoard } });
          },
          "the manifest names board \"c\" at \"c.obf\", which is not in the package" },
        { "missing file", [](Fixture& f) { return f.Folder.Path("no-such.obz"); },
          "cannot be read" },
    };
    for (const TCase& c : cases) {
        Fixture f;
        const std::wstring file = c.Make(f);
        const TObfImportResult result = f.Import(file);
        EXPECT_EQ(result.ExitCode, 2) << c.Name;
        EXPECT_EQ(result.Error.rfind(platform::ToUtf8(file) + ": ", 0), 0u)
            << c.Name << ": " << result.Error;
        EXPECT_NE(result.Error.find(c.Reason), std::string::npos) << c.Name << ": " << result.Error;
        EXPECT_EQ(result.Error.find('\n'), std::string::npos) << c.Name;
        EXPECT_FALSE(std::filesystem::exists(f.OutPath())) << c.Name;
        EXPECT_TRUE(f.Leftovers({ "hostile.obz", "board.obz", "deep.obf", "broken.obf", "list.obf",
                                  "none.obf", "empty.obf" })
                        .empty())
            << c.Name;
    }
}

TEST(ObfBadInput, TheImportStopsAtThePageLimit)
{
    Fixture f;
    f.MaxPages = 3;
    const std::string chain =
        R"({"id":"N","buttons":[{"id":"1","label":"N","load_board":{"path":"NEXT"}}]})";
    std::map<std::string, std::string> entries{ { "manifest.json", R"({"root":"1.obf"})" } };
    for (int i = 1; i <= 5; ++i) {
        std::string board = chain;
        board.replace(board.find("NEXT"), 4, std::to_string(i + 1) + ".obf");
        entries[std::to_string(i) + ".obf"] = board;
    }
    const TObfImportResult result = f.Import(f.Package(entries));
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_NE(result.Error.find("more than 3 pages"), std::string::npos) << result.Error;
    EXPECT_FALSE(std::filesystem::exists(f.OutPath()));
}

TEST(ObfBadInput, AFolderThatHoldsSomethingIsKeptUnlessReplacedAndUntilTheNewOneIsComplete)
{
    Fixture f;
    f.Folder.Write("out/Mine.txt", "the carer's");
    const std::wstring board = f.File("b.obf", kBoard);

    TObfImportResult result = f.Import(board);
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_NE(result.Error.find("is not empty; give --replace"), std::string::npos) << result.Error;
    EXPECT_EQ(f.Read("Mine.txt"), "the carer's");

    // A broken file changes nothing, even with --replace.
    result = f.Import(f.File("broken.obf", "{"), "", true);
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(f.Read("Mine.txt"), "the carer's");

    // While the new folder is made, the old one is still there as it was.
    int seenWhileWriting = 0;
    f.Speech.OnSpeak = [&] { seenWhileWriting += f.Read("Mine.txt") == "the carer's" ? 1 : 0; };
    result = f.Import(board, "", true);
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    EXPECT_GT(seenWhileWriting, 0);
    EXPECT_FALSE(f.Exists("Mine.txt"));
    EXPECT_TRUE(f.Exists("UserData/L00001/B00001 A.png"));
    EXPECT_TRUE(f.Leftovers({ "out", "b.obf", "broken.obf" }).empty());
}

TEST(ObfBadInput, AnEmptyFolderIsFilledWithoutReplace)
{
    Fixture f;
    f.Folder.MakeFolder("out");
    EXPECT_EQ(f.Import(f.File("b.obf", kBoard)).ExitCode, 0);
    EXPECT_TRUE(f.Exists("UserData/L00001/B00001 A.png"));
}

TEST(ObfReaders, APngWhoseChunkClaimsMoreBytesThanItHasIsRefusedWithoutAllocatingThem)
{
    // An 8 x 6 PNG whose text chunk claims 0x7FFFFFF0 bytes: libpng would allocate them.
    std::string png = Png(8, 6, 1);
    const std::string chunk = std::string("\x7F\xFF\xFF\xF0", 4) + "tEXtdate:create";
    png.insert(33, chunk);
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    TObfPicture picture;
    std::string why;
    EXPECT_FALSE(CTQObfPicture::Prepare(png, picture, why));
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024);  // KiB
}

TEST(ObfReaders, ZipEntryNamesThatLeaveTheirFolderAreUnsafe)
{
    for (const char* name : { "../a", "a/../../b", "/etc/passwd", "\\\\server\\share", "C:\\x",
                              "c:x", "a\\..\\..\\b", "", "a\nb" })
        EXPECT_FALSE(CTQObfZipReader::IsSafeName(name)) << name;
    for (const char* name : { "a", "images/a.png", "a..b/c", "./a", "..a" })
        EXPECT_TRUE(CTQObfZipReader::IsSafeName(name)) << name;
    EXPECT_EQ(CTQObfZipReader::Normalise("./images\\a//b.png"), "images/a/b.png");
}

TEST(ObfReaders, DataUrls)
{
    struct TCase {
        const char* Url;
        bool Ok;
        const char* Type;
        const char* Bytes;
    };
    const TCase cases[] = {
        { "data:image/png;base64,aGVsbG8=", true, "image/png", "hello" },
        { "DATA:Image/PNG;BASE64,aGVs\n bG8", true, "image/png", "hello" },
        { "data:image/svg+xml;charset=utf-8,%3Csvg%3E", true, "image/svg+xml", "<svg>" },
        { "data:,plain", true, "text/plain", "plain" },
        { "data:image/png;base64,aGVsbG8=!", false, "", "" },
        { "data:image/png;base64,a", false, "", "" },
        { "data:text/plain,%4", false, "", "" },
        { "data:image/png;base64", false, "", "" },
        { "http://example.org/a.png", false, "", "" },
    };
    for (const TCase& c : cases) {
        std::string type;
        std::string bytes;
        std::string error;
        EXPECT_EQ(CTQObfDataUrl::Decode(c.Url, type, bytes, error), c.Ok) << c.Url;
        if (c.Ok) {
            EXPECT_EQ(type, c.Type) << c.Url;
            EXPECT_EQ(bytes, c.Bytes) << c.Url;
        }
    }
}

TEST(ObfReaders, JsonNestingIsCountedOutsideStrings)
{
    EXPECT_EQ(CTQObfJson::NestingDepth(R"({"a":[1,{"b":"[[[[\"{"}]})", 64), 3);
    EXPECT_EQ(CTQObfJson::NestingDepth(std::string(100000, '['), 64), 65);
}

TEST(ObfReaders, SvgThatRefersOutsideItselfIsRefused)
{
    const std::string head =
        R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="4" height="4">)";
    for (
        const std::string body :
        { R"(<image href="file:///etc/passwd" width="4" height="4"/>)",
          R"(<image xlink:href = 'https://example.org/a.png'/>)", R"(<image href="picture.png"/>)",
          R"X(<rect width="4" height="4" style="fill:url(https://example.org/p.svg#g)"/>)X",
          R"(<style>@import url(#x);</style>)",
          R"(<xi:include xmlns:xi="http://www.w3.org/2001/XInclude" parse="text" href="/etc/passwd"/>)" }) {
        platform::Image image;
        std::string why;
        EXPECT_FALSE(platform::RenderSvg(head + body + "</svg>", 64, image, why)) << body;
        EXPECT_NE(why.find("refers outside itself"), std::string::npos) << body;
    }
    const std::string entity =
        R"(<?xml version="1.0"?><!DOCTYPE svg [<!ENTITY x SYSTEM "file:///etc/passwd">]>)";
    platform::Image image;
    std::string why;
    EXPECT_FALSE(platform::RenderSvg(entity + head + "<text>&x;</text></svg>", 64, image, why));
    // References inside the document and embedded data are drawn.
    const std::string inside = head +
        R"(<defs><linearGradient id="g"><stop offset="0" stop-color="#00f"/></linearGradient></defs>)" +
        R"X(<rect width="4" height="4" fill="url(#g)"/><use href="#r"/></svg>)X";
    ASSERT_TRUE(platform::RenderSvg(inside, 64, image, why)) << why;
    EXPECT_EQ(image.Pixel(2, 2), 0xFF0000FFu);
}

}  // namespace
