// The editor's main paths as a carer takes them, on the offscreen platform: open content,
// add a picture with a caption (typed, its byte limit shown) and a sound, make a sub-page
// with a picture, reorder by keyboard and by dragging, delete and undo, change the settings;
// the content the checker then reads has no problem.
#include "application/orlidocheck.h"
#include "application/tqstartupsettings.h"
#include "content/contenttree.h"
#include "editor/boardsnapshot.h"
#include "editor/editorwindow.h"
#include "editor/emptyboard.h"
#include "editor/newpicturedialog.h"
#include "editor/pagepreview.h"
#include "editor/pageproblems.h"
#include "editor/picturesource.h"
#include "editor/programdialog.h"
#include "editor/recorddialog.h"
#include "editor/sounddevice.h"
#include "platform/common/shortcutfile.h"
#include "editor/settingsdialog.h"
#include "platform/fake/fake_desktop.h"
#include "platform/files.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using TLeadsTo = CTQContentTree::TLeadsTo;

// A microphone that hears what the test feeds it, and a loudspeaker that keeps what it plays.
class FakeSoundDevice : public COrlidoSoundDevice {
public:
    explicit FakeSoundDevice(bool microphone) : m_bMicrophone(microphone) { }

    bool HasMicrophone() const override { return m_bMicrophone; }
    bool StartRecording() override
    {
        m_bRecording = m_bMicrophone;
        return m_bRecording;
    }
    std::vector<std::int16_t> TakeRecorded() override { return std::exchange(m_Heard, {}); }
    void StopRecording() override { m_bRecording = false; }
    bool Play(const std::vector<std::int16_t>& samples) override
    {
        m_Played = samples;
        return true;
    }
    void StopPlaying() override { }

    // What the microphone hears next; only while it records.
    void Hear(const std::vector<std::int16_t>& samples)
    {
        if (m_bRecording)
            m_Heard.insert(m_Heard.end(), samples.begin(), samples.end());
    }
    const std::vector<std::int16_t>& Played() const { return m_Played; }

private:
    bool m_bMicrophone;
    bool m_bRecording = false;
    std::vector<std::int16_t> m_Heard;
    std::vector<std::int16_t> m_Played;
};

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
    char* m_Argv[2] = { m_Name, nullptr };
    std::unique_ptr<QApplication> m_pApplication;
};
[[maybe_unused]] ::testing::Environment* const g_pQt =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class Editor : public ::testing::Test {
public:
    void SetUp() override
    {
        fake::ResetPrograms();
        fake::AddProgram(L"sh", fake::ProgramScript{});
        ::setenv("XDG_DATA_HOME", (m_folder.Root / "home").c_str(), 1);
        for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav" })
            m_folder.Write("content/" + std::string(sound), "RIFF");
        m_folder.Write("content/WebBrowser.lnk",
                       "[Desktop Entry]\nType=Application\nName=Sh\nExec=sh -c true\n");
        for (int n = 1; n <= 2; ++n) {
            const std::string stem = "content/UserData/L00001/B0000" + std::to_string(n);
            SavePicture(stem + " Bild.jpg", 400, 300);
            m_folder.Write(stem + ".wav", "RIFF sound");
            m_folder.Write(stem + " Bild.txt", "Bild " + std::to_string(n));
        }
        m_folder.Write("sound.wav", "RIFF new sound");
        SavePicture("large.png", 2000, 1500);
        m_window = std::make_unique<COrlidoEditWindow>(m_folder.Path("content"),
                                                       m_folder.Path("config/Setup.txt"));
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }
    void TearDown() override
    {
        m_window.reset();
        ::unsetenv("XDG_DATA_DIRS");
    }

    void SavePicture(const std::string& relative, int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const std::wstring path = m_folder.Write(relative, "");
        ASSERT_TRUE(image.save(QString::fromStdWString(path)));
    }
    QString File(const std::string& relative) const
    {
        return QString::fromStdWString(m_folder.Path(relative));
    }

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
        COrlidoCheck check(m_folder.Path("content") + L"/", m_folder.Path("config/Setup.txt"),
                           false);
        std::FILE* out = std::tmpfile();
        check.Run(out);
        std::rewind(out);
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;)
            report.append(chunk, n);
        std::fclose(out);
        return check.GetProblemCount();
    }

    QPushButton* Button(const char* english)
    {
        for (QPushButton* button : m_window->findChildren<QPushButton*>()) {
            if (button->text().remove(QLatin1Char('&')) == QString::fromUtf8(english))
                return button;
        }
        return nullptr;
    }

    // Answers the next new-picture dialog as a carer does once it opens: fill chooses the
    // caption and the sound, then Add is pressed (Cancel when Add cannot be pressed).
    void AnswerNewPicture(std::function<void(COrlidoNewPictureDialog*)> fill)
    {
        auto* timer = new QTimer(m_window.get());
        QObject::connect(timer, &QTimer::timeout, [timer, fill] {
            auto* dialog =
                qobject_cast<COrlidoNewPictureDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            timer->stop();
            timer->deleteLater();
            fill(dialog);
            QPushButton* add = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            if (add->isEnabled())
                QTest::mouseClick(add, Qt::LeftButton);
            else
                dialog->reject();
        });
        timer->start(10);
    }
    std::size_t PictureCount() { return CTQContentTree::ReadPage(FirstPage()).Pictures.size(); }
    bool WaitForPictures(std::size_t count)
    {
        return QTest::qWaitFor([&] { return PictureCount() == count; }, 10000);
    }

    TempFolder m_folder;
    std::unique_ptr<COrlidoEditWindow> m_window;
};

