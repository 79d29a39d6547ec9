// A page's pictures are decoded side by side; the page must come out as if they had been
// loaded one by one: same order, a placeholder where a picture cannot be decoded, every
// caption on its own picture.
#include "windowsmobilelibraries/tqgraphics/tqimagebuttonpanel.h"

#include "superlibraries/tqstandard/tqstandard_wm.h"
#include "tests/buttons/buttons_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using buttons_test::DisplayTest;
using buttons_test::ScratchFolder;

// A colour of its own for every picture number.
COLORREF ColourOf(int n)
{
    return RGB(20 * n, 255 - 20 * n, (n * 97) & 0xFF);
}

TEST(DecodePictures, EachPictureLandsAtItsOwnIndex)
{
    ScratchFolder folder;
    std::vector<std::wstring> paths;
    // More pictures than cores, so that workers take several each.
    for (int n = 1; n <= 11; ++n) {
        const std::wstring name = L"P" + std::to_wstring(n) + (n % 2 ? L".png" : L".jpg");
        folder.WritePicture(name, ColourOf(n), 4 + n, 3 + n);
        paths.push_back(folder.File(name));
    }
    folder.Write(L"broken.jpg", std::string("\xFF\xD8\xFF not really", 14));
    paths.insert(paths.begin() + 4, folder.File(L"broken.jpg"));
    paths.push_back(folder.File(L"missing.png"));

    const std::vector<platform::Image> images = platform::DecodePictures(paths);
    ASSERT_EQ(images.size(), paths.size());
    EXPECT_FALSE(images[4].IsValid());
    EXPECT_FALSE(images.back().IsValid());
    for (std::size_t i = 0; i + 1 < paths.size(); ++i) {
        if (i == 4)
            continue;
        const int n = static_cast<int>(i < 4 ? i + 1 : i);
        ASSERT_TRUE(images[i].IsValid()) << i;
        EXPECT_EQ(images[i].Width(), 4 + n) << i;
        if (n % 2) {
            EXPECT_EQ(images[i].PixelColor(1, 1), ColourOf(n)) << i;  // PNG is exact
        }
    }
    EXPECT_TRUE(platform::DecodePictures({}).empty());
}

