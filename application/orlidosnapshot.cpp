#include "application/orlidosnapshot.h"

#include "application/orlidocontent.h"
#include "application/tqorlidomodule.h"
#include "application/tqstartupsettings.h"
#include "content/contentrules.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/pixels.h"
#include "platform/window.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr const char* kOption = "--snapshot";
constexpr const wchar_t* kWindowTitle = L"Orlido snapshot";

// "--name VALUE" or "--name=VALUE" at arguments[i]; i then stands on its last word.
bool TakeValue(const std::vector<std::string>& arguments, std::size_t& i, const std::string& name,
               std::string& value)
{
    const std::string& argument = arguments[i];
    if (argument.rfind(name + "=", 0) == 0)
        value = argument.substr(name.size() + 1);
    else if (argument == name)
        value = i + 1 < arguments.size() ? arguments[++i] : std::string();
    else
        return false;
    return true;
}

// "WxH" with both sides from 1 to the largest image side.
bool ParseSize(const std::string& text, int& width, int& height)
{
    const std::size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    const auto side = [](const std::string& digits, int& value) {
        if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = std::stoi(digits);
        return value >= 1 && value <= platform::kMaxImageSide;
    };
    return side(text.substr(0, x), width) && side(text.substr(x + 1), height);
}

std::wstring WithoutTrailingSlash(std::wstring path)
{
    while (path.size() > 1 && path.back() == L'/')
        path.pop_back();
    return path;
}

// Draws the page and writes it; the message of a failure in error.
bool DrawAndWrite(const COrlidoSnapshot::TOptions& options, const std::wstring& contentFolder,
                  const std::vector<int>& steps, int width, int height, std::string& error)
{
    const HWND window = platform::CreateOffscreenWindow(kWindowTitle, width, height);
    if (!window) {
        error = "orlido: cannot make a window of that size";
        return false;
    }
    bool drawn = false;
    {
        bool displayOk = false;
        CTQSurface display(TQSURFACE_DISPLAY, width, height, displayOk, window);
        // Standard mode: a scan would start a highlight and a timer, not part of the page.
        const TStartupSettings defaults;
        CTQOrlidoModule module(L"", window, &display, contentFolder, defaults.BlinkPeriod,
                               defaults.ScanPeriod, defaults.AvoidExtraClicksTime, {}, false);
        drawn = displayOk && module.HasPage();
        for (std::size_t k = 0; drawn && k < steps.size(); ++k)
            drawn = module.GoDown(steps[k] - 1);
        if (!drawn) {
            error = "orlido: the page '" + platform::ToUtf8(options.Page) + "' cannot be drawn";
        } else {
            module.Redraw();
            const CTQSurface* back = CTQSurface::GetBack();
            const platform::Image* image = back ? back->GetImage() : nullptr;
            // Written beside its place and renamed, so that a reader never sees half a file.
            const std::filesystem::path output(options.Output);
            std::filesystem::path scratch = output;
            scratch += ".part";
            std::error_code failure;
            drawn = image && platform::WritePng(*image, scratch.wstring());
            if (drawn)
                std::filesystem::rename(scratch, output, failure);
            if (!drawn || failure) {
                std::filesystem::remove(scratch, failure);
                error = "orlido: cannot write '" + platform::ToUtf8(options.Output) + "'";
                drawn = false;
            }
        }
    }
    platform::DestroyWindow(window);
    return drawn;
}

}  // namespace

bool COrlidoSnapshot::Handles(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments)
        if (argument == kOption || argument.rfind(std::string(kOption) + "=", 0) == 0)
            return true;
    return false;
}

