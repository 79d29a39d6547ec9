// The snapshot's command line and page path on the fake desktop: what is accepted, what is
// refused with one line, and a page drawn and written without a window on the screen.
#include "application/orlidosnapshot.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_window.h"
#include "platform/files.h"
#include "platform/pixels.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

TEST(SnapshotCommandLine, PageStepsWalkFromTheStartPage)
{
    const struct {
        const wchar_t* page;
        bool ok;
        std::vector<int> steps;
    } cases[] = {
        { L"", true, {} },
        { L"L00001", true, {} },
        { L"UserData/L00001/L00003/", true, { 3 } },
        { L"L00001//l00002/./L00012", true, { 2, 12 } },
        { L"L00002", false, {} },         // not the start page
        { L"L00001/L00013", false, {} },  // past a page's twelve pictures
        { L"L00001/Bilder", false, {} },
        { L"L00001/../L00001", false, {} },
    };
    for (const auto& c : cases) {
        std::vector<int> steps;
        EXPECT_EQ(COrlidoSnapshot::PageSteps(c.page, steps), c.ok) << platform::ToUtf8(c.page);
        if (c.ok) {
            EXPECT_EQ(steps, c.steps) << platform::ToUtf8(c.page);
        }
    }
}

TEST(SnapshotCommandLine, ArgumentsAndTheirRefusals)
{
    COrlidoSnapshot::TOptions options;
    std::string error;
    ASSERT_TRUE(COrlidoSnapshot::ParseArguments(
        { "--snapshot=out.png", "--page", "L00001/L00002", "--size", "683x384" }, "/env/content",
        options, error))
        << error;
    EXPECT_EQ(options.Output, L"out.png");
    EXPECT_EQ(options.ContentFolder, L"/env/content");
    EXPECT_EQ(options.Page, L"L00001/L00002");
    EXPECT_EQ(options.Width, 683);
    EXPECT_EQ(options.Height, 384);

    const std::vector<std::vector<std::string>> refused = {
        { "--snapshot" },
        { "--snapshot", "a.png", "--size", "683" },
        { "--snapshot", "a.png", "--size", "x384" },
        { "--snapshot", "a.png", "--size", "-5x10" },
        { "--snapshot", "a.png", "--size", "99999x10" },
        { "--snapshot", "a.png", "--page" },
        { "--snapshot", "a.png", "--check" },
    };
    for (const auto& arguments : refused) {
        error.clear();
        EXPECT_FALSE(COrlidoSnapshot::ParseArguments(arguments, nullptr, options, error))
            << arguments.back();
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_EQ(error.rfind("orlido: ", 0), 0u) << error;
    }
}

TEST(SnapshotRun, WritesThePageAtTheSizeAsked)
{
    fake::ResetDesktop();
    fake::ResetWindow();
    TempFolder folder;
    const std::filesystem::path output = folder.Root / "page.png";
    COrlidoSnapshot::TOptions options;
    options.ContentFolder = platform::FromUtf8(ORLIDO_SOURCE_DIR "/demo");
    options.Output = output.wstring();
    options.Page = L"L00001/L00002";
    options.Width = 400;
    options.Height = 300;
    ASSERT_EQ(COrlidoSnapshot::Run(options, stderr), 0);
    platform::Image image;
    ASSERT_TRUE(platform::DecodePicture(output.wstring(), image));
    EXPECT_EQ(image.Width(), 400);
    EXPECT_EQ(image.Height(), 300);
    EXPECT_FALSE(std::filesystem::exists(output.string() + ".part"));
}

}  // namespace
