// The editing model on temporary content folders: a page read as the board reads it, each
// change (add, caption, sound, what a picture leads to, move, delete, undo, redo) leaving
// content the checker passes, a change stopped after any one of its steps leaving every
// page without a gap and finished when the folder opens next, changes made outside the
// session refused, names from Windows kept, and the settings file written as the board
// reads it.
#include "application/orlidocheck.h"
#include "application/tqstartupsettings.h"
#include "content/contentedit.h"
#include "content/contentjournal.h"
#include "content/contentrules.h"
#include "content/contentsettings.h"
#include "content/contenttree.h"
#include "platform/fake/fake_desktop.h"
#include "platform/files.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;
using TLeadsTo = CTQContentTree::TLeadsTo;
using TResult = CTQContentEdit::TResult;

std::string ReadSource(const std::string& relative)
{
    std::ifstream stream(std::string(ORLIDO_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

const std::string& Jpeg()
{
    static const std::string bytes = ReadSource("demo/UserData/L00001/B00001 Mat.jpg");
    return bytes;
}

constexpr const char* kRunnable = "[Desktop Entry]\nType=Application\nName=Sh\nExec=sh -c true\n";

class ContentEdit : public ::testing::Test {
public:
    void SetUp() override
    {
        fake::ResetPrograms();
        fake::AddProgram(L"sh", fake::ProgramScript{});
        m_strOldDataHome = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        ::setenv("XDG_DATA_HOME", (m_folder.Root / "home").c_str(), 1);
        CTQContentJournal::StopAfterSteps(-1);
        for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
            Put(sound, "RIFF sound");
        Put("WebBrowser.lnk", kRunnable);
        m_folder.Write("sound.wav", "RIFF new sound");
        m_folder.Write("other.mp3", "ID3 other sound");
    }
    void TearDown() override
    {
        CTQContentJournal::StopAfterSteps(-1);
        if (m_strOldDataHome.empty())
            ::unsetenv("XDG_DATA_HOME");
        else
            ::setenv("XDG_DATA_HOME", m_strOldDataHome.c_str(), 1);
    }

    // A picture with its sound and, when the caption is not empty, its caption file.
    void PutPicture(const std::string& page, int number, const std::string& rest,
                    const std::string& caption = "")
    {
        char stem[16];
        std::snprintf(stem, sizeof stem, "B%05d", number);
        Put(page + "/" + stem + rest + ".jpg", Jpeg());
        Put(page + "/" + stem + ".wav", "RIFF sound " + std::to_string(number));
        if (!caption.empty())
            Put(page + "/" + stem + rest + ".txt", caption);
    }
    void Put(const std::string& relative, const std::string& bytes)
    {
        m_folder.Write("content/" + relative, bytes);
    }
    std::wstring Content() const { return m_folder.Path("content"); }
    std::wstring Page(const std::string& relative = "UserData/L00001") const
    {
        return m_folder.Path("content/" + relative);
    }
    std::wstring Source(const std::string& name) const { return m_folder.Path(name); }

    int Problems(std::string* report = nullptr)
    {
        COrlidoCheck check(Content() + L"/", m_folder.Path("Setup.txt"), false);
        std::FILE* out = std::tmpfile();
        check.Run(out);
        std::rewind(out);
        std::string text;
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;)
            text.append(chunk, n);
        std::fclose(out);
        if (report)
            *report = text;
        return check.GetProblemCount();
    }

    // The captions of a page's pictures in order, "|" between them.
    std::string Captions(const std::string& page = "UserData/L00001")
    {
        std::string captions;
        for (const auto& picture : CTQContentTree::ReadPage(Page(page)).Pictures)
            captions += (captions.empty() ? "" : "|") + platform::ToUtf8(picture.Caption);
        return captions;
    }

    // Every file and folder under the content folder with its bytes; hidden names left out.
    std::map<std::string, std::string> Snapshot()
    {
        std::map<std::string, std::string> files;
        const fs::path root = m_folder.Root / "content";
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const std::string relative = fs::relative(entry.path(), root).string();
            files[relative] =
                entry.is_directory() ? "<folder>" : m_folder.Read("content/" + relative);
        }
        return files;
    }

    TempFolder m_folder;
    std::string m_strOldDataHome;
};

// ---- Reading ------------------------------------------------------------------------------

TEST_F(ContentEdit, APageReadsAsTheBoardFindsItsFiles)
{
    PutPicture("UserData/L00001", 1, " Mat", "Mat");
    Put("UserData/L00001/B00002 DRYCK.JPG", Jpeg());  // upper case from Windows
    Put("UserData/L00001/B00002.WMA", "wma");
    Put("UserData/L00001/B00002.mp3", "mp3");                    // .mp3 is tried before .wma
    Put("UserData/L00001/B00003 Sm\xF6r.jpg", Jpeg());           // a Windows-1252 name
    Put("UserData/L00001/B00003 Sm\xF6r.txt", "Sm\xF6rg\xE5s");  // and caption
    Put("UserData/L00001/B00005 Ute.jpg", Jpeg());               // after a gap: not shown
    Put("UserData/L00001/W00001.txt", "https://example.org\r\n");
    Put("UserData/L00001/B00001.lnk", kRunnable);
    Put("UserData/L00001/L00003/B00001 A.jpg", Jpeg());

    const CTQContentTree::TPage page = CTQContentTree::ReadPage(Page());
    ASSERT_EQ(page.Count, 3);
    ASSERT_EQ(page.Pictures.size(), 3u);
    EXPECT_EQ(page.Pictures[0].LeadsTo, TLeadsTo::Program);
    EXPECT_EQ(page.Pictures[0].Overruled, std::vector<std::wstring>{ L"W00001.txt" });
    EXPECT_EQ(page.Pictures[1].PictureName, L"B00002 DRYCK.JPG");
    EXPECT_EQ(page.Pictures[1].SoundName, L"B00002.mp3");
    EXPECT_EQ(page.Pictures[2].Caption, L"Smörgås");
    EXPECT_EQ(page.Pictures[2].LeadsTo, TLeadsTo::SubPage);
    EXPECT_EQ(page.Groups.at(5), std::vector<std::wstring>{ L"B00005 Ute.jpg" });
}

TEST_F(ContentEdit, WhatAPictureLeadsToFollowsTheBoardsOrder)
{
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        TLeadsTo expected;
    } cases[] = {
        { "nothing", {}, TLeadsTo::Nothing },
        { "sub-page", { { "L00001/B00001 A.jpg", Jpeg() } }, TLeadsTo::SubPage },
        { "web address before its sub-page",
          { { "L00001/B00001 A.jpg", Jpeg() }, { "W00001.txt", "x" } },
          TLeadsTo::WebAddress },
        { "music before a web address",
          { { "M00001.mp3", "x" }, { "W00001.txt", "x" } },
          TLeadsTo::Music },
        { "film", { { "m00001.WMV", "x" } }, TLeadsTo::Film },
        { "shortcut before a film",
          { { "M00001.wmv", "x" }, { "B00001.lnk", kRunnable } },
          TLeadsTo::Program },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_folder.Root / "content/UserData");
        PutPicture("UserData/L00001", 1, " Mat");
        for (const auto& [name, bytes] : c.files)
            Put("UserData/L00001/" + name, bytes);
        EXPECT_EQ(CTQContentTree::ReadPage(Page()).Pictures.at(0).LeadsTo, c.expected);
    }
}