TEST_F(Editor, WhatADropOrPasteHoldsIsReadInOrder)
{
    m_folder.Write("notes.txt", "no picture");
    QImage red(20, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    using TKind = COrlidoPictureSource::TKind;
    const QUrl picture = QUrl::fromLocalFile(File("large.png"));
    const QUrl text = QUrl::fromLocalFile(File("notes.txt"));
    const QUrl web(QStringLiteral("https://example.org/katt.png"));
    struct {
        const char* name;
        QList<QUrl> urls;
        bool image;
        TKind kind;
        QString caption;
    } const cases[] = {
        { "image data before an address", { web }, true, TKind::Image, {} },
        { "a local file", { picture }, false, TKind::File, QStringLiteral("large") },
        { "a file that is no picture", { text }, false, TKind::None, {} },
        { "a picture after one that is none",
          { text, picture },
          false,
          TKind::File,
          QStringLiteral("large") },
        { "a local file before an address",
          { web, picture },
          false,
          TKind::File,
          QStringLiteral("large") },
        { "only an address", { web }, false, TKind::WebAddress, {} },
        { "nothing usable",
          { QUrl(QStringLiteral("ftp://example.org/a.png")) },
          false,
          TKind::None,
          {} },
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        QMimeData data;
        data.setUrls(test.urls);
        if (test.image)
            data.setImageData(red);
        const COrlidoPictureSource source = COrlidoPictureSource::FromMimeData(&data);
        EXPECT_EQ(source.GetKind(), test.kind);
        EXPECT_EQ(source.GetSuggestedCaption(), test.caption);
        EXPECT_EQ(source.GetImage().isNull(),
                  test.kind == TKind::None || test.kind == TKind::WebAddress);
    }
}

TEST_F(Editor, APictureDroppedFromTheFileManagerOrPastedIsAdded)
{
    // The file manager's drag: a local file's address.
    QMimeData dragged;
    dragged.setUrls({ QUrl::fromLocalFile(File("large.png")) });
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    AnswerNewPicture([this](COrlidoNewPictureDialog* dialog) {
        EXPECT_EQ(dialog->GetCaption(), QStringLiteral("large"));
        dialog->SetCaption(QStringLiteral("Katt"));
        dialog->SetSoundFile(File("sound.wav"));
    });
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window.get(), &drop);
    ASSERT_TRUE(WaitForPictures(3));
    const CTQContentTree::TPicture dropped = CTQContentTree::ReadPage(FirstPage()).Pictures.at(2);
    EXPECT_EQ(dropped.Caption, L"Katt");
    EXPECT_EQ(dropped.SoundName, L"B00003.wav");
    EXPECT_EQ(
        QImage(File("content/UserData/L00001/" + platform::ToUtf8(dropped.PictureName))).size(),
        QSize(COrlidoEditWindow::StoredWidth, COrlidoEditWindow::StoredHeight));

    // A copied picture (opaque, though its format has an alpha channel), pasted with Ctrl+V
    // where no text field has the focus; its sound spoken from the caption when speech is there.
    QImage copied(300, 200, QImage::Format_ARGB32);
    copied.fill(Qt::blue);
    QGuiApplication::clipboard()->setImage(copied);
    const bool speaks = m_window->CanSpeak();
    AnswerNewPicture([&](COrlidoNewPictureDialog* dialog) {
        EXPECT_TRUE(dialog->GetCaption().isEmpty());
        EXPECT_EQ(dialog->GetSound(),
                  speaks ? COrlidoNewPictureDialog::TSound::Spoken
                         : COrlidoNewPictureDialog::TSound::File);
        EXPECT_FALSE(dialog->CanAccept()) << "nothing to speak, or no file chosen yet";
        dialog->SetCaption(QStringLiteral("Hund"));
        if (!speaks)
            dialog->SetNoSound();
    });
    QApplication::setActiveWindow(
        m_window.get());  // as the window manager does when the dialog closes
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    m_window->GetPreview()->setFocus();
    QTest::keyClick(m_window->GetPreview(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(WaitForPictures(4));
    const CTQContentTree::TPicture pasted = CTQContentTree::ReadPage(FirstPage()).Pictures.at(3);
    EXPECT_EQ(pasted.Caption, L"Hund");
    EXPECT_TRUE(pasted.PictureName.ends_with(L".jpg")) << platform::ToUtf8(pasted.PictureName);
    if (speaks) {
        EXPECT_EQ(pasted.SoundName, L"B00004.wav");
        const std::string spoken = m_folder.Read("content/UserData/L00001/B00004.wav");
        EXPECT_EQ(spoken.substr(0, 4), "RIFF");
        EXPECT_GT(spoken.size(), 1000u);
    }
    std::string report;
    EXPECT_EQ(Problems(report), speaks ? 0 : 1) << report;
}

// A browser's drag of a web address: the picture is fetched (here from a server in the test)
// or, when it cannot be, the carer is told so and nothing is added.
TEST_F(Editor, APictureFromTheWebIsFetchedOrSaidToBeOutOfReach)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(64, 48, QImage::Format_RGB32).save(&buffer, "PNG");
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, png] {
            if (!socket->readAll().contains("\r\n\r\n"))
                return;
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: "
                          "close\r\nContent-Length: " +
                          QByteArray::number(png.size()) + "\r\n\r\n" + png);
            socket->disconnectFromHost();
        });
    });
    const QString here = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());

    AnswerNewPicture([](COrlidoNewPictureDialog* dialog) {
        EXPECT_EQ(dialog->GetCaption(), QStringLiteral("boll"));
        dialog->SetNoSound();
    });
    QMimeData reachable;
    reachable.setUrls({ QUrl(here + QStringLiteral("boll.png")) });
    ASSERT_TRUE(m_window->TakePicture(&reachable));
    ASSERT_TRUE(WaitForPictures(3));

    server.close();  // nothing answers there any more, as without a network
    QMimeData unreachable;
    unreachable.setUrls({ QUrl(here + QStringLiteral("katt.png")) });
    ASSERT_TRUE(m_window->TakePicture(&unreachable));
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return m_window->findChild<QMessageBox*>() != nullptr; }, 10000));
    EXPECT_TRUE(
        m_window->findChild<QMessageBox*>()->text().contains(QStringLiteral("Nothing was added")));
    EXPECT_EQ(PictureCount(), 3u);
}

