// The editor's main paths as a carer takes them, on the offscreen platform: open content,
// add a picture with a caption (typed, its byte limit shown) and a sound, make a sub-page
// with a picture, reorder by keyboard, delete and undo, change the settings; the content
// the checker then reads has no problem.
#include "application/orlidocheck.h"
#include "application/tqstartupsettings.h"
#include "content/contenttree.h"
#include "editor/editorwindow.h"
#include "editor/pagepreview.h"
#include "editor/settingsdialog.h"
#include "platform/fake/fake_desktop.h"
#include "platform/files.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using TLeadsTo = CTQContentTree::TLeadsTo;

// The application for the whole run, ended before the program's static objects are: Qt
// cannot be shut down after them.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        m_pApplication = std::make_unique<QApplication>(m_nArgc, m_Argv);
    }
    void TearDown() override { m_pApplication.reset(); }

private:
    int m_nArgc = 1;
    char m_Name[13] = "editor_tests";
    char* m_Argv[2] = {m_Name, nullptr};
    std::unique_ptr<QApplication> m_pApplication;
};
[[maybe_unused]] ::testing::Environment* const g_pQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class Editor : public ::testing::Test {
public:
    void SetUp() override
    {
        fake::ResetPrograms();
        fake::AddProgram(L"sh", fake::ProgramScript{});
        ::setenv("XDG_DATA_HOME", (m_folder.Root / "home").c_str(), 1);
        for (const char* sound : {"Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav"}) m_folder.Write("content/" + std::string(sound), "RIFF");
        m_folder.Write("content/WebBrowser.lnk", "[Desktop Entry]\nType=Application\nName=Sh\nExec=sh -c true\n");
        for (int n = 1; n <= 2; ++n) {
            const std::string stem = "content/UserData/L00001/B0000" + std::to_string(n);
            SavePicture(stem + " Bild.jpg", 400, 300);
            m_folder.Write(stem + ".wav", "RIFF sound");
            m_folder.Write(stem + " Bild.txt", "Bild " + std::to_string(n));
        }
        m_folder.Write("sound.wav", "RIFF new sound");
        SavePicture("large.png", 2000, 1500);
        m_window = std::make_unique<COrlidoEditWindow>(m_folder.Path("content"), m_folder.Path("config/Setup.txt"));
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }
    void TearDown() override { m_window.reset(); }

    void SavePicture(const std::string& relative, int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const std::wstring path = m_folder.Write(relative, "");
        ASSERT_TRUE(image.save(QString::fromStdWString(path)));
    }
    QString File(const std::string& relative) const { return QString::fromStdWString(m_folder.Path(relative)); }

    std::string Captions(const std::wstring& page)
    {
        std::string captions;
        for (const auto& picture : CTQContentTree::ReadPage(page).Pictures)
            captions += (captions.empty() ? "" : "|") + platform::ToUtf8(picture.Caption);
        return captions;
    }
    std::wstring FirstPage() const { return m_folder.Path("content/UserData/L00001"); }

    int Problems(std::string& report)
    {
        COrlidoCheck check(m_folder.Path("content") + L"/", m_folder.Path("config/Setup.txt"), false);
        std::FILE* out = std::tmpfile();
        check.Run(out);
        std::rewind(out);
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) report.append(chunk, n);
        std::fclose(out);
        return check.GetProblemCount();
    }

    QPushButton* Button(const char* english)
    {
        for (QPushButton* button : m_window->findChildren<QPushButton*>()) {
            if (button->text().remove(QLatin1Char('&')) == QString::fromUtf8(english)) return button;
        }
        return nullptr;
    }

    TempFolder m_folder;
    std::unique_ptr<COrlidoEditWindow> m_window;
};

