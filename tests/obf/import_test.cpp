// The import of small boards and packages: the pages, pictures, captions and sounds written
// for the board's grid, its links and its media, and the report's notes on what changed.
#include "tests/obf/obf_fixture.h"

#include "content/obf/obffetch.h"
#include "platform/pixels.h"

#include <gtest/gtest.h>

namespace {

using namespace obftest;

// A board's JSON from its buttons, grid order and further fields (each a JSON member).
std::string Board(const std::string& id, const std::string& buttons, const std::string& order,
                  const std::string& more = "")
{
    return R"({"format":"open-board-0.1","id":")" + id + R"(","locale":"en","buttons":[)" +
        buttons + R"(],"grid":{"rows":1,"columns":1,"order":[)" + order + "]}" +
        (more.empty() ? "" : "," + more) + "}";
}

std::string Button(const std::string& id, const std::string& label, const std::string& more = "")
{
    return R"({"id":")" + id + R"(","label":")" + label + "\"" + (more.empty() ? "" : "," + more) +
        "}";
}

std::string Link(const std::string& path)
{
    return R"("load_board":{"path":")" + path + "\"}";
}

std::string Manifest(const std::string& root)
{
    return R"({"format":"open-board-0.1","root":")" + root + R"(","paths":{"boards":{}}})";
}

bool HasNote(const TObfImportResult& result, const std::string& part)
{
    for (const std::string& note : result.Notes)
        if (note.find(part) != std::string::npos)
            return true;
    return false;
}

TEST(ObfImport, ButtonsFollowTheGridRowByRowWithoutHiddenOrEmptyOnes)
{
    Fixture f;
    const std::string board = Board("r",
                                    Button("a", "A") + "," + Button("b", "B") + "," +
                                        Button("c", "C", R"("hidden":true)") + "," +
                                        Button("d", "D") + "," + R"({"id":"e"})",
                                    R"(["b",null,"a"],["c","e",null])");
    const TObfImportResult result = f.Import(f.File("board.obf", board));
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    // D is not in the grid and comes after those that are; a picture made of its label has
    // no caption (the words are on it already).
    EXPECT_EQ(f.Names("UserData/L00001"),
              (std::vector<std::string>{ "B00001 B.png", "B00001.wav", "B00002 A.png", "B00002.wav",
                                         "B00003 D.png", "B00003.wav" }));
    EXPECT_TRUE(f.Speech.Says("B", "en"));
    EXPECT_EQ(result.Pages, 1);
    EXPECT_EQ(result.Pictures, 3);
}

TEST(ObfImport, MoreButtonsThanAPageHoldsContinueBehindMer)
{
    Fixture f;
    std::string buttons;
    for (int i = 1; i <= 25; ++i)
        buttons += (i > 1 ? "," : "") + Button(std::to_string(i), "N" + std::to_string(i));
    const TObfImportResult result = f.Import(f.File("board.obf", Board("r", buttons, "[]")));
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    // 11 + "Mer", 11 + "Mer", 3.
    EXPECT_TRUE(f.Exists("UserData/L00001/B00011 N11.png"));
    EXPECT_TRUE(f.Exists("UserData/L00001/B00012 Mer.png"));
    EXPECT_TRUE(f.Exists("UserData/L00001/L00012/B00001 N12.png"));
    EXPECT_TRUE(f.Exists("UserData/L00001/L00012/B00012 Mer.png"));
    EXPECT_TRUE(f.Exists("UserData/L00001/L00012/L00012/B00003 N25.png"));
    EXPECT_FALSE(f.Exists("UserData/L00001/L00012/L00012/B00004.wav"));
    EXPECT_TRUE(f.Speech.Says("Mer", "sv"));
    EXPECT_EQ(result.Pages, 3);
    EXPECT_EQ(result.Pictures, 27);
}