TEST_F(Editor, ACarersSessionByKeyboardAndMouse)
{
    COrlidoPagePreview* preview = m_window->GetPreview();
    ASSERT_EQ(m_window->GetTree()->topLevelItemCount(), 1);

    // Add a large picture with a caption and a sound: stored at a size that suits a screen.
    ASSERT_TRUE(m_window->AddPicture(File("large.png"), QStringLiteral("Leka"), File("sound.wav")));
    EXPECT_EQ(Captions(FirstPage()), "Bild 1|Bild 2|Leka");
    const CTQContentTree::TPicture added = CTQContentTree::ReadPage(FirstPage()).Pictures.at(2);
    const QImage stored(File("content/UserData/L00001/" + platform::ToUtf8(added.PictureName)));
    EXPECT_EQ(stored.size(),
              QSize(COrlidoEditWindow::StoredWidth, COrlidoEditWindow::StoredHeight));
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

    // Picture 3 leads to a new page; the editor walks into it, and the tree shows it at once.
    auto* leadsTo = m_window->findChild<QComboBox*>();
    leadsTo->setCurrentIndex(leadsTo->findData(static_cast<int>(TLeadsTo::SubPage)));
    QTest::mouseClick(Button("Set what it leads to"), Qt::LeftButton);
    EXPECT_EQ(m_window->GetPage(), m_folder.Path("content/UserData/L00001/L00003"));
    ASSERT_EQ(m_window->GetTree()->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(m_window->GetTree()->currentItem(), m_window->GetTree()->topLevelItem(0)->child(0));
    ASSERT_TRUE(m_window->AddPicture(File("large.png"), QStringLiteral("Boll"), File("sound.wav")));
    EXPECT_EQ(Captions(m_window->GetPage()), "Boll");
    EXPECT_EQ(m_window->GetTree()->topLevelItem(0)->childCount(), 1);

    // Back up, then move picture 3 to the front with the keyboard alone.
    QTest::keyClick(m_window.get(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(m_window->GetPage(), FirstPage());
    preview->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(preview, Qt::Key_Right);
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

// A picture dragged in the preview goes to the place it is dropped on, as one step to undo;
// a short shake of the hand, a drop beside the pictures or Escape moves nothing.
TEST_F(Editor, APictureIsDraggedToItsNewPlace)
{
    ASSERT_TRUE(
        m_window->AddPicture(File("large.png"), QStringLiteral("Bild 3"), File("sound.wav")));
    COrlidoPagePreview* preview = m_window->GetPreview();
    const auto centre = [preview](int number) { return preview->PictureRect(number).center(); };
    const QPoint besides(preview->width() - 1, preview->height() - 1);
    const auto drag = [&](int from, QPoint to, bool escape = false) {
        QTest::mousePress(preview, Qt::LeftButton, {}, centre(from));
        QTest::mouseMove(preview, (centre(from) + to) / 2);
        QTest::mouseMove(preview, to);
        if (escape)
            QTest::keyClick(preview, Qt::Key_Escape);
        QTest::mouseRelease(preview, Qt::LeftButton, {}, to);
    };
    const struct {
        const char* name;
        std::function<void()> act;
        const char* captions;
    } steps[] = {
        { "last to first", [&] { drag(3, centre(1)); }, "Bild 3|Bild 1|Bild 2" },
        { "undone in one step", [&] { QTest::keyClick(preview, Qt::Key_Z, Qt::ControlModifier); },
          "Bild 1|Bild 2|Bild 3" },
        { "first to the middle", [&] { drag(1, centre(2)); }, "Bild 2|Bild 1|Bild 3" },
        { "a shake of the hand", [&] { drag(1, centre(1) + QPoint(1, 1)); },
          "Bild 2|Bild 1|Bild 3" },
        { "dropped beside the pictures", [&] { drag(1, besides); }, "Bild 2|Bild 1|Bild 3" },
        { "let go with Escape", [&] { drag(1, centre(3), true); }, "Bild 2|Bild 1|Bild 3" },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(Captions(FirstPage()), step.captions);
    }
    // The moved picture stays chosen where it went.
    drag(2, centre(3));
    EXPECT_EQ(Captions(FirstPage()), "Bild 2|Bild 3|Bild 1");
    EXPECT_EQ(preview->GetSelected(), 3);
    std::string report;
    EXPECT_EQ(Problems(report), 0) << report;
}

// A sound recorded, listened to, recorded again and kept: the last take is the picture's
// sound, a WAV file the board plays. Without a microphone the button says so.
TEST_F(Editor, APicturesSoundIsRecordedFromTheMicrophone)
{
    auto* device = new FakeSoundDevice(true);
    m_window->SetSoundDevice(std::unique_ptr<COrlidoSoundDevice>(device));
    m_window->GetPreview()->SetSelected(1);
    ASSERT_TRUE(m_window->GetRecordButton()->isEnabled());

    const std::vector<std::int16_t> first(2205, 16000);  // a tenth of a second, loud
    std::vector<std::int16_t> second(4410);
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = static_cast<std::int16_t>(i % 2 ? -3000 : 3000);
    int level = -1;
    auto* timer = new QTimer(m_window.get());
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        auto* dialog = qobject_cast<COrlidoRecordDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        timer->stop();
        EXPECT_FALSE(dialog->GetKeepButton()->isEnabled());
        const auto take = [&](const std::vector<std::int16_t>& samples) {
            QTest::mouseClick(dialog->GetRecordButton(), Qt::LeftButton);
            device->Hear(samples);
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return dialog->GetLevelMeter()->value() > 0; }, 5000));
            level = dialog->GetLevelMeter()->value();
            QTest::mouseClick(dialog->GetStopButton(), Qt::LeftButton);
        };
        take(first);
        EXPECT_EQ(level, 48);  // 16000 of 32767
        QTest::mouseClick(dialog->GetPlayButton(), Qt::LeftButton);
        EXPECT_EQ(device->Played(), first);
        take(second);
        QTest::mouseClick(dialog->GetKeepButton(), Qt::LeftButton);
    });
    timer->start(10);
    ASSERT_TRUE(m_window->RecordSound());

    const CTQContentTree::TPicture picture = CTQContentTree::ReadPage(FirstPage()).Pictures.at(0);
    EXPECT_EQ(picture.SoundName, L"B00001.wav");
    CTQWaveSound kept;
    std::string error;
    ASSERT_TRUE(kept.Read(FirstPage() + L"/B00001.wav", error)) << error;
    EXPECT_EQ(kept.GetSampleRate(), COrlidoSoundDevice::SampleRate);
    EXPECT_EQ(kept.GetSamples(), second);

    m_window->SetSoundDevice(std::make_unique<FakeSoundDevice>(false));
    EXPECT_FALSE(m_window->GetRecordButton()->isEnabled());
    EXPECT_TRUE(m_window->GetRecordButton()->text().contains(QStringLiteral("no microphone")));
    EXPECT_FALSE(m_window->RecordSound());
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

}  // namespace

