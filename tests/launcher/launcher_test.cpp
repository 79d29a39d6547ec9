// The launcher on the fake desktop: the process and window lists and their differences,
// the debug-log and trace lines, reading shortcuts, starting a program and finding its
// window, the bounded ready wait, failures, and closing.
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/files.h"
#include "superlibraries/tqmultithreading/tqprocesscreation.h"
#include "tests/foundation/temp_folder.h"
#include "tests/launcher/shelllink_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using platform::WS_CAPTION;
using platform::WS_OVERLAPPEDWINDOW;
using platform::WS_POPUP;
using platform::WS_SYSMENU;
using platform::WS_VISIBLE;

std::string ReadDebugLog()
{
    std::ifstream file("TQDebug.txt", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::ResetMessageLoop();
        fake::ResetDesktop();
        platform::SetTraceCapture([this](const std::wstring& text) { m_trace += text; });
        fake::SetMessageBoxHandler(nullptr);
    }
    void TearDown() override { platform::SetTraceCapture(nullptr); }

    // Each test writes its debug log (TQDebug.txt, in the working directory) in a folder of
    // its own: tests run side by side would otherwise read each other's log.
    TempFolder m_logFolder;
    WorkingDirectory m_inLogFolder{ m_logFolder.Root };
    std::wstring m_trace;
};

TProcessData P(DWORD id, const wchar_t* name = L"x")
{
    return TProcessData{ id, L"/bin", name };
}
TWindowData W(HWND hWnd, const wchar_t* title = L"t")
{
    return TWindowData{ 1, 1, hWnd, title, L"c" };
}

TEST(ListDifference, HoldsOnlyTheAdditionsInTheNewListsOrder)
{
    struct Case {
        const char* what;
        std::vector<DWORD> newer, older, difference;
    };
    const Case cases[] = {
        { "same content", { 3, 1, 2 }, { 1, 2, 3 }, {} },
        { "against an empty list: a copy", { 5, 3, 9 }, {}, { 5, 3, 9 } },
        { "an empty list", {}, { 1, 2 }, {} },
        { "one ended, one started", { 1, 7 }, { 1, 2 }, { 7 } },
        { "a reused id counts as old", { 4 }, { 4 }, {} },
        { "duplicates judged each", { 8, 8, 1 }, { 1 }, { 8, 8 } },
    };
    for (const Case& c : cases) {
        std::vector<TProcessData> newer, older, expected;
        std::vector<TWindowData> newerWindows, olderWindows, expectedWindows;
        for (const DWORD id : c.newer) {
            newer.push_back(P(id));
            newerWindows.push_back(W(id));
        }
        for (const DWORD id : c.older) {
            older.push_back(P(id, L"other name"));  // only the id counts
            olderWindows.push_back(W(id, L"other title"));
        }
        for (const DWORD id : c.difference) {
            expected.push_back(P(id));
            expectedWindows.push_back(W(id));
        }
        EXPECT_EQ(CTQProcessCreationBase::ProcessListDifference(newer, older), expected) << c.what;
        EXPECT_EQ(CTQProcessCreationBase::WindowListDifference(newerWindows, olderWindows),
                  expectedWindows)
            << c.what;
    }
}

TEST_F(Launcher, ProcessListSplitsImagePathsAndLogsEachId)
{
    fake::AddProcess(L"/usr/bin/xlogo", 1000);
    fake::AddProcess(L"", 1001);  // its image cannot be read
    fake::AddProcess(L"init", 1002);
    fake::AddHiddenProcess();  // 1003: cannot be opened
    std::vector<TProcessData> list;
    {
        CTQProcessCreation launcher;
        list = launcher.EnumerateProcesses();
        launcher.DumpProcessList(L"All:", list, L"");
        launcher.DumpProcessList(L"Only xlogo:", list, L"xlogo");
    }
    const std::vector<TProcessData> expected = { { 1000, L"/usr/bin", L"xlogo" },
                                                 { 1001, L"", L"<unknown>" },
                                                 { 1002, L"", L"init" } };
    EXPECT_EQ(list, expected);
    EXPECT_NE(ReadDebugLog().find("\r\nEnumProcesses: 1000 ProcessImageName = '/usr/bin/xlogo'"
                                  "\r\nEnumProcesses: 1001 ProcessImageName = '<unknown>'"
                                  "\r\nEnumProcesses: 1002 ProcessImageName = 'init'"
                                  "\r\nEnumProcesses: 1003 \r\n"),
              std::string::npos);
    EXPECT_NE(m_trace.find(L"\nAll:\nPID=1000 'xlogo' '/usr/bin'\nPID=1001 '<unknown>' "
                           L"''\nPID=1002 'init' ''\n\n"),
              std::wstring::npos);
    EXPECT_NE(m_trace.find(L"\nOnly xlogo:\nPID=1000 'xlogo' '/usr/bin'\n\n"), std::wstring::npos);
}

