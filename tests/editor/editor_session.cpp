#include "tests/editor/editor_session.h"

#include "editor/editorwindow.h"
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
