#include "tests/editor/editor_session.h"

#include "editor/editorwindow.h"
#include "editor/pagepreview.h"
#include "platform/files.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QTest>

struct EditorSession::Qt {
    int argc = 1;
    char name[13] = "editor_tests";
    char* argv[2] = { name, nullptr };
    QApplication application{ argc, argv };
    std::unique_ptr<COrlidoEditWindow> window;
};

EditorSession::EditorSession() : m_qt(std::make_unique<Qt>())
{
}

EditorSession::~EditorSession()
{
    m_qt->window.reset();
}

long long EditorSession::MakePageAndTryIt(const std::string& content, const std::string& setupFile,
                                          const std::string& board, unsigned colour,
                                          const std::string& soundFile, std::string& failure)
{
    m_qt->window = std::make_unique<COrlidoEditWindow>(platform::FromUtf8(content),
                                                       platform::FromUtf8(setupFile));
    COrlidoEditWindow& window = *m_qt->window;
    window.SetBoardProgram(QString::fromStdString(board));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        failure = "the editor's window was not shown";
        return 0;
    }
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(QColor::fromRgb(colour));
    if (!window.AddPicture(picture, QStringLiteral("Sol"), QString::fromStdString(soundFile))) {
        failure = "the picture was not added";
        return 0;
    }
    // The action behind F9: the virtual server has no window manager to give the editor the
    // keyboard focus a carer's click would.
    QAction* tryIt = nullptr;
    for (QAction* action : window.findChildren<QAction*>())
        if (action->shortcut() == QKeySequence(::Qt::Key_F9))
            tryIt = action;
    if (tryIt == nullptr) {
        failure = "no action has F9";
        return 0;
    }
    tryIt->trigger();
    if (!QTest::qWaitFor([&] { return window.GetBoardPid() != 0; }, 5000))
        failure = "F9 started no board";
    return window.GetBoardPid();
}

unsigned EditorSession::PreviewFromTheBoard(const std::string& content,
                                            const std::string& setupFile, const std::string& board,
                                            unsigned colour, std::string& failure)
{
    constexpr unsigned kFailed = 0xFFFFFFFF;
    m_qt->window = std::make_unique<COrlidoEditWindow>(platform::FromUtf8(content),
                                                       platform::FromUtf8(setupFile));
    COrlidoEditWindow& window = *m_qt->window;
    window.SetBoardProgram(QString::fromStdString(board));
    window.show();
    auto* preview = window.findChild<COrlidoPagePreview*>();
    if (preview == nullptr || !QTest::qWaitForWindowExposed(&window)) {
        failure = "the editor's window was not shown";
        return kFailed;
    }
    if (!QTest::qWaitFor([&] { return preview->ShowsBoardSnapshot(); }, 10000)) {
        failure = "the preview never showed the board's picture of the first page";
        return kFailed;
    }
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(QColor::fromRgb(colour));
    if (!window.AddPicture(picture, QStringLiteral("Sol"), QString())) {
        failure = "the picture was not added";
        return kFailed;
    }
    // The change drops the old picture at once; the board's new one follows.
    if (preview->ShowsBoardSnapshot()) {
        failure = "the preview kept the board's picture of the page before the change";
        return kFailed;
    }
    if (!QTest::qWaitFor([&] { return preview->ShowsBoardSnapshot(); }, 10000)) {
        failure = "the preview never showed the board's picture of the changed page";
        return kFailed;
    }
    const int last = preview->GetSelected() > 0 ? preview->GetSelected() : 1;
    preview->SetSelected(0);  // the frame drawn over the picture is not the board's
    const QRect cell = preview->PictureRect(last);
    const QImage shown = preview->grab().toImage();
    // Off the centre, where the caption is written.
    return shown.pixel(cell.left() + cell.width() / 4, cell.top() + cell.height() / 4) & 0xFFFFFF;
}