TEST_F(Editor, ACarersSessionByKeyboardAndMouse)
{
    COrlidoPagePreview* preview = m_window->GetPreview();
    ASSERT_EQ(m_window->GetTree()->topLevelItemCount(), 1);

    // Add a large picture with a caption and a sound: stored at a size that suits a screen.
    ASSERT_TRUE(m_window->AddPicture(File("large.png"), QStringLiteral("Leka"), File("sound.wav")));
    EXPECT_EQ(Captions(FirstPage()), "Bild 1|Bild 2|Leka");
    const CTQContentTree::TPicture added = CTQContentTree::ReadPage(FirstPage()).Pictures.at(2);
    const QImage stored(File("content/UserData/L00001/" + platform::ToUtf8(added.PictureName)));
    EXPECT_EQ(stored.size(), QSize(COrlidoEditWindow::StoredWidth, COrlidoEditWindow::StoredHeight));
    EXPECT_EQ(added.SoundName, L"B00003.wav");
    EXPECT_EQ(preview->GetSelected(), 3);

    // Type a caption past the limit: the count says so, and the board's bytes are written.
    QLineEdit* caption = m_window->GetCaptionEdit();
    caption->setFocus();
    caption->selectAll();
    QTest::keyClicks(caption, QString(60, QChar(0xE5)));  // "å", two bytes each
    EXPECT_TRUE(m_window->GetCaptionBytes()->text().startsWith(QStringLiteral("100 / 100")));
    EXPECT_TRUE(m_window->GetCaptionBytes()->text().contains(QStringLiteral("not shown")));
    QTest::keyClick(caption, Qt::Key_Return);
    EXPECT_EQ(CTQContentTree::ReadPage(FirstPage()).Pictures.at(2).Caption, std::wstring(50, L'å'));

    // Picture 3 leads to a new page; the editor walks into it, and its first picture makes it.
    auto* leadsTo = m_window->findChild<QComboBox*>();
    leadsTo->setCurrentIndex(leadsTo->findData(static_cast<int>(TLeadsTo::SubPage)));
    QTest::mouseClick(Button("Set what it leads to"), Qt::LeftButton);
    EXPECT_EQ(m_window->GetPage(), m_folder.Path("content/UserData/L00001/L00003"));
    ASSERT_TRUE(m_window->AddPicture(File("large.png"), QStringLiteral("Boll"), File("sound.wav")));
    EXPECT_EQ(Captions(m_window->GetPage()), "Boll");
    EXPECT_EQ(m_window->GetTree()->topLevelItem(0)->childCount(), 1);

    // Back up, then move picture 3 to the front with the keyboard alone.
    QTest::keyClick(m_window.get(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(m_window->GetPage(), FirstPage());
    preview->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(preview, Qt::Key_Right);
    EXPECT_EQ(preview->GetSelected(), 3);
    QTest::keyClick(preview, Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(preview, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(Captions(FirstPage()).substr(0, 14), platform::ToUtf8(std::wstring(7, L'å')));
    EXPECT_EQ(CTQContentTree::ReadPage(FirstPage()).Pictures.at(0).LeadsTo, TLeadsTo::SubPage);

    // Delete it (its sub-page goes with it), then undo.
    QTest::keyClick(preview, Qt::Key_Delete);
    EXPECT_EQ(Captions(FirstPage()), "Bild 1|Bild 2");
    QTest::keyClick(preview, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(CTQContentTree::ReadPage(FirstPage()).Pictures.size(), 3u);
    EXPECT_EQ(Captions(m_folder.Path("content/UserData/L00001/L00001")), "Boll");

    std::string report;
    EXPECT_EQ(Problems(report), 0) << report;
}

TEST_F(Editor, SettingsAreWrittenAsTheBoardReadsThem)
{
    COrlidoSettingsDialog dialog(m_folder.Path("config/Setup.txt"), m_window.get());
    dialog.GetModeBox()->setCurrentIndex(1);
    dialog.GetScanPeriodBox()->setValue(2500);
    ASSERT_TRUE(dialog.Save());
    const TStartupSettings read = ReadStartupSettings(m_folder.Path("config/Setup.txt"));
    EXPECT_EQ(read.Mode, L"Scan");
    EXPECT_EQ(read.ScanPeriod, 2500);
    std::string report;
    EXPECT_EQ(Problems(report), 0) << report;
}

TEST_F(Editor, AChangeOutsideIsShownAndNothingIsOverwritten)
{
    m_window->GetPreview()->SetSelected(1);
    m_folder.Write("content/UserData/L00001/B00001 Bild.txt", "Ändrad");
    QTest::qWait(1200);
    EXPECT_TRUE(m_window->GetOutsideBanner()->isVisible());
    EXPECT_FALSE(m_window->SetCaption(QStringLiteral("Min")));
    EXPECT_EQ(m_folder.Read("content/UserData/L00001/B00001 Bild.txt"), "Ändrad");
    QTest::keyClick(m_window.get(), Qt::Key_F5);
    EXPECT_FALSE(m_window->GetOutsideBanner()->isVisible());
    EXPECT_TRUE(m_window->SetCaption(QStringLiteral("Min")));
}

} // namespace