TEST(ObfImport, LinksBecomeSubPagesAndLinksBackAreLeftOut)
{
    Fixture f;
    // Home -> Food -> Fruit; Food links back Home and Fruit back to Food; Home reaches Fruit
    // a second way.
    const std::wstring package = f.Package({
        { "manifest.json",
          R"({"root":"boards/home.obf","paths":{"boards":{"home":"boards/home.obf","lost":"boards/lost.obf"}}})" },
        { "boards/lost.obf", Board("lost", Button("1", "Lost"), "[]") },
        { "boards/home.obf",
          Board("home",
                Button("1", "Food", Link("boards/food.obf")) + "," +
                    Button("2", "Fruit", Link("boards/fruit.obf")),
                "[\"1\",\"2\"]") },
        { "boards/food.obf",
          Board("food",
                Button("1", "Home", Link("boards/home.obf")) + "," +
                    Button("2", "Fruit", Link("boards/fruit.obf")),
                "[\"1\",\"2\"]") },
        { "boards/fruit.obf",
          Board("fruit", Button("1", "Back", Link("boards/food.obf")) + "," + Button("2", "Apple"),
                "[\"1\",\"2\"]") },
    });
    const TObfImportResult result = f.Import(package);
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    EXPECT_EQ(f.Names("UserData/L00001/L00001"),
              (std::vector<std::string>{ "B00001 Fruit.png", "B00001.wav", "L00001" }));
    EXPECT_EQ(f.Names("UserData/L00001/L00001/L00001"),
              (std::vector<std::string>{ "B00001 Apple.png", "B00001.wav" }));
    // Reached from Home directly, Fruit's link to Food is no way back, and Food shows Fruit's
    // siblings without the two links back.
    EXPECT_TRUE(f.Exists("UserData/L00001/L00002/B00001 Back.png"));
    EXPECT_FALSE(f.Exists("UserData/L00001/L00002/L00001"));
    EXPECT_TRUE(HasNote(result, "links back to board \"home\""));
    EXPECT_TRUE(HasNote(result, "links back to board \"food\""));
    EXPECT_TRUE(HasNote(result, "left out: the board boards/lost.obf: no button leads to it"));
}

TEST(ObfImport, PicturesComeFromDataFilesAndSvgAndOtherwiseFromTheLabel)
{
    Fixture f;
    const std::string png = Png(5, 4, 1);
    const std::string file = Png(3, 3, 2);
    const std::string jpeg = Jpeg(7);
    const std::string svg =
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="40" height="20"><rect width="40" height="20" fill="#ff0000"/></svg>)";
    const std::string images = R"("images":[{"id":"i1","data":")" + DataUrl("image/png", png) +
        R"("},{"id":"i2","path":"images/two.png"},)" + R"({"id":"i3","data":")" +
        DataUrl("image/svg+xml", svg) + R"("},{"id":"i4","url":"https://example.org/x.png"},)" +
        R"({"id":"i5","data":")" + DataUrl("image/gif", "GIF89a....") +
        R"("},{"id":"i6","path":"images/six.jpg"}])";
    std::string buttons;
    for (int i = 1; i <= 6; ++i)
        buttons += (i > 1 ? "," : "") +
            Button(std::to_string(i), "P" + std::to_string(i),
                   "\"image_id\":\"i" + std::to_string(i) + "\"");
    const std::wstring package = f.Package({ { "manifest.json", Manifest("b.obf") },
                                             { "b.obf", Board("b", buttons, "[]", images) },
                                             { "images/two.png", file },
                                             { "images/six.jpg", jpeg } });
    const TObfImportResult result = f.Import(package);
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    const std::string page = "UserData/L00001/";
    EXPECT_EQ(f.Read(page + "B00001 P1.png"), png);
    EXPECT_EQ(f.Read(page + "B00001 P1.txt"), "P1");
    EXPECT_EQ(f.Read(page + "B00002 P2.png"), file);
    EXPECT_EQ(f.Read(page + "B00006 P6.jpg"), jpeg);
    platform::Image drawn;
    ASSERT_TRUE(platform::DecodePicture(f.Out() + L"/UserData/L00001/B00003 P3.png", drawn));
    EXPECT_EQ(drawn.Pixel(drawn.Width() / 2, drawn.Height() / 2), 0xFFFF0000u);
    // The url is not fetched and the GIF cannot be shown: the label is drawn, without caption.
    EXPECT_TRUE(f.Exists(page + "B00004 P4.png"));
    EXPECT_FALSE(f.Exists(page + "B00004 P4.txt"));
    EXPECT_TRUE(HasNote(result, "\"P4\": its picture: it is on the web"));
    EXPECT_TRUE(HasNote(result, "\"P5\": its picture: a GIF picture"));
}

TEST(ObfImport, PicturesAndSoundsOnTheWebAreFetchedWhenTheyCanBe)
{
    Fixture f;
    const std::string png = Png(4, 4, 9);
    const std::string wav = Wav("web");
    std::vector<std::string> asked;
    f.Fetch = [&](const std::string& url, std::size_t, std::string& bytes, std::string& why) {
        asked.push_back(url);
        if (url == "https://example.org/a.png")
            bytes = png;
        else if (url == "https://example.org/a.wav")
            bytes = wav;
        else
            why = "offline";
        return !bytes.empty();
    };
    const std::string media =
        R"("images":[{"id":"i1","url":"https://example.org/a.png"},{"id":"i2","url":"https://example.org/gone.png"}],)"
        R"("sounds":[{"id":"s1","url":"https://example.org/a.wav"}])";
    const std::string buttons = Button("1", "Here", R"("image_id":"i1","sound_id":"s1")") + "," +
        Button("2", "Gone", R"("image_id":"i2")") + "," +
        Button("3", "Again", R"("image_id":"i1")");
    const TObfImportResult result = f.Import(f.File("b.obf", Board("b", buttons, "[]", media)));
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    EXPECT_EQ(f.Read("UserData/L00001/B00001 Here.png"), png);
    EXPECT_EQ(f.Read("UserData/L00001/B00001.wav"), wav);
    EXPECT_EQ(f.Read("UserData/L00001/B00003 Again.png"), png);
    EXPECT_FALSE(f.Exists("UserData/L00001/B00002 Gone.txt"));  // the label picture
    EXPECT_TRUE(HasNote(result,
                        "\"Gone\": its picture: it is on the web (https://example.org/gone.png) "
                        "and was not fetched: offline"));
    EXPECT_EQ(asked.size(), 3u);  // each address once
}

