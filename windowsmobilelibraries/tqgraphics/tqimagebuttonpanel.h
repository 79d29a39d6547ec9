// CTQImageButtonPanel: the buttons of one page. It builds them from the numbered pictures
// of a page folder (B00001..., B00002..., no gap), adds the blank buttons of the answer bar,
// keeps every button's place on the back buffer, highlights one button, makes the current
// button blink on a timer of its own, finds the button under a point and draws any run of
// buttons into the back buffer. Positions and sizes are decided by the caller.
//
// The blink timer is process-wide and reaches the panel through the current panel (the
// most recently constructed one), so one panel is active at a time. A destroyed panel
// stops its timer and is no longer current, so no tick reaches it.
#pragma once

#include "platform/types.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CTQSurface;

class CTQImageButtonPanel {
public:
    static constexpr COLORREF kFrameColor = RGB(255, 0, 0);
    static constexpr int kFrameWidth = 12;
    static constexpr int kHighlightWidth = 12;
    static constexpr int kFontHeight = 82;
    // No page shows more pictures than this; later ones are found but never decoded.
    static constexpr int kMaxDecodedPictures = 12;

    // owner: the display surface whose Present the blink timer calls (not owned).
    explicit CTQImageButtonPanel(CTQSurface* owner);
    ~CTQImageButtonPanel();
    CTQImageButtonPanel(const CTQImageButtonPanel&) = delete;
    CTQImageButtonPanel& operator=(const CTQImageButtonPanel&) = delete;

    // For buttons added later (the frame colour also for every button at Highlight).
    void SetFrameColor(COLORREF colour) { m_FrameColor = colour; }
    void SetFrameWidth(int width) { m_nFrameWidth = width; }
    void SetHighlightWidth(int width) { m_nHighlightWidth = width; }
    // band > 0: picture buttons added later draw their highlight in two bands (see
    // CTQImageButton::SetBoldHighlight).
    void SetBoldHighlight(int band) { m_nBoldBand = band; }
    void SetFontHeight(int height) { m_nFontHeight = height; }
    // Full blink cycle in ms; the timer ticks every half period. Below 0 stops the timer,
    // 0 or more (re)starts it.
    void SetBlinkPeriod(int periodMs);

    // Whether picture 00001 exists under the prefix (folder + first letters of the names).
    static bool HasPictures(const std::wstring& prefix);
    // How many numbered pictures follow each other from 00001 under the prefix; the search
    // stops at limit.
    static int CountPictures(const std::wstring& prefix, int limit);
    // The file that is picture number (1, 2, ...) under the prefix, as the panel finds it.
    static bool FindPicture(const std::wstring& prefix, int number, std::wstring& path);
    // One picture button per numbered picture (".jpg" before ".png" for each number,
    // numbers from 00001 without a gap); returns how many numbered pictures it found.
    // Every found picture gets an index, also one that cannot be loaded (a placeholder
    // that shows only its frame), so the count always equals the number of buttons added.
    // The pictures are decoded side by side (the first kMaxDecodedPictures only, each
    // reduced when larger than the screen); the buttons (captions included) are made in
    // order on the calling thread. The search stops after maxCount pictures (-1: none).
    int AddButtonsFromFolder(const std::wstring& prefix, int x, int y, int cx, int cy,
                             const std::wstring& fitMode, bool centred, int maxCount = -1);
    // The picture buttons AddButtonsFromFolder makes, made apart from any panel so that a
    // page can be made on another thread (while a sound plays): pictures found, decoded side
    // by side, companion files found and captions written, in number order, placeholders
    // included. Once *cancel is true no further picture is decoded; the result is then
    // incomplete and only fit to be thrown away.
    static std::vector<std::unique_ptr<CTQImageButton>>
    MakePictureButtons(const std::wstring& prefix, int fontHeight, bool drawText, int maxCount = -1,
                       const std::atomic<bool>* cancel = nullptr);
    // Appends picture buttons made by MakePictureButtons as AddButtonsFromFolder appends its
    // own; returns their number.
    int AddPictureButtons(std::vector<std::unique_ptr<CTQImageButton>> buttons, int x, int y,
                          int cx, int cy, const std::wstring& fitMode, bool centred);
    // False when the picture cannot be loaded; the placeholder is appended all the same.
    bool AddButton(const std::wstring& picturePath, int x, int y, int cx, int cy,
                   const std::wstring& fitMode, bool centred);
    // A blank button, filled with the colour when cx and cy are both above 0. Always true.
    bool AddBlankButton(int x, int y, int cx, int cy, COLORREF fillColor, bool centred);
    // The blank button AddBlankButton makes, made apart from any panel (on any thread);
    // AddMadeBlankButton appends it as AddBlankButton appends its own.
    static std::unique_ptr<CTQImageButton> MakeBlankButton(int cx, int cy, COLORREF fillColor,
                                                           int fontHeight);
    void AddMadeBlankButton(std::unique_ptr<CTQImageButton> button, int x, int y, int cx, int cy,
                            bool centred);