// ---- Changes --------------------------------------------------------------------------------

// A carer's session: every step leaves content the checker passes, in the order expected.
TEST_F(ContentEdit, EachChangeLeavesContentTheCheckerPasses)
{
    PutPicture("UserData/L00001", 1, " Mat", "Mat");
    PutPicture("UserData/L00001", 2, " Dryck", "Dryck");
    ASSERT_EQ(Problems(), 0);
    CTQContentEdit edit(Content());
    const std::wstring sub = CTQContentTree::SubPageFolder(Page(), 3);
    const auto add = [&](const std::wstring& page, const wchar_t* caption) {
        return edit.AddPicture(page, { Jpeg(), L".jpg", caption, Source("sound.wav") });
    };
    const struct {
        const char* name;
        std::function<TResult()> change;
        const char* captions;     // of the first page afterwards
        const char* subCaptions;  // of picture 3's sub-page
    } steps[] = {
        { "add", [&] { return add(Page(), L"Leka"); }, "Mat|Dryck|Leka", "" },
        { "sub-page made with its first picture", [&] { return add(sub, L"Boll"); },
          "Mat|Dryck|Leka", "Boll" },
        { "second picture on the sub-page", [&] { return add(sub, L"Docka"); }, "Mat|Dryck|Leka",
          "Boll|Docka" },
        { "move last to first", [&] { return edit.Move(Page(), 3, 1); }, "Leka|Mat|Dryck", "" },
        { "undo the move", [&] { return edit.Undo(); }, "Mat|Dryck|Leka", "Boll|Docka" },
        { "redo the move", [&] { return edit.Redo(); }, "Leka|Mat|Dryck", "" },
        { "move first to the end", [&] { return edit.Move(Page(), 1, 3); }, "Mat|Dryck|Leka",
          "Boll|Docka" },
        { "caption", [&] { return edit.SetCaption(Page(), 2, L"Saft"); }, "Mat|Saft|Leka", "" },
        { "sound", [&] { return edit.SetSound(Page(), 2, Source("other.mp3")); }, "Mat|Saft|Leka",
          "" },
        { "web address",
          [&] { return edit.SetLeadsTo(Page(), 1, TLeadsTo::WebAddress, L"https://example.org"); },
          "Mat|Saft|Leka", "" },
        { "program",
          [&] { return edit.SetLeadsTo(Page(), 1, TLeadsTo::Program, L"sh -c true", L"Sh"); },
          "Mat|Saft|Leka", "" },
        { "delete the middle", [&] { return edit.Delete(Page(), 2); }, "Mat|Leka", "" },
        { "delete the one with the sub-page", [&] { return edit.Delete(Page(), 2); }, "Mat", "" },
        { "undo that", [&] { return edit.Undo(); }, "Mat|Leka", "" },
        { "undo the first delete", [&] { return edit.Undo(); }, "Mat|Saft|Leka", "Boll|Docka" },
        { "redo it", [&] { return edit.Redo(); }, "Mat|Leka", "" },
        { "delete the first", [&] { return edit.Delete(Page(), 1); }, "Leka", "" },
        { "undo", [&] { return edit.Undo(); }, "Mat|Leka", "" },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_EQ(step.change(), TResult::Done);
        std::string report;
        EXPECT_EQ(Problems(&report), 0) << report;
        EXPECT_EQ(Captions(), step.captions);
        if (*step.subCaptions) {
            EXPECT_EQ(Captions("UserData/L00001/L00003"), step.subCaptions);
        }
    }
    // The sound chosen last is the one the board plays, the program is what picture 1 starts.
    const CTQContentTree::TPage page = CTQContentTree::ReadPage(Page());
    EXPECT_EQ(page.Pictures[0].LeadsTo, TLeadsTo::Program);
    EXPECT_TRUE(page.Pictures[0].Overruled.empty());
    EXPECT_EQ(m_folder.Read("content/UserData/L00001/B00002.wav"), "RIFF new sound");
}

