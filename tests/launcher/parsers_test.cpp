// The pure readers the launcher relies on: Windows command-line splitting and program
// lookup, desktop-entry Exec lines, binary Shell Links (good, cut short, lying), and the
// style word derived from a window's properties.
#include "platform/common/commandline.h"
#include "platform/common/shortcutfile.h"
#include "platform/common/windowstyle.h"
#include "platform/desktop.h"
#include "tests/launcher/shelllink_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using Args = std::vector<std::wstring>;

namespace {

struct SplitCase {
    const wchar_t* line;
    Args argv;
};

TEST(CommandLine, SplitsByTheWindowsRules)
{
    const SplitCase cases[] = {
        { L"prog a b", { L"prog", L"a", L"b" } },
        { L"prog\t a\t\tb", { L"prog", L"a", L"b" } },
        { L"prog \"a b\" c", { L"prog", L"a b", L"c" } },
        { L"prog a\\\\\\\"b",
          { L"prog", L"a\\\"b" } },  // 3 backslashes + quote: \ and a literal quote
        { L"prog a\\\\\"b c\"",
          { L"prog", L"a\\b c" } },  // 2 backslashes + quote: \ and the quote groups
        { L"prog a\\b c\\\\", { L"prog", L"a\\b", L"c\\\\" } },  // backslashes elsewhere are plain
        { L"prog \"\" x", { L"prog", L"", L"x" } },
        { L"prog  ", { L"prog" } },                    // an empty argument list: two spaces
        { L"prog \"a\"\"b\"", { L"prog", L"a\"b" } },  // "" inside quotes is one quote
        { L"\"C:\\Program Files\\x.exe\" y", { L"C:\\Program Files\\x.exe", L"y" } },
        { L"C:\\dir\\a\\\"b", { L"C:\\dir\\a\\b" } },  // the program name has no backslash rules
        { L"cmd.exe /c start x & del y",
          { L"cmd.exe", L"/c", L"start", L"x", L"&", L"del", L"y" } },
        { L"p $(rm -rf ~) `id` a;b|c>d", { L"p", L"$(rm", L"-rf", L"~)", L"`id`", L"a;b|c>d" } },
        { L"", {} },
        { L"   ", {} },
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(platform::SplitWindowsCommandLine(c.line), c.argv) << c.line;
}

TEST(CommandLine, QuotedArgumentsComeBackUnchanged)
{
    const Args arguments = {
        L"plain",        L"",   L"two words", L"a\\",       L"a\\\"b",
        L"tail space\\", L"\"", L"tab\there", L"C:\\dir\\", L"http://x/?a=1&b=2"
    };
    std::wstring line;
    for (const std::wstring& argument : arguments)
        line += platform::QuoteWindowsArgument(argument) + L" ";
    EXPECT_EQ(platform::SplitWindowsArguments(line), arguments);
}

struct ResolveCase {
    const wchar_t* line;
    bool found;
    Args argv;
};

TEST(CommandLine, FindsAnUnquotedProgramWithSpacesByGrowingPrefixes)
{
    const std::set<std::wstring> programs = { L"/opt/My App/run", L"/srv/a b/c d/tool", L"/srv/a" };
    const auto find = [&](const std::wstring& candidate) {
        if (programs.count(candidate))
            return candidate;
        return candidate == L"xlogo" ? std::wstring(L"/usr/bin/xlogo") : std::wstring();
    };
    const ResolveCase cases[] = {
        { L"/opt/My App/run --x  ", true, { L"/opt/My App/run", L"--x" } },
        { L"\\opt\\My App\\run \"a b\"", true, { L"/opt/My App/run", L"a b" } },
        { L"\"/opt/My App/run\" y", true, { L"/opt/My App/run", L"y" } },
        { L"/srv/a b/c d/tool x",
          true,
          { L"/srv/a", L"b/c", L"d/tool", L"x" } },  // shortest prefix first
        { L"/srv/a  b/c d/tool", true, { L"/srv/a", L"b/c", L"d/tool" } },
        { L"xlogo  ", true, { L"/usr/bin/xlogo" } },
        { L"/opt/My App/missing y", false, {} },
        { L"\"/opt/My App/run y", false, {} },  // an unclosed quote: the whole rest is the name
        { L"cmd.exe /c start x & del y", false, {} },
        { L"  ", false, {} },
    };
    for (const ResolveCase& c : cases) {
        Args argv;
        const bool found = platform::ResolveCommandLine(c.line, find, argv);
        EXPECT_EQ(found, c.found) << c.line;
        EXPECT_EQ(argv, c.argv) << c.line;
    }
}

// --- Desktop entries --------------------------------------------------------------------

struct ExecCase {
    const wchar_t* value;
    Args argv;
};

TEST(DesktopEntry, ExecLinesAreSplitAndFieldCodesDropped)
{
    const ExecCase cases[] = {
        { L"xlogo", { L"xlogo" } },
        { L"firefox %u", { L"firefox" } },
        { L"viewer %F --fullscreen %U %f", { L"viewer", L"--fullscreen" } },
        { L"\"/opt/My App/run\" --name \"a b\"", { L"/opt/My App/run", L"--name", L"a b" } },
        { L"sh -c \"echo \\\\\"hi\\\\\" \\\\$HOME \\\\`id\\\\`\"",
          { L"sh", L"-c", L"echo \"hi\" $HOME `id`" } },
        { L"printf 100%%", { L"printf", L"100%" } },
        { L"app --file=%f", { L"app", L"--file=" } },
        { L"app a\\sb",
          { L"app", L"a", L"b" } },  // \s is a space before the split: quote to keep it
        { L"app \"\"", { L"app", L"" } },
        { L"  app   two  ", { L"app", L"two" } },
        { L"", {} },
        // Single quotes, as the common launchers accept them: everything inside is literal.
        { L"sh -c 'sleep 8; exec xclock'", { L"sh", L"-c", L"sleep 8; exec xclock" } },
        { L"sh -c 'echo \"$HOME\" \\\\n %u'", { L"sh", L"-c", L"echo \"$HOME\" \\n %u" } },
        { L"app 'a b'\"c d\"e ''", { L"app", L"a bc de", L"" } },
        { L"app 'open", { L"app", L"open" } },
    };
    for (const ExecCase& c : cases)
        EXPECT_EQ(platform::SplitDesktopExec(c.value), c.argv) << c.value;
}

TEST(DesktopEntry, ReadsExecAndPathOfTheEntryGroupOnly)
{
    const std::string file = "\xEF\xBB\xBF# made by hand\r\n"
                             "[Desktop Entry]\r\n"
                             "Type=Application\r\n"
                             "Name=Klocka\r\n"
                             "Exec[sv]=wrong\r\n"
                             "Exec = \"/opt/My App/run\" --title \"Min klocka\" %u\r\n"
                             "Path=/home/user/Mina filer\r\n"
                             "\r\n"
                             "[Desktop Action Other]\r\n"
                             "Exec=other\r\n"
                             "Path=/elsewhere\r\n";
    platform::ShortcutData data;
    ASSERT_TRUE(platform::ParseShortcut(file, data));
    EXPECT_EQ(data.target, L"/opt/My App/run");
    EXPECT_EQ(data.arguments, L"--title \"Min klocka\"");
    EXPECT_EQ(data.workingDirectory, L"/home/user/Mina filer");
    EXPECT_EQ(platform::SplitWindowsArguments(data.arguments), (Args{ L"--title", L"Min klocka" }));
}

// A browser shortcut keeps its own options; the address goes where %u or %U stands, else
// after them, always as one argument.
TEST(DesktopEntry, TheAddressTakesThePlaceOfItsFieldCode)
{
    const struct {
        const char* file;
        Args argv;
    } cases[] = {
        { "\xEF\xBB\xBF[Desktop Entry]\nExec=browser --kiosk --private-window %u\n",
          { L"--kiosk", L"--private-window", L"a \"b\" -c" } },
        { "[Desktop Entry]\nExec=browser --new %U --geometry 'x y'\n",
          { L"--new", L"a \"b\" -c", L"--geometry", L"x y" } },
        { "[Desktop Entry]\nExec=browser -kiosk\n", { L"-kiosk", L"a \"b\" -c" } },
        { "[Desktop Entry]\nExec=browser\n", { L"a \"b\" -c" } },
        { "[Desktop Entry]\nExec=browser '%u' --url=%u\n", { L"%u", L"--url=", L"a \"b\" -c" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        platform::ShortcutData data;
        ASSERT_TRUE(platform::ParseShortcut(c.file, data));
        EXPECT_EQ(data.target, L"browser");
        EXPECT_EQ(
            platform::SplitWindowsArguments(platform::ArgumentsWithAddress(data, L"a \"b\" -c")),
            c.argv);
        // Without an address the field code stands for nothing.
        Args without = c.argv;
        std::erase(without, L"a \"b\" -c");
        EXPECT_EQ(platform::SplitWindowsArguments(platform::ArgumentsWithoutAddress(data)),
                  without);
    }
}

TEST(DesktopEntry, IsToldApartByContent)
{
    platform::ShortcutData data;
    EXPECT_FALSE(platform::ParseShortcut("[Other]\n[Desktop Entry]\nExec=x\n", data));
    EXPECT_FALSE(platform::ParseShortcut("Exec=x\n", data));
    EXPECT_FALSE(platform::ParseShortcut("", data));
    EXPECT_TRUE(platform::ParseShortcut("\n# c\n[Desktop Entry]\n", data));
    EXPECT_EQ(data.target, L"");
}

// --- Binary Shell Links -----------------------------------------------------------------

linkwriter::Link UnicodeLink()
{
    linkwriter::Link link;
    link.idList = std::string(20, '\x11');
    link.localBasePath = "C:\\Program Files\\";
    link.commonPathSuffix = "Sm\xF6rg\xE5s\\app.exe";
    link.name = u"Smörgås";
    link.workingDir = u"C:\\Users\\Åsa\\😀";
    link.arguments = u"--fil \"a b.txt\"";
    link.iconLocation = u"icon.ico";
    return link;
}

TEST(ShellLink, ReadsTargetWorkingDirectoryAndArguments)
{
    platform::ShortcutData data;
    ASSERT_TRUE(platform::ParseShortcut(linkwriter::Write(UnicodeLink()), data));
    EXPECT_EQ(data.target, L"C:\\Program Files\\Smörgås\\app.exe");
    EXPECT_EQ(data.workingDirectory, L"C:\\Users\\Åsa\\😀");
    EXPECT_EQ(data.arguments, L"--fil \"a b.txt\"");
    // As a browser shortcut: the address follows the link's own arguments.
    EXPECT_EQ(
        platform::SplitWindowsArguments(platform::ArgumentsWithAddress(data, L"https://x.se/a b")),
        (Args{ L"--fil", L"a b.txt", L"https://x.se/a b" }));
}

TEST(ShellLink, EightBitStringsAreWindows1252AndUnicodePathsWin)
{
    linkwriter::Link link;
    link.unicode = false;
    link.localBasePath = "C:\\\x80uro\\x.exe";
    link.localBasePathUnicode = u"C:\\Ünicode\\x.exe";
    link.workingDir = u"C:\\Caf\u00e9\x80";  // low bytes: Caf\xE9\x80
    link.arguments = u"\x93quoted\x94";
    platform::ShortcutData data;
    ASSERT_TRUE(platform::ParseShellLink(linkwriter::Write(link), data));
    EXPECT_EQ(data.target, L"C:\\Ünicode\\x.exe");
    EXPECT_EQ(data.workingDirectory, L"C:\\Café€");
    EXPECT_EQ(data.arguments, L"\u201Cquoted\u201D");

    link.localBasePathUnicode.reset();
    ASSERT_TRUE(platform::ParseShellLink(linkwriter::Write(link), data));
    EXPECT_EQ(data.target, L"C:\\€uro\\x.exe");
}

TEST(ShellLink, TargetFromAShareOrTheEnvironmentBlock)
{
    linkwriter::Link network;
    network.networkShare = "\\\\server\\share";
    network.commonPathSuffix = "tools\\run.exe";
    platform::ShortcutData data;
    ASSERT_TRUE(platform::ParseShellLink(linkwriter::Write(network), data));
    EXPECT_EQ(data.target, L"\\\\server\\share\\tools\\run.exe");

    linkwriter::Link environment;
    environment.environmentTarget = u"%windir%\\notepad.exe";
    environment.arguments = u"a";
    ASSERT_TRUE(platform::ParseShellLink(linkwriter::Write(environment), data));
    EXPECT_EQ(data.target, L"%windir%\\notepad.exe");
    EXPECT_EQ(data.arguments, L"a");
}

// Parses exactly the given bytes from a buffer of their size, so that a read past the
// end is seen by the address sanitizer.
platform::ShortcutData ParseExact(const std::string& bytes, bool& recognised)
{
    std::vector<char> exact(bytes.begin(), bytes.end());
    platform::ShortcutData data;
    recognised = platform::ParseShellLink(std::string_view(exact.data(), exact.size()), data);
    return data;
}

TEST(ShellLink, ACutShortLinkGivesWhatWasWhole)
{
    const std::string whole = linkwriter::Write(UnicodeLink());
    for (std::size_t length = 0; length < whole.size(); ++length) {
        bool recognised = false;
        const platform::ShortcutData data = ParseExact(whole.substr(0, length), recognised);
        EXPECT_EQ(recognised, length >= 76) << length;
        // Each field is either what the whole file says or empty, never half of it.
        for (const auto& [got, full] :
             { std::pair{ data.target, std::wstring(L"C:\\Program Files\\Smörgås\\app.exe") },
               std::pair{ data.workingDirectory, std::wstring(L"C:\\Users\\Åsa\\😀") },
               std::pair{ data.arguments, std::wstring(L"--fil \"a b.txt\"") } }) {
            EXPECT_TRUE(got.empty() || got == full) << length;
        }
    }
}

TEST(ShellLink, LyingSizesAndOffsetsAreNotFollowed)
{
    const std::string whole = linkwriter::Write(UnicodeLink());
    const std::size_t linkInfo = 76 + 2 + 20;
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        bool targetKept;
        bool stringsKept;
    };
    const Damage damages[] = {
        { "ID list longer than the file", 76, 0xFFFF, false, false },
        { "link information longer than the file", linkInfo, 0x7FFFFFF0, false, false },
        { "base path offset past the file", linkInfo + 16, 0xFFFFFFF0, false, true },
        { "suffix offset past the structure", linkInfo + 24, 0x0FFFFFFF, true, true },
        { "header size claims Unicode offsets", linkInfo + 4, 0x24, true, true },
    };
    for (const Damage& d : damages) {
        std::string bytes = whole;
        if (d.at == 76) {
            bytes[76] = '\xFF';
            bytes[77] = '\xFF';
        } else {
            linkwriter::SetU32(bytes, d.at, d.value);
        }
        bool recognised = false;
        const platform::ShortcutData data = ParseExact(bytes, recognised);
        EXPECT_TRUE(recognised) << d.what;
        EXPECT_TRUE(data.target.empty() || data.target.starts_with(L"C:\\")) << d.what;
        EXPECT_EQ(!data.target.empty(), d.targetKept) << d.what;
        EXPECT_EQ(data.workingDirectory == L"C:\\Users\\Åsa\\😀", d.stringsKept) << d.what;
    }

    // A string count larger than what is left: that string and the later ones are dropped.
    linkwriter::Link link = UnicodeLink();
    link.iconLocation.reset();
    std::string bytes = linkwriter::Write(link);
    const std::size_t argumentsCount = bytes.size() - 4 - 2 - link.arguments->size() * 2;
    bytes[argumentsCount] = '\xFF';
    bytes[argumentsCount + 1] = '\x7F';
    bool recognised = false;
    const platform::ShortcutData data = ParseExact(bytes, recognised);
    EXPECT_EQ(data.workingDirectory, L"C:\\Users\\Åsa\\😀");
    EXPECT_EQ(data.arguments, L"");
}

TEST(ShellLink, OnlyTheRightHeaderIsALink)
{
    std::string bytes = linkwriter::Write(UnicodeLink());
    bytes[10] = 'x';  // the class id
    platform::ShortcutData data;
    EXPECT_FALSE(platform::ParseShellLink(bytes, data));
    EXPECT_FALSE(platform::ParseShortcut(std::string(200, '\0'), data));
}

// --- Style words ------------------------------------------------------------------------

struct StyleCase {
    const char* what;
    platform::WindowFacts facts;
    DWORD style;
};

TEST(WindowStyle, IsDerivedFromTheWindowsProperties)
{
    using Kind = platform::WindowFacts::Kind;
    using namespace platform;
    const StyleCase cases[] = {
        { "mapped normal window", { .mapped = true }, WS_OVERLAPPEDWINDOW | WS_VISIBLE },
        { "child of another window", { .topLevel = false, .mapped = true }, WS_CHILD | WS_VISIBLE },
        { "override-redirect", { .overrideRedirect = true }, WS_POPUP },
        { "transient dialog",
          { .transient = true, .kind = Kind::Dialog },
          WS_POPUP | WS_CAPTION | WS_SYSMENU },
        { "menu", { .kind = Kind::Popup }, WS_POPUP },
        { "dock", { .kind = Kind::Dock }, WS_POPUP },
        { "undecorated by its hint", { .hasDecorationHint = true, .decorationHint = 0 }, 0 },
        { "title and menu only",
          { .hasDecorationHint = true, .decorationHint = 8 | 16 },
          WS_CAPTION | WS_SYSMENU },
        { "all but the menu",
          { .hasDecorationHint = true, .decorationHint = 1 | 16 },
          WS_CAPTION | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX },
        { "maximised", { .maximized = true }, WS_OVERLAPPEDWINDOW | WS_MAXIMIZE },
        { "minimised", { .minimized = true }, WS_OVERLAPPEDWINDOW | WS_MINIMIZE },
    };
    for (const StyleCase& c : cases)
        EXPECT_EQ(DeriveWindowStyle(c.facts), c.style) << c.what;
    EXPECT_EQ(DeriveWindowExStyle({ .kind = Kind::Tool, .above = true }),
              WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    // A written-back style without its frame bits asks for no decorations.
    EXPECT_EQ(DecorationsOfStyle(WS_POPUP | WS_VISIBLE | WS_MAXIMIZE), 0UL);
    EXPECT_EQ(DecorationsOfStyle(WS_OVERLAPPEDWINDOW), 2UL | 4 | 8 | 16 | 32 | 64);
}

}  // namespace
