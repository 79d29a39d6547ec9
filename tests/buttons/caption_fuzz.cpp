// Fuzz target of the caption reader: any bytes of a caption file are decoded and written
// onto a button's surface without a crash or an out-of-bounds access.
#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"

#include "platform/fake/fake_window.h"
#include "platform/window.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

// The display must exist and lie on the screen for any drawing pass to open.
CTQSurface& Display()
{
    static CTQSurface* display = [] {
        fake::ResetWindow(320, 240);
        const HWND window = platform::CreateMainWindow(L"caption fuzz");
        bool ok = false;
        return new CTQSurface(TQSURFACE_DISPLAY, 320, 240, ok, window);
    }();
    return *display;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Display();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring text = CTQImageButton::TextFromBytes(bytes);
    if (text.size() > CTQImageButton::kMaxTextBytes)
        __builtin_trap();
    bool ok = false;
    CTQImageButton button(120, 60, 30, ok);
    button.DrawText(text);
    return 0;
}