TEST_F(ContentEdit, UndoOfAPictureOnANewSubPageTakesTheSubPageAway)
{
    PutPicture("UserData/L00001", 1, " Mat", "Mat");
    CTQContentEdit edit(Content());
    const std::wstring sub = CTQContentTree::SubPageFolder(Page(), 1);
    ASSERT_EQ(edit.AddPicture(sub, { Jpeg(), L".jpg", L"Bröd", Source("sound.wav") }),
              TResult::Done);
    EXPECT_EQ(CTQContentTree::ReadPage(Page()).Pictures[0].LeadsTo, TLeadsTo::SubPage);
    ASSERT_EQ(edit.Undo(), TResult::Done);
    EXPECT_FALSE(platform::IsFolder(sub));
    EXPECT_EQ(Problems(), 0);
    ASSERT_EQ(edit.Redo(), TResult::Done);
    EXPECT_EQ(Captions("UserData/L00001/L00001"), "Bröd");
}

// A sub-page chosen for a picture exists at once, empty, for the carer to walk into; the
// checker asks for pictures in it until it has one.
TEST_F(ContentEdit, ANewSubPageIsMadeEmptyAndUndoneAsAWhole)
{
    PutPicture("UserData/L00001", 1, " Mat", "Mat");
    CTQContentEdit edit(Content());
    const std::wstring sub = CTQContentTree::SubPageFolder(Page(), 1);
    ASSERT_EQ(edit.SetLeadsTo(Page(), 1, TLeadsTo::SubPage, {}), TResult::Done);
    EXPECT_TRUE(platform::IsFolder(sub));
    EXPECT_TRUE(platform::ListFolderNames(sub).empty());
    EXPECT_EQ(CTQContentTree::ReadPage(Page()).Pictures[0].LeadsTo, TLeadsTo::SubPage);
    std::string report;
    EXPECT_EQ(Problems(&report), 1);
    EXPECT_NE(report.find("is empty"), std::string::npos) << report;

    ASSERT_EQ(edit.AddPicture(sub, { Jpeg(), L".jpg", L"Bröd", Source("sound.wav") }),
              TResult::Done);
    EXPECT_EQ(Problems(&report), 0) << report;

    ASSERT_EQ(edit.Undo(), TResult::Done);
    ASSERT_EQ(edit.Undo(), TResult::Done);
    EXPECT_FALSE(platform::IsFolder(sub));
    EXPECT_EQ(Problems(), 0);
    ASSERT_EQ(edit.Redo(), TResult::Done);
    EXPECT_TRUE(platform::IsFolder(sub));
    // Chosen again, an existing sub-page is kept with its pictures.
    ASSERT_EQ(edit.Redo(), TResult::Done);
    ASSERT_EQ(edit.SetLeadsTo(Page(), 1, TLeadsTo::SubPage, {}), TResult::Done);
    EXPECT_EQ(Captions("UserData/L00001/L00001"), "Bröd");
}

