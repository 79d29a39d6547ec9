// The media player's command texts, as both backends take them apart.
#include "platform/common/mediacommand.h"

#include <gtest/gtest.h>

namespace {

TEST(MediaCommand, TextsAreTakenApart)
{
    const struct {
        const wchar_t* text;
        bool ok;
        const wchar_t* verb;
        const wchar_t* device;
        const wchar_t* alias;
    } cases[] = {
        { L"open \"/home/a b/M00002.wmv\" type mpegvideo alias myFile", true, L"open",
          L"/home/a b/M00002.wmv", L"myFile" },
        { L"OPEN /x/M.mp3 ALIAS song", true, L"open", L"/x/M.mp3", L"song" },
        { L"open /x/M.mp3", true, L"open", L"/x/M.mp3", L"/x/M.mp3" },  // the file is its own alias
        { L"play myFile", true, L"play", L"myFile", L"myFile" },
        { L"close  myFile", true, L"close", L"myFile", L"myFile" },
        { L"open \"/x/M.wmv type mpegvideo alias myFile", false, L"", L"", L"" },  // unclosed quote
        { L"open \"/x/M.wmv\" type", false, L"", L"", L"" },  // a word without value
        { L"play myFile wait", false, L"", L"", L"" },
        { L"play", false, L"", L"", L"" },
        { L"", false, L"", L"", L"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::wstring(c.text));
        platform::MediaCommand command;
        ASSERT_EQ(platform::ParseMediaCommand(c.text, command), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(command.verb, c.verb);
        EXPECT_EQ(command.device, c.device);
        EXPECT_EQ(command.alias, c.alias);
    }
}

}  // namespace