TEST_F(Launcher, AnUnreadableProcessListIsEmptyAndSaysSo)
{
    fake::AddProcess(L"/usr/bin/xlogo");
    fake::SetProcessListReadable(false);
    CTQProcessCreation launcher;
    EXPECT_TRUE(launcher.EnumerateProcesses().empty());
    EXPECT_NE(m_trace.find(L"Urk!\n"), std::wstring::npos);
}

TEST_F(Launcher, WindowListIsInStackingOrderWithTitlesCutAndTheFilter)
{
    const HWND below = fake::AddWindow({ .processId = 7, .title = L"Under", .className = L"A" });
    const HWND above =
        fake::AddWindow({ .processId = 8, .title = std::wstring(300, L'x'), .className = L"B" });
    std::vector<TWindowData> all;
    std::vector<TWindowData> filtered;
    {
        CTQProcessCreation launcher;
        all = launcher.EnumerateWindows(0);
        filtered = launcher.EnumerateWindows(7);
        launcher.DumpWindowList(L"Windows:", filtered);
    }
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].hWnd, above);
    EXPECT_EQ(all[0].Title, std::wstring(254, L'x'));
    EXPECT_EQ(all[0].ProcessID, 8u);
    EXPECT_EQ(all[1].hWnd, below);
    EXPECT_EQ(all[1].ClassName, L"A");
    ASSERT_EQ(filtered.size(), 1u);
    EXPECT_EQ(filtered[0].hWnd, below);
    EXPECT_NE(ReadDebugLog().find("Length1 = 2\r\nLength2 = 2\r\nLength1 = 2\r\nLength2 = 1\r\n"),
              std::string::npos);
    wchar_t line[64];
    std::swprintf(line, 64, L"PID=   7 HWND=0x%4x'Under' 'A'\n", static_cast<unsigned>(below));
    EXPECT_NE(m_trace.find(std::wstring(L"\nWindows:\n") + line + L"\n"), std::wstring::npos);
}

