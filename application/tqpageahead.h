#pragma once

#include "platform/files.h"
#include "platform/types.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CTQImageButton;

// The page of one folder made on a thread of its own while the sound before it plays: its
// pictures found and decoded, their buttons made with their captions, and each picture
// stretched to its button's size, so that after the sound the page is only put together and
// drawn. The folder is watched from before it is first read; a page whose folder changed
// meanwhile is not used.
class CTQPageAhead {
public:
    // How the engine draws a page: the captions' font height and the answer bar's buttons.
    struct TLook {
        int fontHeight = 0;
        std::array<COLORREF, 3> barColours{};
        std::array<std::wstring, 3> barTexts;
    };

    // What the thread made: whether the folder holds a page, its picture buttons and the
    // three buttons of its answer bar.
    struct TMadePage {
        TMadePage();
        ~TMadePage();
        TMadePage(TMadePage&&) noexcept;
        TMadePage& operator=(TMadePage&&) noexcept;
        bool hasPictures = false;
        std::vector<std::unique_ptr<CTQImageButton>> pictures;
        std::vector<std::unique_ptr<CTQImageButton>> answerBar;
    };

    // The sizes the page is laid out for: the view's client area and the screen.
    CTQPageAhead(std::wstring folder, SIZE client, SIZE screen, TLook look);
    ~CTQPageAhead();
    CTQPageAhead(const CTQPageAhead&) = delete;
    CTQPageAhead& operator=(const CTQPageAhead&) = delete;

    // Waits until the page is made. True, with the page, when it was made whole for this
    // folder and nothing in the folder has changed since the watch began.
    bool Take(const std::wstring& folder, TMadePage& page);

private:
    void Make();

    const std::wstring m_strFolder;
    platform::FolderWatch m_Watch;
    const SIZE m_Client;
    const SIZE m_Screen;
    const TLook m_Look;
    std::atomic<bool> m_bCancelled{ false };
    // Written by the worker, read after it has been joined.
    bool m_bMade = false;
    TMadePage m_Page;
    std::thread m_Worker;
};