namespace {

// The programs a picture can start, from the desktop entries of a temporary data home and
// data folders; the one chosen is written as the picture's shortcut.
TEST_F(Editor, AProgramIsChosenFromTheInstalledOnes)
{
    const auto entry = [this](const std::string& path, const std::string& keys) {
        m_folder.Write(path, "[Desktop Entry]\nType=Application\n" + keys);
    };
    // The program runs in its own working folder; it is installed, so it is not looked for
    // there.
    fake::AddProgram(L"/usr/bin/sh", fake::ProgramScript{});
    const std::string workingFolder = m_folder.Root.string() + "/a";
    entry("home/applications/klocka.desktop",
          "Name=Klocka\nExec=sh -c true\nPath=" + workingFolder + "\n");
    entry("home/applications/masked.desktop", "Name=Masked\nExec=masked\nHidden=true\n");
    entry("a/applications/klocka.desktop", "Name=Shadowed by the data home\nExec=old\n");
    entry("a/applications/kde/rita.desktop",
          "Name=Rita\nExec=rita %F\n[Desktop Action New]\nName=Ny\nExec=rita --new\n");
    entry("a/applications/menuless.desktop", "Name=Menuless\nExec=menuless\nNoDisplay=true\n");
    entry("a/applications/terminal.desktop", "Name=Top\nExec=top\nTerminal=true\n");
    entry("a/applications/noexec.desktop", "Name=Nothing to run\n");
    m_folder.Write("a/applications/link.desktop",
                   "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.org\n");
    entry("b/applications/kde-rita.desktop", "Name=Shadowed by its ID\nExec=other\n");
    entry("b/applications/masked.desktop", "Name=Masked\nExec=masked\n");
    ::setenv("XDG_DATA_DIRS",
             (m_folder.Root.string() + "/a:" + m_folder.Root.string() + "/b").c_str(), 1);

    std::string listed;
    for (const auto& program : COrlidoInstalledPrograms::Read())
        listed += (program.Name + QLatin1Char('=') + program.Exec + QLatin1Char(';')).toStdString();
    EXPECT_EQ(listed, "Klocka=sh -c true;Rita=rita %F;");

    // Picture 1 starts a program: chosen by typing part of its name and Enter.
    m_window->GetPreview()->SetSelected(1);
    auto* leadsTo = m_window->findChild<QComboBox*>();
    leadsTo->setCurrentIndex(leadsTo->findData(static_cast<int>(TLeadsTo::Program)));
    auto* timer = new QTimer(m_window.get());
    QObject::connect(timer, &QTimer::timeout, [timer] {
        auto* dialog = qobject_cast<COrlidoProgramDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        timer->stop();
        EXPECT_EQ(dialog->GetList()->count(), 2);
        QTest::keyClicks(dialog->GetFilter(), QStringLiteral("klo"));
        QTest::keyClick(dialog->GetFilter(), Qt::Key_Return);
    });
    timer->start(10);
    QTest::mouseClick(Button("Set what it leads to"), Qt::LeftButton);

    EXPECT_EQ(CTQContentTree::ReadPage(FirstPage()).Pictures.at(0).LeadsTo, TLeadsTo::Program);
    const std::string shortcut = m_folder.Read("content/UserData/L00001/B00001.lnk");
    EXPECT_NE(shortcut.find("Name=Klocka\n"), std::string::npos) << shortcut;
    platform::ShortcutData read;
    ASSERT_TRUE(platform::ParseShortcut(shortcut, read));
    EXPECT_EQ(read.target, L"sh");
    EXPECT_EQ(read.workingDirectory, platform::FromUtf8(workingFolder));
    std::string report;
    EXPECT_EQ(Problems(report), 0) << report;
}

}  // namespace