    void SetButtonPosition(int index, int x, int y);
    // Makes button index the only highlighted one and restarts the blink timer; -1
    // highlights none and leaves the timer stopped. The colour is not used.
    void Highlight(int index, COLORREF colour = 0);
    // Highlights buttons first to last together (a row of the page) and makes them the ones
    // that blink, in step; Highlight of one button ends the range.
    void HighlightRange(int first, int last);
    // Draws buttons first to last into the back buffer; -1 means the first or the last.
    void DrawButtons(int first = -1, int last = -1);

    int GetCount() const { return static_cast<int>(m_Buttons.size()); }
    std::wstring GetSoundPath(int index) const;
    void SetSoundPath(int index, const std::wstring& path);
    void SetButtonText(int index, const std::wstring& text);

    // The first button whose rectangle holds the point (right and bottom edges outside),
    // or -1.
    // The highlighted button's index, -1 when none is.
    int GetHighlightedIndex() const;
    // The part of the back buffer a button covers, its frame included (a wide frame is
    // drawn across the button's edge); empty for an index that is not a button's.
    RECT GetButtonArea(int index) const;

    int HitTest(int x, int y) const;
    // HitTest, and a found index becomes the current index.
    int HitTestAndSelect(int x, int y);

    // State for the engine and tests.
    int GetBlinkPeriod() const { return m_nBlinkPeriod; }
    static CTQImageButtonPanel* GetCurrentPanel();
    static UINT_PTR GetBlinkTimerId();

    // The page's buttons in the order they were added; the index is the button index.
    std::vector<CTQImageButton*> m_Buttons;
    // While true the blink timer does not present the back buffer.
    bool m_bPresentSuspended = false;
    // The button that blinks; -1 is none.
    int m_nCurrentIndex = -1;
    // With HighlightRange, the last of the buttons that blink from m_nCurrentIndex; -1 otherwise.
    int m_nCurrentLast = -1;

private:
    bool IsIndex(int index) const { return index >= 0 && index < GetCount(); }
    // Places and styles a new picture button and appends it.
    void AppendPictureButton(CTQImageButton* button, int x, int y, int cx, int cy,
                             const std::wstring& fitMode, bool centred);
    void Place(CTQImageButton* button, int x, int y, int cx, int cy, bool centred);
    void StartBlinkTimer();
    void StopBlinkTimer();
    void OnBlinkTick();
    static void BlinkTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

    CTQSurface* m_pOwner = nullptr;
    COLORREF m_FrameColor = kFrameColor;
    int m_nFrameWidth = kFrameWidth;
    int m_nHighlightWidth = kHighlightWidth;
    int m_nBoldBand = 0;
    int m_nBlinkPeriod = 0;
    int m_nFontHeight = kFontHeight;
    bool m_bDrawText = true;
};