TEST(ObfImport, TheRealFetcherTakesOnlyHttpsAndStopsOnceTheNetworkIsDown)
{
    const TObfFetcher fetch = CTQObfFetch::Make();
    std::string bytes;
    std::string why;
    EXPECT_FALSE(fetch("http://example.org/a.png", 1000, bytes, why));
    EXPECT_EQ(why, "only https addresses are fetched");
    EXPECT_FALSE(fetch("file:///etc/passwd", 1000, bytes, why));
    EXPECT_EQ(why, "only https addresses are fetched");
    // Nothing listens on the discard port: the connection is refused at once.
    EXPECT_FALSE(fetch("https://127.0.0.1:9/a.png", 1000, bytes, why));
    EXPECT_FALSE(fetch("https://127.0.0.1:9/b.png", 1000, bytes, why));
    EXPECT_EQ(why, "the computer seems to be offline");
}

TEST(ObfImport, SoundsComeFromTheBoardElseFromSpeechInTheBoardsLocale)
{
    Fixture f;
    const std::string wav = Wav("one");
    const std::string mp3 = "ID3\x03" + std::string(20, '\0');
    const std::string sounds = R"("sounds":[{"id":"s1","data":")" + DataUrl("audio/wav", wav) +
        R"("},{"id":"s2","path":"sounds/two.mp3"},{"id":"s3","data":")" +
        DataUrl("audio/ogg", "OggS....") + R"("},{"id":"s5","data":")" +
        DataUrl("audio/wav", "RIFF") + R"("}])";
    const std::string buttons = Button("1", "One", R"("sound_id":"s1")") + "," +
        Button("2", "Two", R"("sound_id":"s2")") + "," +
        Button("3", "Three", R"("sound_id":"s3","vocalization":"Number three")") + "," +
        Button("4", "Four") + "," + Button("5", "Five", R"("sound_id":"s5")");
    std::string board = Board("b", buttons, "[]", sounds);
    board.replace(board.find("\"en\""), 4, "\"en-GB\"");
    const std::wstring package = f.Package({ { "b.obf", board }, { "sounds/two.mp3", mp3 } });
    const TObfImportResult result = f.Import(package);
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    EXPECT_EQ(f.Read("UserData/L00001/B00001.wav"), wav);
    EXPECT_EQ(f.Read("UserData/L00001/B00002.mp3"), mp3);
    EXPECT_TRUE(f.Speech.Says("Number three", "en-GB"));
    EXPECT_TRUE(f.Speech.Says("Four", "en-GB"));
    EXPECT_TRUE(f.Speech.Says("Five", "en-GB"));
    EXPECT_FALSE(f.Speech.Says("One", "en-GB"));
    EXPECT_TRUE(HasNote(result, "kind of sound the board cannot play (audio/ogg)"));
    // The common sounds are spoken in Swedish, the board's own language.
    EXPECT_TRUE(f.Speech.Says("Tillbaka", "sv"));
    EXPECT_TRUE(f.Speech.Says("Jag valde", "sv"));
    EXPECT_EQ(f.Read("WebBrowser.lnk"),
              "[Desktop Entry]\nType=Application\nName=Webbläsare\nExec=sh %u\n");
}