namespace {

// A short sound the board's player can play: 8-bit mono silence.
std::string PlayableWave()
{
    std::string wav = "RIFF";
    const auto put = [&wav](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wav += static_cast<char>(value >> (8 * i));
    };
    constexpr std::uint32_t samples = 800;
    put(36 + samples, 4);
    wav += "WAVEfmt ";
    for (const auto& [value, bytes] : { std::pair{ 16u, 4 },
                                        { 1u, 2 },
                                        { 1u, 2 },
                                        { 8000u, 4 },
                                        { 8000u, 4 },
                                        { 1u, 2 },
                                        { 8u, 2 } })
        put(value, bytes);
    wav += "data";
    put(samples, 4);
    return wav + std::string(samples, static_cast<char>(128));
}

TEST_F(Editor, TheChecksProblemsAreSortedToTheirFolder)
{
    m_folder.Write("content/UserData/L00001/B00003 Ja: nej.jpg", "");
    const QString content = File("content");
    const QString report = QStringLiteral(
        "Content: x\n"
        "note: Setup.txt: there is none\n"
        "problem: Tillbaka.wav: cannot be played\n"
        "problem: UserData/L00001/B00003 Ja: nej.jpg: has no sound: put B00003.wav beside it\n"
        "problem: UserData/L00001/L00002: the folder is empty\n"
        "1 page, 3 problems, 1 note.\n");
    const std::map<QString, QStringList> sorted = COrlidoPageProblems::Sort(report, content);
    ASSERT_EQ(sorted.size(), 2u);
    EXPECT_EQ(sorted.at(content), QStringList{ QStringLiteral("Tillbaka.wav: cannot be played") });
    EXPECT_EQ(sorted.at(content + QStringLiteral("/UserData/L00001")).size(), 2);
}

// The board's check runs in the background; its one problem, a picture of the sub-page
// without a sound, marks that page in the tree and is shown with it, until it is mended.
TEST_F(Editor, TheChecksProblemsAreShownBesideTheirPage)
{
    for (const char* sound : { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav",
                               "UserData/L00001/B00001.wav", "UserData/L00001/B00002.wav" })
        m_folder.Write("content/" + std::string(sound), PlayableWave());
    m_folder.Write("good.wav", PlayableWave());
    SavePicture("content/UserData/L00001/L00001/B00001 Boll.jpg", 200, 150);
    m_window->SetBoardProgram(QStringLiteral(ORLIDO_BOARD_PROGRAM));
    QTest::keyClick(m_window.get(), Qt::Key_F5);  // looks again, and checks

    QTreeWidgetItem* first = m_window->GetTree()->topLevelItem(0);
    ASSERT_EQ(first->childCount(), 1);
    const auto marked = [this] {
        return !m_window->GetTree()->topLevelItem(0)->child(0)->toolTip(0).isEmpty();
    };
    ASSERT_TRUE(QTest::qWaitFor(marked, 15000));
    EXPECT_TRUE(first->child(0)->toolTip(0).contains(QStringLiteral("B00001 Boll.jpg")))
        << first->child(0)->toolTip(0).toStdString();
    EXPECT_TRUE(first->toolTip(0).isEmpty()) << first->toolTip(0).toStdString();
    EXPECT_FALSE(m_window->GetProblemText()->isVisible());

    m_window->OpenSubPage(1);
    EXPECT_TRUE(m_window->GetProblemText()->isVisible());
    EXPECT_TRUE(m_window->GetProblemText()->text().contains(QStringLiteral("B00001 Boll.jpg")));

    m_window->GetPreview()->SetSelected(1);
    ASSERT_TRUE(m_window->SetSound(File("good.wav")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !marked(); }, 15000));
    EXPECT_FALSE(m_window->GetProblemText()->isVisible());
}

}  // namespace