TEST_F(Launcher, StartsAProgramAndTakesItsActiveWindow)
{
    fake::AddProcess(L"/usr/bin/bash", 500);
    fake::AddWindow({ .processId = 500, .title = L"Terminal" });
    fake::AddProgram(L"/usr/bin/xlogo", { .title = L"xlogo" });
    CTQProcessCreation launcher;
    HWND window = 0;
    ASSERT_TRUE(launcher.StartProgram(L"/usr/bin/xlogo -geometry 100x100 ", L"", L"", window));

    ASSERT_EQ(fake::StartedProcesses().size(), 1u);
    EXPECT_EQ(fake::StartedProcesses()[0].commandLine, L"/usr/bin/xlogo -geometry 100x100  ");
    EXPECT_EQ(fake::StartedProcesses()[0].argv,
              (std::vector<std::wstring>{ L"/usr/bin/xlogo", L"-geometry", L"100x100" }));
    const DWORD pid = fake::StartedProcesses()[0].processId;
    EXPECT_EQ(launcher.LastProcessID, pid);
    EXPECT_EQ(fake::GetWindowState(window).title, L"xlogo");
    EXPECT_EQ(fake::GetWindowState(window).processId, pid);
    EXPECT_EQ(launcher.StartupInfo.cb, 68u);
    EXPECT_EQ(launcher.StartupInfo.dwFlags, 1u);
    EXPECT_EQ(launcher.StartupInfo.wShowWindow, 1u);

    EXPECT_EQ(launcher.ProcessListBefore.size(), 1u);
    ASSERT_EQ(launcher.ProcessDiffList.size(), 1u);
    EXPECT_EQ(launcher.ProcessDiffList[0].FileName, L"xlogo");
    ASSERT_EQ(launcher.WindowDiffList.size(), 1u);
    EXPECT_EQ(launcher.WindowDiffList[0].hWnd, window);

    wchar_t pidLine[64];
    std::swprintf(pidLine, 64, L"Create Process: PID = %4d\n", static_cast<int>(pid));
    const std::wstring separator = L"\n----------------------------------------\n";
    const std::size_t start = m_trace.find(separator + pidLine);
    ASSERT_NE(start, std::wstring::npos) << m_trace;
    const std::size_t processDiff = m_trace.find(L"\nProcess Diff List:\nPID=", start);
    const std::size_t windowDiff = m_trace.find(L"\nWindow Diff List:\nPID=", processDiff);
    const std::size_t size = m_trace.find(L"\n\nProcessDiffList Size = 1\n", windowDiff);
    const std::size_t candidate =
        m_trace.find(L"Candidate: " + std::to_wstring(window) + L" 'xlogo'\n", size);
    const std::size_t result = m_trace.find(L"  Result=1 Info = 00000000 0 10cf0000\n", candidate);
    EXPECT_NE(result, std::wstring::npos) << m_trace;
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(Launcher, WithoutAnActiveWindowTheFirstMainWindowCandidateIsTaken)
{
    fake::AddProgram(L"/usr/bin/app", { .becomesActive = false, .title = L"App" });
    CTQProcessCreation launcher;
    HWND window = 0;
    ASSERT_TRUE(launcher.StartProgram(L"/usr/bin/app ", L"", L"", window));
    EXPECT_EQ(fake::GetWindowState(window).title, L"App");

    // Passed over: an owned window, one without a system menu, a popup; then the next one.
    const HWND main = fake::AddWindow({ .title = L"Main", .style = WS_CAPTION | WS_SYSMENU });
    const HWND owned = fake::AddWindow({ .title = L"Owned", .owner = main });
    const HWND noMenu = fake::AddWindow({ .title = L"NoMenu", .style = WS_CAPTION | WS_VISIBLE });
    const HWND popup =
        fake::AddWindow({ .title = L"Popup", .style = WS_POPUP | WS_OVERLAPPEDWINDOW });
    const HWND second =
        fake::AddWindow({ .title = L"Second main", .style = WS_CAPTION | WS_SYSMENU });
    launcher.WindowDiffList = { W(owned), W(noMenu), W(popup), W(main), W(second) };
    EXPECT_EQ(launcher.FindCandidateWindow(L""), main);
    // A title filter: a case-sensitive part of the current title, no style test.
    EXPECT_EQ(launcher.FindCandidateWindow(L"Menu"), noMenu);
    EXPECT_EQ(launcher.FindCandidateWindow(L"main"), second);
    EXPECT_EQ(launcher.FindCandidateWindow(L"none"), 0u);
    launcher.WindowDiffList.clear();
    EXPECT_EQ(launcher.FindCandidateWindow(L""), 0u);
}

TEST_F(Launcher, AProgramThatShowsNoWindowGivesFalseWithoutAMessage)
{
    fake::AddProgram(L"/usr/bin/handover", { .exitsAtOnce = true });
    fake::AddProgram(L"/usr/bin/daemon", { .opensWindow = false });
    CTQProcessCreation launcher;
    for (const wchar_t* command : { L"/usr/bin/handover ", L"/usr/bin/daemon " }) {
        HWND window = 0x1234;
        EXPECT_FALSE(launcher.StartProgram(command, L"", L"", window)) << command;
        EXPECT_EQ(window, 0u) << command;
    }
    EXPECT_EQ(fake::StartedProcesses().size(), 2u);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    EXPECT_EQ(platform::GetTickCount(), 0u);  // neither waited: one ended, one is no window program
}

TEST_F(Launcher, TheReadyWaitEndsWithTheWindowOrAfterTenSeconds)
{
    fake::AddProgram(L"/usr/bin/slow", { .windowAfterMs = 3000, .title = L"Slow" });
    fake::AddProgram(L"/usr/bin/stuck", { .windowAfterMs = 60000, .title = L"Stuck" });
    CTQProcessCreation launcher;
    HWND window = 0;
    EXPECT_TRUE(launcher.StartProgram(L"/usr/bin/slow ", L"", L"", window));
    EXPECT_EQ(fake::GetWindowState(window).title, L"Slow");
    EXPECT_EQ(platform::GetTickCount(), 3000u);

    EXPECT_FALSE(launcher.StartProgram(L"/usr/bin/stuck ", L"", L"", window));
    EXPECT_EQ(window, 0u);
    EXPECT_EQ(platform::GetTickCount(), 3000u + CTQProcessCreation::ReadyWaitMs);
}

TEST_F(Launcher, AFailedStartShowsTheMessageAndStartsNothing)
{
    fake::AddProcess(L"/usr/bin/bash", 500);
    fake::AddProgram(L"/usr/bin/xlogo", {});
    CTQProcessCreation launcher;
    HWND window = 0;
    ASSERT_TRUE(launcher.StartProgram(L"/usr/bin/xlogo ", L"", L"", window));
    const std::vector<TProcessData> afterFirst = launcher.ProcessListAfter;
    fake::AddProcess(L"/usr/bin/late", 600);

    for (const wchar_t* command : { L"cmd.exe /c start x & del y", L"/usr/bin/missing" }) {
        HWND untouched = 0x1234;
        EXPECT_FALSE(launcher.StartProgram(command, L"$(reboot)", L"", untouched)) << command;
        EXPECT_EQ(untouched, 0x1234u);
        ASSERT_FALSE(fake::MessageBoxes().empty());
        EXPECT_EQ(fake::MessageBoxes().back().text,
                  std::wstring(L"Fel: Kan inte starta programmet: '") + command + L"'");
    }
    EXPECT_EQ(fake::StartedProcesses().size(), 1u);
    EXPECT_EQ(fake::FailedStarts().back(), L"/usr/bin/missing $(reboot)");
    // The before lists are the new ones; the after lists keep the last start's.
    EXPECT_EQ(launcher.ProcessListBefore.size(), 3u);
    EXPECT_EQ(launcher.ProcessListAfter, afterFirst);
}

TEST_F(Launcher, ClosingAsksTheWindowAndNeverFails)
{
    fake::AddProgram(L"/usr/bin/xlogo", {});
    fake::AddProgram(L"/usr/bin/stubborn", { .closesOnRequest = false, .title = L"Stubborn" });
    CTQProcessCreation launcher;
    HWND window = 0;
    ASSERT_TRUE(launcher.StartProgram(L"/usr/bin/xlogo ", L"", L"", window));
    const DWORD pid = launcher.LastProcessID;
    EXPECT_TRUE(launcher.CloseProgramWindow(window));
    EXPECT_FALSE(fake::ProcessRuns(pid));
    EXPECT_EQ(fake::CloseRequests(), std::vector<HWND>{ window });
    EXPECT_TRUE(launcher.CloseProgramWindow(window));  // already gone
    EXPECT_TRUE(launcher.CloseProgramWindow(0));

    ASSERT_TRUE(launcher.StartProgram(L"/usr/bin/stubborn ", L"", L"", window));
    EXPECT_TRUE(launcher.CloseProgramWindow(window));
    EXPECT_TRUE(fake::ProcessRuns(launcher.LastProcessID));  // never ended by force
    EXPECT_EQ(fake::GetWindowState(window).closeRequests, 1);
}

TEST_F(Launcher, ResolveShortcutFallsBackToTheWorkingDirectory)
{
    TempFolder folder;
    std::wstring root = folder.MakeFolder("");
    while (root.ends_with(L"/"))
        root.pop_back();
    const std::wstring program = folder.Write("bin/Program.sh", "#!/bin/sh\n");
    folder.Write("work/Other.sh", "#!/bin/sh\n");
    const std::string work = platform::ToUtf8(root) + "/work";
    const std::string bin = platform::ToUtf8(root) + "/bin";
    fake::AddProgram(L"/usr/bin/xlogo", {});

    struct Case {
        const char* what;
        std::string file;
        std::wstring exePath, workingDirectory, arguments;
    };
    const std::wstring wwork = platform::FromUtf8(work);
    const Case cases[] = {
        { "target exists: taken whatever the working directory",
          "[Desktop Entry]\nExec=" + bin + "/Program.sh a\nPath=" + work + "\n", program, wwork,
          L"a" },
        { "target missing, the working directory holds its name",
          "[Desktop Entry]\nExec=/nowhere/OTHER.sh\nPath=" + work + "\n", wwork + L"/OTHER.sh",
          wwork, L"" },
        { "target missing, no working directory", "[Desktop Entry]\nExec=/nowhere/x\n",
          L"/nowhere/x", L"", L"" },
        { "a Windows link made elsewhere",
          linkwriter::Write({ .localBasePath = "C:\\Apps\\",
                              .commonPathSuffix = "Other.sh",
                              .workingDir = std::u16string(work.begin(), work.end()),
                              .arguments = u"-x" }),
          wwork + L"/Other.sh", wwork, L"-x" },
        { "a bare program name is found in PATH",
          "[Desktop Entry]\nExec=xlogo %U\nPath=" + work + "\n", L"/usr/bin/xlogo", wwork, L"" },
        { "not a shortcut", "garbage", L"", L"", L"" },
    };
    CTQProcessCreation launcher;
    for (const Case& c : cases) {
        const std::wstring link = folder.Write("B00001.lnk", c.file);
        std::wstring exePath = L"stale", workingDirectory = L"stale", arguments = L"stale";
        EXPECT_TRUE(launcher.ResolveShortcut(link, exePath, workingDirectory, arguments));
        EXPECT_EQ(exePath, c.exePath) << c.what;
        EXPECT_EQ(workingDirectory, c.workingDirectory) << c.what;
        EXPECT_EQ(arguments, c.arguments) << c.what;
    }
    std::wstring exePath, workingDirectory, arguments;
    EXPECT_TRUE(
        launcher.ResolveShortcut(root + L"/missing.lnk", exePath, workingDirectory, arguments));
    EXPECT_EQ(exePath, L"");
}

}  // namespace