TEST(ObfImport, LabelsAreTranslatedIntoTheUsersLanguageWhereTheBoardHasIt)
{
    struct TCase {
        const char* Language;
        const char* Caption;
        const char* Locale;
    };
    const TCase cases[] = {
        { "sv_SE.UTF-8", "Äpple", "sv_SE" },  // exactly
        { "sv", "Äpple", "sv_SE" },           // by the language alone
        { "de_DE", "Apple", "en" },           // not there: the board's own
        { "", "Apple", "en" },
    };
    for (const TCase& c : cases) {
        Fixture f;
        const std::string board =
            Board("b", Button("1", "Apple", R"("image_id":"i")"), "[]",
                  R"("strings":{"sv_SE":{"Apple":"Äpple"}},"images":[{"id":"i","data":")" +
                      DataUrl("image/png", Png(2, 2, 0)) + "\"}]");
        ASSERT_EQ(f.Import(f.File("b.obf", board), c.Language).ExitCode, 0) << c.Language;
        EXPECT_EQ(f.Names("UserData/L00001").front(), std::string("B00001 ") + c.Caption + ".png")
            << c.Language;
        EXPECT_EQ(f.Read(std::string("UserData/L00001/B00001 ") + c.Caption + ".txt"), c.Caption)
            << c.Language;
        EXPECT_TRUE(f.Speech.Says(c.Caption, c.Locale)) << c.Language;
    }
}

TEST(ObfImport, DamagedButtonsAreListedAndTheRestImported)
{
    Fixture f;
    const std::string board =
        R"({"id":"b","buttons":[5,{"label":"no id"},{"id":7,"label":"Seven"},)" +
        Button("x", "Clear", R"("action":":clear")") + "," +
        Button("y", "Elsewhere", Link("other.obf")) +
        R"(],"grid":{"rows":1,"columns":3,"order":[[7,"zz","x","y"]]}})";
    const TObfImportResult result = f.Import(f.File("b.obf", board));
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    EXPECT_EQ(f.Names("UserData/L00001"),
              (std::vector<std::string>{ "B00001 Seven.png", "B00001.wav", "B00002 Clear.png",
                                         "B00002.wav", "B00003 Elsewhere.png", "B00003.wav" }));
    EXPECT_TRUE(HasNote(result, "damaged: board \"b\": button 1 is not a button with an id"));
    EXPECT_TRUE(HasNote(result, "damaged: board \"b\": button 2 is not a button with an id"));
    EXPECT_TRUE(HasNote(result, "the grid names button zz"));
    EXPECT_TRUE(HasNote(result, "its action :clear is not something the board does"));
    EXPECT_TRUE(HasNote(
        result,
        "\"Elsewhere\": it links to another board, which a single board file does not hold"));
}

TEST(ObfImport, OnlyWebAndFilePagesBecomeWebAddresses)
{
    Fixture f;
    const std::string name = R"("ext_orlido_name":"")";
    const std::string buttons = Button("1", "Web", R"("url":"https://sv.wikipedia.org")") + "," +
        Button("2", "Script", R"X("url":"javascript:alert(1)")X") + "," +
        Button("3", "Long", R"("url":"https://example.org/)" + std::string(100, 'x') + "\"") + "," +
        Button("4", "Local", name + R"(,"ext_orlido_web_address":"a/local.txt")") + "," +
        Button("5", "Option", name + R"(,"ext_orlido_web_address":"a/option.txt")");
    const TObfImportResult result =
        f.Import(f.Package({ { "b.obf", Board("b", buttons, "[]") },
                             { "a/local.txt", "file:sidor/bok.html\n" },
                             { "a/option.txt", "--new-window https://x.org" } }));
    ASSERT_EQ(result.ExitCode, 0) << result.Error;
    EXPECT_EQ(f.Read("UserData/L00001/W00001.txt"), "https://sv.wikipedia.org");
    EXPECT_EQ(f.Read("UserData/L00001/W00004.txt"), "file:sidor/bok.html\n");
    for (const char* missing : { "W00002.txt", "W00003.txt", "W00005.txt" })
        EXPECT_FALSE(f.Exists(std::string("UserData/L00001/") + missing)) << missing;
    EXPECT_TRUE(HasNote(result, "\"Script\": its address is no web address"));
    EXPECT_TRUE(HasNote(result, "\"Long\": its web address is longer than the 100 bytes"));
    EXPECT_TRUE(
        HasNote(result, "\"Option\": its web-address file holds no http, https or file: address"));
}

TEST(ObfImport, PicturesLeftWithoutASoundAreReportedWithExitCodeOne)
{
    Fixture f;
    TObfImportOptions options;
    options.File =
        f.File("b.obf", Board("b", Button("1", "A") + "," + R"({"id":"2","image_id":"i"})", "[]"));
    options.Folder = f.Out();
    options.Write.Speech = [](const std::wstring& text, const std::string&, const std::wstring&) {
        return false;
    };
    const TObfImportResult result = CTQObfImport::Run(options);
    EXPECT_EQ(result.ExitCode, 1);
    ASSERT_EQ(result.Silent.size(), 6u);  // two pictures, four common sounds
    EXPECT_NE(result.Silent[0].find("speech could not say \"A\""), std::string::npos);
    EXPECT_NE(result.Silent[1].find("has no words to speak"), std::string::npos);
    EXPECT_TRUE(f.Exists("UserData/L00001/B00001 A.png"));
}

}  // namespace
