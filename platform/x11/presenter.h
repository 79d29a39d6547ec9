// Sends the board's ARGB32 pixels to its window in one copy: straight from a back buffer
// in shared memory where the server offers MIT-SHM, through a shared scratch image when the
// present is scaled, and with XPutImage where there is no shared memory. Internal to the
// x11 backend; window.cpp finds the window and hands the present over.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {
class Image;
}

namespace platform::x11 {

class SharedSegment;

// The window a present goes to, with its client area's size.
struct PresentTarget {
    Window window = 0;
    GC gc = nullptr;
    int width = 0;
    int height = 0;
};

class Presenter {
public:
    // The process's one presenter; it lives until the process ends.
    static Presenter& Shared();

    Presenter();
    ~Presenter();
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;

    // Asks the server what the visual and MIT-SHM allow, once; best done while it is idle.
    void Probe(Display* display);
    // See platform::PresentToWindow.
    void Present(Display* display, const PresentTarget& target, const PixelView& source,
                 RECT sourceRect, RECT destClientRect);
    // See platform::CreatePresentableImage.
    bool CreatePresentableImage(Display* display, int width, int height, Image& image);

private:
    static void ReleasePresentable(std::uint32_t* pixels, void* owner);

    void ProbeLocked(Display* display);
    bool PresentShared(Display* display, const PresentTarget& target, const PixelView& source,
                       int sourceX, int sourceY, int left, int top, int width, int height);
    bool EnsureScratchSegment(Display* display, int width, int height);

    std::mutex m_mutex;
    bool m_probed = false;
    bool m_fastFormat = false;
    bool m_shmAvailable = false;
    // The scratch image for scaled presents, grown when a larger one is needed.
    std::unique_ptr<SharedSegment> m_scratchSegment;
    bool m_scratchSegmentFailed = false;
    std::vector<std::uint32_t> m_scratch;
    // Back buffers in shared memory (CreatePresentableImage), by their first pixel. Each is
    // owned by its image and removed here when the image releases it.
    std::map<const std::uint32_t*, SharedSegment*> m_presentable;
};

}  // namespace platform::x11
