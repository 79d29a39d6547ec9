// Watched keys through the RECORD extension. Internal to the x11 backend; the board starts
// and stops the watch through platform/desktop.h.
#pragma once

#include "platform/types.h"

#include <X11/Xlib.h>
#include <X11/extensions/record.h>

#include <array>
#include <functional>
#include <memory>

namespace platform::x11 {

class KeyWatch {
public:
    using KeyHandler = std::function<void(int virtualKey, bool down, DWORD time)>;

    KeyWatch() = default;
    // Ends the recording and closes both connections.
    ~KeyWatch();
    KeyWatch(const KeyWatch&) = delete;
    KeyWatch& operator=(const KeyWatch&) = delete;

    // Starts recording every client's keys; onKey runs on the user-interface thread. False
    // when it cannot (no display, no RECORD extension): said once per process on stderr.
    bool Start(KeyHandler onKey);

private:
    struct DisplayCloser {
        void operator()(Display* display) const { XCloseDisplay(display); }
    };
    using Connection = std::unique_ptr<Display, DisplayCloser>;

    static void OnRecordedData(XPointer self, XRecordInterceptData* record);
    void BuildKeycodeTable();
    void ReadRecordedKeys();

    // One to control the recording context, one that carries the recorded data.
    Connection m_control;
    Connection m_data;
    XRecordContext m_context = 0;
    int m_dataFd = -1;  // m_data's socket, while the message loop watches it
    std::array<int, 256> m_virtualKeyOfKeycode{};
    KeyHandler m_onKey;
};

}  // namespace platform::x11