bool COrlidoSnapshot::ParseArguments(const std::vector<std::string>& arguments,
                                     const char* environmentValue, TOptions& options,
                                     std::string& error)
{
    options = {};
    if (environmentValue && *environmentValue)
        options.ContentFolder = platform::FromUtf8(environmentValue);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string value;
        if (TakeValue(arguments, i, kOption, value)) {
            options.Output = platform::FromUtf8(value);
        } else if (TakeValue(arguments, i, "--content", value)) {
            options.ContentFolder = platform::FromUtf8(value);
        } else if (TakeValue(arguments, i, "--page", value)) {
            options.Page = platform::FromUtf8(value);
        } else if (TakeValue(arguments, i, "--size", value)) {
            if (!ParseSize(value, options.Width, options.Height)) {
                error = "orlido: --size needs WIDTHxHEIGHT, for example 1366x768";
                return false;
            }
            continue;
        } else {
            error = "orlido: unknown argument '" + arguments[i] + "' with --snapshot";
            return false;
        }
        if (value.empty()) {
            error = "orlido: " + arguments[i] + " needs a value";
            return false;
        }
    }
    if (options.Output.empty()) {
        error = "orlido: --snapshot needs a file";
        return false;
    }
    return true;
}

bool COrlidoSnapshot::PageSteps(const std::wstring& page, std::vector<int>& steps)
{
    steps.clear();
    std::vector<std::wstring> names;
    std::wstring name;
    for (const wchar_t c : page + L"/") {
        if (c != L'/') {
            name += c;
            continue;
        }
        if (!name.empty() && name != L".")
            names.push_back(name);
        name.clear();
    }
    if (!names.empty() && names.front() == CTQContentRules::UserDataFolder)
        names.erase(names.begin());
    if (names.empty())
        return page.empty();
    const wchar_t letter = CTQContentRules::PageLetter;
    if (CTQContentRules::NumberOf(names.front(), letter) != 1)
        return false;
    for (std::size_t k = 1; k < names.size(); ++k) {
        const int number = CTQContentRules::NumberOf(names[k], letter);
        if (number < 1 || number > CTQContentRules::MaxPicturesOnPage)
            return false;
        steps.push_back(number);
    }
    return true;
}

int COrlidoSnapshot::Run(const std::vector<std::string>& arguments, std::FILE* err)
{
    TOptions options;
    std::string error;
    if (!ParseArguments(arguments, std::getenv("ORLIDO_CONTENT"), options, error)) {
        std::fprintf(err, "%s\n", error.c_str());
        return 2;
    }
    return Run(options, err);
}

int COrlidoSnapshot::Run(const TOptions& options, std::FILE* err)
{
    const auto fail = [err](const std::string& message) {
        std::fprintf(err, "%s\n", message.c_str());
        return 1;
    };
    std::vector<int> steps;
    if (!PageSteps(options.Page, steps))
        return fail("orlido: '" + platform::ToUtf8(options.Page) + "' names no page");
    if (!options.ContentFolder.empty() && !platform::IsFolder(options.ContentFolder))
        return fail("orlido: the content folder '" + platform::ToUtf8(options.ContentFolder) +
                    "' does not exist");
    const std::wstring contentFolder = FindContentFolder(options.ContentFolder);
    std::wstring page = WithoutTrailingSlash(contentFolder) + L"/" +
        CTQContentRules::UserDataFolder + L"/" +
        CTQContentRules::NumberedName(CTQContentRules::PageLetter, 1);
    for (const int step : steps)
        page += L"/" + CTQContentRules::NumberedName(CTQContentRules::PageLetter, step);
    if (!platform::IsFolder(page))
        return fail("orlido: the page folder '" + platform::ToUtf8(page) + "' does not exist");

    int width = options.Width;
    int height = options.Height;
    if (width == 0 || height == 0) {
        width = platform::GetScreenWidth();
        height = platform::GetScreenHeight();
    }
    if (width <= 0 || height <= 0)
        return fail("orlido: cannot open the display (is DISPLAY set?)");
    platform::StartDefaultFontFaceLookup();
    std::string error;
    if (!DrawAndWrite(options, contentFolder, steps, width, height, error))
        return fail(error);
    return 0;
}