TEST_F(DisplayTest, PageDecodedTogetherKeepsOrderPlaceholdersAndCaptions)
{
    constexpr int kPictures = 9;
    for (int n = 1; n <= kPictures; ++n) {
        const std::wstring stem = L"B" + IntToText5(n);
        if (n == 3 || n == 7) {
            m_folder.Write(stem + L"Trasig.png", "not a picture at all");
        } else {
            m_folder.WritePicture(stem + L"Bild.png", ColourOf(n), 60, 40);
            m_folder.Write(stem + L"Bild.txt", n == 5 ? "Katt" : "");
        }
        m_folder.Write(stem + L".wav", "x");
    }
    CTQImageButtonPanel panel(Display());
    panel.SetHighlightWidth(12);
    panel.SetFontHeight(20);
    ASSERT_EQ(panel.AddButtonsFromFolder(m_folder.File(L"B"), 0, 0, 30, 30, L"", false), kPictures);
    ASSERT_EQ(panel.GetCount(), kPictures);
    for (int n = 1; n <= kPictures; ++n) {
        const CTQImageButton& button = *panel.m_Buttons[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(button.GetSoundPath(), m_folder.File(L"B" + IntToText5(n) + L".wav")) << n;
        if (n == 3 || n == 7) {
            EXPECT_FALSE(button.HasPicture()) << n << " is a placeholder";
            continue;
        }
        ASSERT_TRUE(button.HasPicture()) << n;
        EXPECT_EQ(button.GetPicturePath(), m_folder.File(L"B" + IntToText5(n) + L"Bild.png"));
        EXPECT_EQ(button.GetImage()->PixelColor(0, 0), ColourOf(n)) << n;
        // Only picture 5 has a caption, written onto that picture.
        const platform::Image& pixels = *button.GetImage();
        int written = 0;
        for (int y = 0; y < pixels.Height(); ++y)
            for (int x = 0; x < pixels.Width(); ++x)
                written += pixels.PixelColor(x, y) != ColourOf(n);
        EXPECT_EQ(written > 0, n == 5) << n;
    }
    EXPECT_EQ(panel.m_Buttons[4]->GetText(), L"Katt");
}

TEST_F(DisplayTest, PictureWithoutMemoryIsAPlaceholderAndThePageStands)
{
    m_folder.WritePicture(L"B00001Liten.png", ColourOf(1), 20, 20);
    // 300 x 200 fits the 320 x 240 screen and is decoded at its own size: 240 KB.
    m_folder.WritePicture(L"B00002Stor.png", ColourOf(2), 300, 200);
    m_folder.WritePicture(L"B00003Liten.png", ColourOf(3), 20, 20);
    std::wstring trace;
    platform::SetTraceCapture([&](const std::wstring& line) { trace += line; });
    platform::SetPixelMemoryLimit(platform::PixelMemoryInUse() + 64 * 1024);
    CTQImageButtonPanel panel(Display());
    const int found = panel.AddButtonsFromFolder(m_folder.File(L"B"), 0, 0, 30, 30, L"", false);
    platform::SetPixelMemoryLimit(0);
    platform::SetTraceCapture(nullptr);

    ASSERT_EQ(found, 3);
    ASSERT_EQ(panel.GetCount(), 3);
    EXPECT_TRUE(panel.m_Buttons[0]->HasPicture());
    EXPECT_FALSE(panel.m_Buttons[1]->HasPicture());
    EXPECT_TRUE(panel.m_Buttons[2]->HasPicture());
    EXPECT_NE(trace.find(m_folder.File(L"B00002Stor.png") + L"' cannot be shown: out of memory"),
              std::wstring::npos)
        << platform::ToUtf8(trace);
}

TEST_F(DisplayTest, PicturesPastTwelveAreCountedButNeverDecoded)
{
    // Broken files say so in the trace when they are decoded: pictures 13 to 40 must not.
    for (int n = 1; n <= 40; ++n)
        m_folder.Write(L"B" + IntToText5(n) + L"Trasig.png", "not a picture at all");
    std::wstring trace;
    platform::SetTraceCapture([&](const std::wstring& line) { trace += line; });
    CTQImageButtonPanel panel(Display());
    const int found = panel.AddButtonsFromFolder(m_folder.File(L"B"), 0, 0, 30, 30, L"", false);
    platform::SetTraceCapture(nullptr);

    EXPECT_EQ(found, 40);
    EXPECT_EQ(panel.GetCount(), 40);
    EXPECT_NE(trace.find(L"B00012Trasig.png"), std::wstring::npos);
    EXPECT_EQ(trace.find(L"B00013Trasig.png"), std::wstring::npos);
}

// The pixels and companion files of every button, for comparing two builds of a page.
struct BuiltButton {
    std::wstring picture;
    std::wstring sound;
    std::wstring text;
    std::vector<std::uint32_t> pixels;
    bool operator==(const BuiltButton&) const = default;
};
std::vector<BuiltButton> Describe(const CTQImageButtonPanel& panel)
{
    std::vector<BuiltButton> built;
    for (const CTQImageButton* button : panel.m_Buttons) {
        BuiltButton b{ button->GetPicturePath(), button->GetSoundPath(), button->GetText(), {} };
        if (const platform::Image* image = button->GetImage())
            b.pixels.assign(image->Pixels(),
                            image->Pixels() + std::size_t(image->Width()) * image->Height());
        built.push_back(std::move(b));
    }
    return built;
}

std::vector<BuiltButton> BuildAndDescribe(CTQSurface* display, const std::wstring& prefix)
{
    CTQImageButtonPanel panel(display);
    panel.SetFontHeight(20);
    panel.AddButtonsFromFolder(prefix, 0, 0, 30, 30, L"", false);
    return Describe(panel);
}

void WriteFivePictures(ScratchFolder& folder)
{
    for (int n = 1; n <= 5; ++n) {
        const std::wstring stem = L"B" + IntToText5(n);
        folder.WritePicture(stem + L"Bild" + (n % 2 ? L".png" : L".jpg"), ColourOf(n), 40 + n, 30);
        folder.Write(stem + L".wav", "x");
    }
    folder.Write(L"B00003Bild.txt", "Katt");
    folder.Write(L"B00004Bild.txt", "Hund");
}

// A page's buttons made on another thread (as while a sound plays), while this thread
// builds pages of its own, are the buttons of a page built here: same files, captions and
// pixels.
TEST_F(DisplayTest, PictureButtonsMadeOnAnotherThreadAreThoseOfAPageBuiltHere)
{
    WriteFivePictures(m_folder);
    const std::wstring prefix = m_folder.File(L"B");
    const std::vector<BuiltButton> here = BuildAndDescribe(Display(), prefix);

    std::vector<std::unique_ptr<CTQImageButton>> made;
    std::thread worker([&] { made = CTQImageButtonPanel::MakePictureButtons(prefix, 20, true); });
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(BuildAndDescribe(Display(), prefix) == here);
    worker.join();

    CTQImageButtonPanel panel(Display());
    EXPECT_EQ(panel.AddPictureButtons(std::move(made), 0, 0, 30, 30, L"", false), 5);
    ASSERT_EQ(here.size(), 5u);
    EXPECT_TRUE(Describe(panel) == here);
    EXPECT_EQ(here[2].text, L"Katt");
}

// Once cancelled, no picture is decoded; every picture still has its button, as a
// placeholder, so what is made is complete in shape (and thrown away by its maker).
TEST_F(DisplayTest, ACancelledMakeDecodesNothingMore)
{
    WriteFivePictures(m_folder);
    const std::atomic<bool> cancelled{ true };
    const auto made =
        CTQImageButtonPanel::MakePictureButtons(m_folder.File(L"B"), 20, true, -1, &cancelled);
    ASSERT_EQ(made.size(), 5u);
    for (const auto& button : made)
        EXPECT_FALSE(button->HasPicture());
}

}  // namespace
