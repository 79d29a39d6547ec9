// The application object: reads the command line, makes the main frame, the document and
// the view, runs the message loop, and shuts the view down before the frame closes.
#pragma once

#include "application/orlidospeak.h"

#include <memory>
#include <string>
#include <vector>

class CMainFrame;
class COrlidoDoc;
class COrlidoView;

class COrlidoApp {
public:
    static constexpr const wchar_t* AppId = L"Orlido.AppID.NoVersion";
    static constexpr const wchar_t* RegistryKey = L"Tesmo Software (Nordlab)";
    static constexpr const wchar_t* Title = L"Orlido";
    // Names the folder that holds UserData and the common sounds, in place of the
    // executable's folder; the command-line option --content overrides it.
    static constexpr const char* ContentVariable = "ORLIDO_CONTENT";

    COrlidoApp();
    ~COrlidoApp();
    COrlidoApp(const COrlidoApp&) = delete;
    COrlidoApp& operator=(const COrlidoApp&) = delete;

    // Reads the arguments (without the program name), makes the frame, document and view,
    // runs the view's initial update and shows the window. False when the program must
    // end: a bad command line (usage on stderr), --help, --check or --speak (which need no
    // window), or no display.
    bool InitInstance(const std::vector<std::string>& arguments);
    // InitInstance, the message loop, ExitInstance; the process exit code.
    int Run(const std::vector<std::string>& arguments);
    void ExitInstance();

    // The frame's close request: the view shuts down first, then the message loop ends
    // with exit code 0 and the window goes.
    void OnCloseMainFrame();

    CMainFrame* GetMainFrame() const { return m_pMainFrame.get(); }
    COrlidoView* GetView() const { return m_pView.get(); }
    int GetInitExitCode() const { return m_nInitExitCode; }

    // The content folder named by the arguments or the environment; empty for the
    // executable's folder. False (with a message in error) for a bad command line.
    static bool ParseCommandLine(const std::vector<std::string>& arguments,
                                 const char* environmentValue, std::wstring& contentFolder,
                                 bool& helpAsked, std::string& error);
    // The same, and whether the content checker is asked for (--check [FOLDER]; its folder
    // is the content folder).
    static bool ParseCommandLine(const std::vector<std::string>& arguments,
                                 const char* environmentValue, std::wstring& contentFolder,
                                 bool& helpAsked, bool& checkAsked, std::string& error);
    // The same, and what "--speak [FOLDER]" with "--voice NAME" or "--speak-command CMD"
    // asks for (its folder is the content folder).
    static bool ParseCommandLine(const std::vector<std::string>& arguments,
                                 const char* environmentValue, std::wstring& contentFolder,
                                 bool& helpAsked, bool& checkAsked, COrlidoSpeak::TOptions& speak,
                                 std::string& error);

private:
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<COrlidoDoc> m_pDocument;
    std::unique_ptr<COrlidoView> m_pView;
    int m_nInitExitCode = 0;
};
