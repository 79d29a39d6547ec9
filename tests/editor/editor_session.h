// The editor as a carer starts it, on the display in $DISPLAY, for tests that look at the
// screen with Xlib: kept apart from them because Qt's headers and Xlib's macros do not mix.
#pragma once

#include <memory>
#include <string>

class EditorSession {
public:
    EditorSession();
    ~EditorSession();

    // Opens the editor on content (its settings file setupFile), adds one picture of a single
    // colour (0xRRGGBB) with a caption and sound to the first page, then presses F9 ("Try it")
    // for the board program. Returns the started board's process id, 0 on failure (why in
    // failure).
    long long MakePageAndTryIt(const std::string& content, const std::string& setupFile,
                               const std::string& board, unsigned colour,
                               const std::string& soundFile, std::string& failure);

private:
    struct Qt;
    std::unique_ptr<Qt> m_qt;
};
