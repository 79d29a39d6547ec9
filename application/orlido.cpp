#include "application/orlido.h"

#include "application/mainfrm.h"
#include "application/orlidocheck.h"
#include "application/orlidocontent.h"
#include "application/orlidodoc.h"
#include "application/orlidoview.h"
#include "windowslibraries/tqdirectinput/tqdirectinput.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/window.h"
#include "superlibraries/tqstandard/tqlanguage.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* kUsage =
    "usage: orlido [--content DIR]\n"
    "       orlido --check [DIR]\n"
    "  --content DIR  take UserData and the common sounds (Tillbaka.wav, Nej.wav, Ja.wav,\n"
    "                 JagValde.wav, WebBrowser.lnk) from DIR instead of the program's folder;\n"
    "                 the environment variable ORLIDO_CONTENT does the same.\n"
    "  --check [DIR]  check the content (of DIR, or the one the board would use) and the\n"
    "                 settings without starting the board; exit code 0 when all is well.\n"
    "Setup.txt is read from the working directory, else from ~/.config/orlido/.\n"
    "Without --content, the content is looked for beside the program, then in\n"
    "~/.local/share/orlido/ and /usr/share/orlido/.\n";

} // namespace

COrlidoApp::COrlidoApp() = default;

COrlidoApp::~COrlidoApp()
{
    ExitInstance();
}

bool COrlidoApp::ParseCommandLine(const std::vector<std::string>& arguments, const char* environmentValue,
                                  std::wstring& contentFolder, bool& helpAsked, std::string& error)
{
    bool checkAsked = false;
    return ParseCommandLine(arguments, environmentValue, contentFolder, helpAsked, checkAsked, error);
}

bool COrlidoApp::ParseCommandLine(const std::vector<std::string>& arguments, const char* environmentValue,
                                  std::wstring& contentFolder, bool& helpAsked, bool& checkAsked, std::string& error)
{
    contentFolder.clear();
    helpAsked = false;
    checkAsked = false;
    if (environmentValue && *environmentValue)
        contentFolder = platform::FromUtf8(environmentValue);
    const std::string prefix = "--content=";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            helpAsked = true;
        } else if (argument == "--check") {
            checkAsked = true;
            if (i + 1 < arguments.size() && !arguments[i + 1].empty() && arguments[i + 1].front() != '-')
                contentFolder = platform::FromUtf8(arguments[++i]);
        } else if (argument == "--content") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                error = "orlido: --content needs a folder";
                return false;
            }
            contentFolder = platform::FromUtf8(arguments[++i]);
        } else if (argument.rfind(prefix, 0) == 0 && argument.size() > prefix.size()) {
            contentFolder = platform::FromUtf8(argument.substr(prefix.size()));
        } else {
            error = "orlido: unknown argument '" + argument + "'";
            return false;
        }
    }
    return true;
}

bool COrlidoApp::InitInstance(const std::vector<std::string>& arguments)
{
    std::wstring contentFolder;
    bool helpAsked = false;
    bool checkAsked = false;
    std::string error;
    if (!ParseCommandLine(arguments, std::getenv(ContentVariable), contentFolder, helpAsked, checkAsked, error)) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), kUsage);
        m_nInitExitCode = 2;
        return false;
    }
    if (helpAsked) {
        std::fputs(kUsage, stdout);
        m_nInitExitCode = 0;
        return false;
    }
    if (checkAsked) {
        // Before any window: the checker needs no display.
        COrlidoCheck check(FindContentFolder(contentFolder), FindSetupFile(), IsSwedishLocale());
        m_nInitExitCode = check.Run(stdout);
        return false;
    }
    if (!contentFolder.empty() && !platform::IsFolder(contentFolder))
        std::fprintf(stderr, "orlido: the content folder '%s' does not exist\n",
                     platform::ToUtf8(contentFolder).c_str());

    // The two slow starts that need no window run beside the window's set-up: the font
    // configuration and the game-controller subsystem.
    platform::StartDefaultFontFaceLookup();
    CTQDirectInput::StartSubsystemEarly();
    bool ok = false;
    m_pMainFrame = std::make_unique<CMainFrame>(Title, ok);
    if (!ok) {
        std::fputs("orlido: cannot open the display (is DISPLAY set?)\n", stderr);
        m_pMainFrame.reset();
        m_nInitExitCode = 1;
        return false;
    }
    // Whatever ends the board (a signal from the session, Ctrl+C in a terminal), it closes
    // as on a normal close, so the desktop is given back.
    platform::PostCloseOnSignals(m_pMainFrame->GetSafeHwnd());
    m_pDocument = std::make_unique<COrlidoDoc>();
    m_pDocument->OnNewDocument();
    m_pView = std::make_unique<COrlidoView>(m_pMainFrame->GetSafeHwnd(), contentFolder);
    m_pMainFrame->SetActiveView(m_pView.get());
    m_pMainFrame->SetOnClose([this] { OnCloseMainFrame(); });

    // The initial update has shown the window full screen and given it the focus; showing
    // it again here would take the focus a second time, possibly from a program the user
    // has brought to the front meanwhile. Only the first paint is asked for.
    m_pView->OnInitialUpdate();
    platform::InvalidateWindow(m_pMainFrame->GetSafeHwnd());
    return true;
}

int COrlidoApp::Run(const std::vector<std::string>& arguments)
{
    if (!InitInstance(arguments)) {
        ExitInstance();
        return m_nInitExitCode;
    }
    const int exitCode = platform::RunMessageLoop();
    ExitInstance();
    return exitCode;
}

void COrlidoApp::OnCloseMainFrame()
{
    if (!m_pMainFrame)
        return;
    if (m_pView)
        platform::SendMessage(m_pMainFrame->GetSafeHwnd(), WM_ORLIDO_SHUTDOWN, 0, 0);
    // The window itself goes in ExitInstance, once the loop has returned: this runs inside
    // the window's own procedure, which must not be removed while it is being called.
    platform::QuitMessageLoop(0);
}

void COrlidoApp::ExitInstance()
{
    // The view goes before the frame whose window it draws into.
    m_pView.reset();
    CTQDirectInput::ReleaseEarlyStart();
    m_pDocument.reset();
    m_pMainFrame.reset();
}
