// Shared set-up of the button tests: a scratch folder of content files, small pictures, and
// a display with its back buffer on the fake screen.
#pragma once

#include "platform/fake/fake_audio.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/fake/fake_window.h"
#include "platform/files.h"
#include "platform/pixels.h"
#include "platform/window.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace buttons_test {

// A folder under the temporary directory, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orlido-buttons-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::wstring Path() const { return platform::FromUtf8(m_path); }
    std::wstring File(const std::wstring& name) const { return Path() + L"/" + name; }

    void Write(const std::wstring& name, const std::string& bytes) const
    {
        std::ofstream out(m_path + "/" + platform::ToUtf8(name), std::ios::binary);
        out << bytes;
    }

    // A solid picture of the given size, encoded as its extension says (".png" or ".bmp"
    // as PNG, ".jpg" as JPEG).
    void WritePicture(const std::wstring& name, COLORREF colour, int width = 8,
                      int height = 8) const
    {
        platform::Image image;
        image.Create(width, height);
        image.Fill(platform::ArgbFromColor(colour));
        if (name.size() > 4 && name.substr(name.size() - 4) == L".jpg") {
            std::string jpeg;
            platform::EncodeJpeg(image, 95, jpeg);
            Write(name, jpeg);
        } else {
            platform::WritePng(image, File(name));
        }
    }

private:
    std::string m_path;
};

// A fake screen with the view's window covering it, the display surface and its back
// buffer, cleared to white.
class DisplayTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;
    static constexpr COLORREF kWhite = RGB(255, 255, 255);

    void SetUp() override
    {
        fake::ResetMessageLoop();
        fake::ResetAudio();
        fake::ResetWindow(kWidth, kHeight);
        m_window = platform::CreateMainWindow(L"buttons");
        bool ok = false;
        m_display = std::make_unique<CTQSurface>(TQSURFACE_DISPLAY, kWidth, kHeight, ok, m_window);
        ASSERT_TRUE(ok);
        ASSERT_NE(Back(), nullptr);
        ClearBack();
    }

    void TearDown() override
    {
        m_display.reset();
        platform::DestroyWindow(m_window);
    }

    CTQSurface* Back() const { return CTQSurface::GetBack(); }
    CTQSurface* Display() const { return m_display.get(); }

    void ClearBack(COLORREF colour = kWhite)
    {
        ASSERT_TRUE(Back()->BeginDraw());
        Back()->Clear(colour);
        Back()->EndDraw();
    }

    COLORREF BackPixel(int x, int y) const { return Back()->GetImage()->PixelColor(x, y); }

    ScratchFolder m_folder;

private:
    HWND m_window = 0;
    std::unique_ptr<CTQSurface> m_display;
};

}  // namespace buttons_test
