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

    // Opens the editor on content with board as its board program and waits until the page
    // preview shows the board's own picture of the first page; then adds a picture of one
    // colour and waits until the board's picture of the changed page has come. The preview's
    // pixel at the new picture's centre (0xRRGGBB), or 0xFFFFFFFF on failure (why in failure).
    unsigned PreviewFromTheBoard(const std::string& content, const std::string& setupFile,
                                 const std::string& board, unsigned colour, std::string& failure);

private:
    struct Qt;
    std::unique_ptr<Qt> m_qt;
};
