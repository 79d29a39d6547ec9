#include "application/orlido.h"

#include "application/mainfrm.h"
#include "application/orlidocalibrate.h"
#include "application/orlidocheck.h"
#include "application/orlidocontent.h"
#include "application/orlidodoc.h"
#include "application/orlidoobf.h"
#include "application/orlidosnapshot.h"
#include "application/orlidoview.h"
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
    "       orlido --speak [DIR] [--voice NAME | --speak-command 'CMD']\n"
    "       orlido --import FILE DIR [--replace] [--keep-programs]\n"
    "       orlido --export [DIR] FILE.obz\n"
    "       orlido --calibrate\n"
    "       orlido [--content DIR] --snapshot OUT.png [--page PAGE] [--size WxH]\n"
    "  --content DIR  take UserData and the common sounds (Tillbaka.wav, Nej.wav, Ja.wav,\n"
    "                 JagValde.wav, WebBrowser.lnk) from DIR instead of the program's folder;\n"
    "                 the environment variable ORLIDO_CONTENT does the same.\n"
    "  --check [DIR]  check the content (of DIR, or the one the board would use) and the\n"
    "                 settings without starting the board; exit code 0 when all is well.\n"
    "  --speak [DIR]  give every picture without a sound (of DIR, or of the content the board\n"
    "                 would use) a spoken one, from its caption or the words of its file\n"
    "                 name, and make the missing common sounds; existing sounds are never\n"
    "                 touched. Exit code 0 when every missing sound was made.\n"
    "  --voice NAME   the espeak-ng voice or language to speak with (default: sv).\n"
    "  --speak-command 'CMD'  speak with this command instead: it gets the text on its\n"
    "                 standard input and writes a WAV file to the path given as its last\n"
    "                 argument; it is started without a shell.\n"
    "  --import FILE DIR  make the content folder DIR from an Open Board Format board (.obf)\n"
    "                 or package (.obz); --replace puts it in the place of a DIR that holds\n"
    "                 something. The package's shortcuts to programs are left out (and\n"
    "                 listed) unless --keep-programs is given. Exit code 0 when done, 1\n"
    "                 when sounds are missing, 2 when nothing was written.\n"
    "  --export [DIR] FILE.obz  write the content (of DIR, or the one the board would use)\n"
    "                 as an Open Board Format package.\n"
    "  --calibrate    measure how fast the choose switch (Enter) is pressed when a moving\n"
    "                 highlight reaches a target, ten times, and print the reaction times\n"
    "                 with a suggested #SCANPERIOD and #SWITCH_REPEAT_IGNORE_TIME for\n"
    "                 Setup.txt; Escape or closing the window ends it at any time.\n"
    "  --snapshot OUT.png  draw one page as the board shows it into a PNG file, without\n"
    "                 showing the board: PAGE is its folder under UserData (L00001/L00003;\n"
    "                 the start page by default), WxH the size (the screen's by default).\n"
    "                 Exit code 0 when the file is written.\n"
    "Setup.txt is read from the working directory, else from ~/.config/orlido/.\n"
    "Without --content, the content is looked for beside the program, then in\n"
    "~/.local/share/orlido/ and /usr/share/orlido/.\n";

// An option with a value, "--name VALUE" or "--name=VALUE". True when arguments[i] is that
// option (i then stands on its last word); error is set when its value is missing.
bool TakeOptionValue(const std::vector<std::string>& arguments, std::size_t& i,
                     const std::string& name, std::string& value, std::string& error)
{
    const std::string& argument = arguments[i];
    if (argument.rfind(name + "=", 0) == 0) {
        value = argument.substr(name.size() + 1);
    } else if (argument == name) {
        value = i + 1 < arguments.size() ? arguments[++i] : std::string();
    } else {
        return false;
    }
    if (value.empty())
        error = "orlido: " + name + " needs a value";
    return true;
}

}  // namespace

COrlidoApp::COrlidoApp() = default;

COrlidoApp::~COrlidoApp()
{
    ExitInstance();
}