namespace {

// An empty board started from the editor works on the board from its first picture: the
// common sounds are there (the demo's where it has them, else spoken) and so is a shortcut to
// an installed web browser.
TEST_F(Editor, AnEmptyBoardHasTheCommonFilesEveryPageNeeds)
{
    m_folder.Write(
        "a/applications/editor.desktop",
        "[Desktop Entry]\nType=Application\nName=Editor\nExec=ed\nCategories=Utility;\n");
    m_folder.Write("a/applications/browser.desktop",
                   "[Desktop Entry]\nType=Application\nName=Browser\nExec=sh -c true "
                   "%u\nCategories=Network;WebBrowser;\n");
    ::setenv("XDG_DATA_DIRS", (m_folder.Root / "a").c_str(), 1);
    m_folder.Write("demo/Tillbaka.wav", PlayableWave());
    const QString board = File("board");
    ASSERT_TRUE(COrlidoEmptyBoard::Make(board, File("demo")));

    EXPECT_EQ(m_folder.Read("board/Tillbaka.wav"), PlayableWave()) << "the demo's own sound";
    const std::string shortcut = m_folder.Read("board/WebBrowser.lnk");
    platform::ShortcutData read;
    ASSERT_TRUE(platform::ParseShortcut(shortcut, read)) << shortcut;
    EXPECT_EQ(read.target, L"sh");
    EXPECT_TRUE(read.hasAddressField);
    if (!m_window->CanSpeak())
        GTEST_SKIP() << "no speech here for the other sounds";
    for (const char* sound : { "board/Nej.wav", "board/Ja.wav", "board/JagValde.wav" })
        EXPECT_EQ(m_folder.Read(sound).substr(0, 4), "RIFF") << sound;

    // Its first picture, with a spoken sound, leaves nothing for the checker to find.
    COrlidoEditWindow window(m_folder.Path("board"), m_folder.Path("config/Setup.txt"));
    ASSERT_TRUE(window.AddPicture(File("large.png"), QStringLiteral("Mat"), QString()));
    window.GetPreview()->SetSelected(1);
    ASSERT_TRUE(window.SpeakCaption());
    COrlidoCheck check(m_folder.Path("board") + L"/", m_folder.Path("config/Setup.txt"), false);
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(check.Run(out), 0);
    std::fclose(out);
}

}  // namespace