TEST_F(ContentEdit, RefusesWhatTheBoardCouldNotShow)
{
    for (int n = 1; n <= 12; ++n)
        PutPicture("UserData/L00001", n, "");
    CTQContentEdit edit(Content());
    const auto before = Snapshot();
    EXPECT_EQ(edit.AddPicture(Page(), { Jpeg(), L".jpg", L"13", {} }), TResult::Refused);
    EXPECT_EQ(edit.AddPicture(Page(), { Jpeg(), L".gif", L"x", {} }), TResult::Refused);
    EXPECT_EQ(edit.Move(Page(), 1, 13), TResult::Refused);
    EXPECT_EQ(edit.Delete(Page(), 0), TResult::Refused);
    EXPECT_EQ(edit.SetSound(Page(), 1, Source("sound.ogg")), TResult::Refused);
    EXPECT_EQ(edit.SetLeadsTo(Page(), 1, TLeadsTo::WebAddress, std::wstring(120, L'x')),
              TResult::Refused);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(ContentEdit, ACaptionIsCutBetweenCharactersAtTheBoardsLimit)
{
    const std::wstring long_ = std::wstring(60, L'å');
    EXPECT_EQ(CTQContentEdit::CaptionBytes(long_).size(), 100u);
    EXPECT_EQ(CTQContentEdit::CaptionBytes(L"x" + long_).size(),
              99u);  // "å" is two bytes: never half of one
    EXPECT_EQ(CTQContentEdit::CaptionBytes(L"Två\r\nrader"), "Tvårader");
}

// Pictures named alike ("B00001.jpg", captions "B00001.txt") rename onto each other's names:
// nothing may be lost, and a deleted picture's files are in the desktop's trash.
TEST_F(ContentEdit, RenumberingKeepsEveryFileOfPicturesNamedAlike)
{
    for (int n = 1; n <= 4; ++n)
        PutPicture("UserData/L00001", n, "", "P" + std::to_string(n));
    Put("UserData/L00001/L00002/B00001.jpg", Jpeg());
    Put("UserData/L00001/L00002/B00001.wav", "sub");
    CTQContentEdit edit(Content());
    ASSERT_EQ(edit.Move(Page(), 1, 4), TResult::Done);
    EXPECT_EQ(Captions(), "P2|P3|P4|P1");
    EXPECT_EQ(m_folder.Read("content/UserData/L00001/B00004.wav"), "RIFF sound 1");
    EXPECT_EQ(m_folder.Read("content/UserData/L00001/L00001/B00001.wav"), "sub");
    ASSERT_EQ(edit.Delete(Page(), 1), TResult::Done);
    EXPECT_EQ(Captions(), "P3|P4|P1");
    EXPECT_EQ(m_folder.Read("home/Trash/files/L00001/B00001.wav"), "sub");
    EXPECT_NE(m_folder.Read("home/Trash/info/L00001.trashinfo")
                  .find("Path=" + (m_folder.Root / "content/UserData/L00001/L00001").string()),
              std::string::npos);
    EXPECT_EQ(Problems(), 0);
}

// ---- Safety ---------------------------------------------------------------------------------

// A change stopped after each one of its steps: every page still counts from 1 without a
// gap, and opening the folder again finishes the change as if it had not been stopped.
TEST_F(ContentEdit, AChangeStoppedAtAnyStepLeavesNoGapAndIsFinishedOnOpening)
{
    const auto fixture = [this] {
        fs::remove_all(m_folder.Root / "content/UserData");
        for (int n = 1; n <= 5; ++n)
            PutPicture("UserData/L00001", n, n % 2 ? "" : " Bild", "P" + std::to_string(n));
        Put("UserData/L00001/L00002/B00001.jpg", Jpeg());
        Put("UserData/L00001/L00002/B00001.wav", "sub");
        Put("UserData/L00001/M00004.mp3", "music");
    };
    const struct {
        const char* name;
        std::function<TResult(CTQContentEdit&)> change;
        int countAfter;
    } changes[] = {
        { "move forward", [this](CTQContentEdit& e) { return e.Move(Page(), 2, 5); }, 5 },
        { "move back", [this](CTQContentEdit& e) { return e.Move(Page(), 4, 1); }, 5 },
        { "delete", [this](CTQContentEdit& e) { return e.Delete(Page(), 2); }, 4 },
        { "delete the last", [this](CTQContentEdit& e) { return e.Delete(Page(), 5); }, 4 },
        { "add",
          [this](CTQContentEdit& e) {
              return e.AddPicture(Page(), { Jpeg(), L".png", L"Ny", Source("sound.wav") });
          },
          6 },
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        fixture();
        {
            CTQContentEdit edit(Content());
            ASSERT_EQ(change.change(edit), TResult::Done);
        }
        const auto expected = Snapshot();
        for (int stop = 0;; ++stop) {
            SCOPED_TRACE("stopped after step " + std::to_string(stop));
            fixture();
            CTQContentJournal::StopAfterSteps(stop);
            TResult result;
            {
                CTQContentEdit edit(Content());
                result = change.change(edit);
            }
            CTQContentJournal::StopAfterSteps(-1);
            const CTQContentTree::TPage page = CTQContentTree::ReadPage(Page());
            EXPECT_TRUE(page.Count == 5 || page.Count == change.countAfter) << page.Count;
            for (const auto& [number, names] : page.Groups) {
                for (const std::wstring& name : names) {
                    if (CTQContentTree::IsPagePicture(name)) {
                        EXPECT_LE(number, page.Count) << platform::ToUtf8(name);
                    }
                }
            }
            CTQContentEdit reopened(Content());
            EXPECT_EQ(Snapshot(), expected);
            if (result == TResult::Done)
                break;
            ASSERT_LT(stop, 200);
        }
    }
}

TEST_F(ContentEdit, AChangeMadeOutsideIsNotOverwritten)
{
    PutPicture("UserData/L00001", 1, " Mat", "Mat");
    PutPicture("UserData/L00001", 2, " Dryck", "Dryck");
    CTQContentEdit edit(Content());
    edit.ReadPage(Page());
    ASSERT_EQ(edit.SetCaption(Page(), 1, L"Mat och dryck"), TResult::Done);
    EXPECT_FALSE(edit.ChangedOutside(Page()));

    Put("UserData/L00001/B00002 Dryck.txt", "Saft");  // another editor, the same moment
    EXPECT_TRUE(edit.ChangedOutside(Page()));
    const auto outside = Snapshot();
    EXPECT_EQ(edit.SetCaption(Page(), 2, L"Vatten"), TResult::ChangedOutside);
    EXPECT_EQ(edit.Delete(Page(), 1), TResult::ChangedOutside);
    EXPECT_EQ(edit.Undo(), TResult::ChangedOutside);
    EXPECT_EQ(Snapshot(), outside);

    edit.Reread(Page());
    EXPECT_FALSE(edit.CanUndo());
    EXPECT_EQ(edit.SetCaption(Page(), 2, L"Vatten"), TResult::Done);
    EXPECT_EQ(Captions(), "Mat och dryck|Vatten");
}

TEST_F(ContentEdit, NamesFromWindowsAreKeptAsTheyAre)
{
    Put("UserData/L00001/B00001 Sm\xF6r.JPG", Jpeg());
    Put("UserData/L00001/B00001.WMA", "wma");
    Put("UserData/L00001/B00001 Sm\xF6r.txt", "Sm\xF6r");
    PutPicture("UserData/L00001", 2, " Mat", "Mat");
    CTQContentEdit edit(Content());
    ASSERT_EQ(edit.Move(Page(), 1, 2), TResult::Done);
    const auto files = Snapshot();
    EXPECT_EQ(files.count("UserData/L00001/B00002 Sm\xF6r.JPG"), 1u);
    EXPECT_EQ(files.at("UserData/L00001/B00002.WMA"), "wma");
    EXPECT_EQ(files.at("UserData/L00001/B00002 Sm\xF6r.txt"), "Sm\xF6r");
    EXPECT_EQ(Captions(), "Mat|Smör");
}

TEST_F(ContentEdit, AJournalFromElsewhereCannotReachOutsideItsFolder)
{
    PutPicture("UserData/L00001", 1, " Mat");
    m_folder.Write("outside.txt", "keep");
    // A renaming journal that names a path above the page, as a stick could carry it.
    Put("UserData/L00001/.orlido-journal", "014:../../../outside.txt5:x.txt\n");
    CTQContentEdit edit(Content());
    EXPECT_EQ(m_folder.Read("outside.txt"), "keep");
    EXPECT_FALSE(fs::exists(m_folder.Root / "content/UserData/L00001/x.txt"));
}

// ---- Settings -------------------------------------------------------------------------------

TEST(ContentSettings, WrittenAsTheBoardReadsThem)
{
    using Key = CTQContentRules::TSettingKey;
    const struct {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        { "no file", "", "#MAINMODE Scan\n#SCANPERIOD 2500\n" },
        { "a byte-order mark and no final line end",
          "\xEF\xBB\xBF#MAINMODE Standard\r\n#APPEARANCE Dark",
          "#APPEARANCE Dark\n#MAINMODE Scan\n#SCANPERIOD 2500\n" },
        { "other lines kept, old values replaced",
          "Anteckning\n#SCANPERIOD 1000\n#BLINKPERIOD 700\n",
          "Anteckning\n#BLINKPERIOD 700\n#MAINMODE Scan\n#SCANPERIOD 2500\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CTQContentSettings::TValues values = { { Key::MainMode, L"Scan" },
                                                     { Key::ScanPeriod, L"2500" } };
        EXPECT_EQ(CTQContentSettings::Text(c.before, values), c.after);
        TempFolder folder;
        if (!c.before.empty())
            folder.Write("Setup.txt", c.before);
        ASSERT_TRUE(CTQContentSettings::Write(folder.Path("Setup.txt"), values));
        const TStartupSettings read = ReadStartupSettings(folder.Path("Setup.txt"));
        EXPECT_EQ(read.Mode, L"Scan");
        EXPECT_EQ(read.ScanPeriod, 2500);
    }
}

}  // namespace