bool COrlidoApp::ParseCommandLine(const std::vector<std::string>& arguments,
                                  const char* environmentValue, std::wstring& contentFolder,
                                  bool& helpAsked, std::string& error)
{
    bool checkAsked = false;
    return ParseCommandLine(arguments, environmentValue, contentFolder, helpAsked, checkAsked,
                            error);
}

bool COrlidoApp::ParseCommandLine(const std::vector<std::string>& arguments,
                                  const char* environmentValue, std::wstring& contentFolder,
                                  bool& helpAsked, bool& checkAsked, std::string& error)
{
    COrlidoSpeak::TOptions speak;
    return ParseCommandLine(arguments, environmentValue, contentFolder, helpAsked, checkAsked,
                            speak, error);
}

bool COrlidoApp::ParseCommandLine(const std::vector<std::string>& arguments,
                                  const char* environmentValue, std::wstring& contentFolder,
                                  bool& helpAsked, bool& checkAsked, COrlidoSpeak::TOptions& speak,
                                  std::string& error)
{
    contentFolder.clear();
    helpAsked = false;
    checkAsked = false;
    speak = {};
    if (environmentValue && *environmentValue)
        contentFolder = platform::FromUtf8(environmentValue);
    const std::string prefix = "--content=";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            helpAsked = true;
        } else if (argument == "--check") {
            checkAsked = true;
            if (i + 1 < arguments.size() && !arguments[i + 1].empty() &&
                arguments[i + 1].front() != '-')
                contentFolder = platform::FromUtf8(arguments[++i]);
        } else if (argument == "--speak") {
            speak.Asked = true;
            if (i + 1 < arguments.size() && !arguments[i + 1].empty() &&
                arguments[i + 1].front() != '-')
                contentFolder = platform::FromUtf8(arguments[++i]);
        } else if (TakeOptionValue(arguments, i, "--voice", speak.Voice, error) ||
                   TakeOptionValue(arguments, i, "--speak-command", speak.Command, error)) {
            if (!error.empty())
                return false;
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
    if ((!speak.Voice.empty() || !speak.Command.empty()) && !speak.Asked) {
        error = "orlido: --voice and --speak-command go with --speak";
        return false;
    }
    if (!speak.Voice.empty() && !speak.Command.empty()) {
        error = "orlido: give --voice or --speak-command, not both";
        return false;
    }
    if (speak.Asked && checkAsked) {
        error = "orlido: give --check or --speak, not both";
        return false;
    }
    return true;
}

bool COrlidoApp::InitInstance(const std::vector<std::string>& arguments)
{
    if (COrlidoSnapshot::Handles(arguments)) {
        // Draws into a window that is never shown and ends; no board is started.
        m_nInitExitCode = COrlidoSnapshot::Run(arguments, stderr);
        return false;
    }
    if (COrlidoObfCommand::Handles(arguments)) {
        // Like the checker, these need no display.
        m_nInitExitCode = COrlidoObfCommand::Run(arguments, stdout, stderr);
        return false;
    }
    std::wstring contentFolder;
    bool helpAsked = false;
    bool checkAsked = false;
    COrlidoSpeak::TOptions speak;
    std::string error;
    if (!ParseCommandLine(arguments, std::getenv(ContentVariable), contentFolder, helpAsked,
                          checkAsked, speak, error)) {
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
    if (speak.Asked) {
        // Needs no display either: speech is made into files, nothing is played.
        COrlidoSpeak speaker(FindContentFolder(contentFolder), speak, IsSwedishLocale());
        m_nInitExitCode = speaker.Run(stdout, stderr);
        return false;
    }
    if (!contentFolder.empty() && !platform::IsFolder(contentFolder))
        std::fprintf(stderr, "orlido: the content folder '%s' does not exist\n",
                     platform::ToUtf8(contentFolder).c_str());

    // The font configuration, a slow start that needs no window, is read beside the window's
    // set-up. The game controller waits until the first frame is on the screen.
    platform::StartDefaultFontFaceLookup();
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
    if (arguments.size() == 1 && arguments.front() == "--calibrate") {
        // A window of its own; nothing of the board is made.
        COrlidoCalibrate calibrate(stdout);
        return calibrate.Run();
    }
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
    m_pDocument.reset();
    m_pMainFrame.reset();
}