// The board is asked for the page folder under its content's UserData, at the size given.
TEST(BoardSnapshot, ArgumentsNameTheContentAndThePageUnderUserData)
{
    const QSize size(1366, 768);
    const QString out = QStringLiteral("/tmp/x/page.png");
    EXPECT_EQ(
        COrlidoBoardSnapshot::Arguments(QStringLiteral("/c/UserData/L00001/L00003"), out, size),
        (QStringList{ "--content", "/c", "--page", "L00001/L00003", "--size", "1366x768",
                      "--snapshot", out }));
    // The last UserData counts: a content folder may itself lie under one.
    EXPECT_EQ(
        COrlidoBoardSnapshot::Arguments(QStringLiteral("/a/UserData/b/UserData/L00001"), out, size)
            .mid(0, 4),
        (QStringList{ "--content", "/a/UserData/b", "--page", "L00001" }));
    for (const QString& folder : { QStringLiteral("/c/Pages/L00001"), QStringLiteral("L00001"),
                                   QStringLiteral("/UserData/L00001") })
        EXPECT_TRUE(COrlidoBoardSnapshot::Arguments(folder, out, size).isEmpty())
            << folder.toStdString();
    EXPECT_TRUE(COrlidoBoardSnapshot::Arguments(QStringLiteral("/c/UserData/L00001"), out, QSize())
                    .isEmpty());
}

// Without a display the board could draw on (the offscreen platform), the preview draws the
// page itself and asks the board for nothing.
TEST(BoardSnapshot, OffscreenPreviewDrawsThePageItself)
{
    COrlidoBoardSnapshot snapshot;
    snapshot.SetProgram(QStringLiteral(ORLIDO_BOARD_PROGRAM));
    EXPECT_FALSE(snapshot.IsAvailable());
}
