#include "windowsmobilelibraries/tqgraphics/tqimagebuttonpanel.h"

#include "content/contentrules.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/pixels.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// The blink timer's callback has no object argument: it reaches the panel through the
// current panel. The lock keeps a panel being destroyed on another thread (a joystick
// choice builds the next page on the worker) from vanishing under a running tick.
std::mutex g_PanelMutex;
CTQImageButtonPanel* g_pCurrentPanel = nullptr;
UINT_PTR g_nBlinkTimerId = 0;

// The first picture numbered n under the prefix, ".jpg" before ".png".
bool FindNumberedPicture(const std::wstring& prefix, int n, std::wstring& path)
{
    std::wstring name;
    const std::wstring stem = prefix + IntToText5(n);
    for (const wchar_t* extension : CTQContentRules::PagePictureExtensions) {
        if (FindFirstMatch(stem + L"*" + extension, path, name))
            return true;
    }
    return false;
}

// The numbered pictures under the prefix, the search stopping after maxCount (-1: none).
std::vector<std::wstring> NumberedPictures(const std::wstring& prefix, int maxCount)
{
    std::vector<std::wstring> paths;
    std::wstring path;
    while ((maxCount < 0 || static_cast<int>(paths.size()) < maxCount) &&
           FindNumberedPicture(prefix, static_cast<int>(paths.size()) + 1, path))
        paths.push_back(path);
    return paths;
}

}  // namespace

CTQImageButtonPanel::CTQImageButtonPanel(CTQSurface* owner) : m_pOwner(owner)
{
    std::lock_guard lock(g_PanelMutex);
    g_pCurrentPanel = this;
}

CTQImageButtonPanel::~CTQImageButtonPanel()
{
    {
        std::lock_guard lock(g_PanelMutex);
        // Only the current panel owns the process-wide timer; an older panel destroyed
        // late must not stop the blinking of the page that replaced it.
        if (g_pCurrentPanel == this) {
            platform::KillTimer(0, g_nBlinkTimerId);
            g_nBlinkTimerId = 0;
            g_pCurrentPanel = nullptr;
        }
    }
    for (CTQImageButton* button : m_Buttons)
        delete button;
    m_Buttons.clear();
}

CTQImageButtonPanel* CTQImageButtonPanel::GetCurrentPanel()
{
    std::lock_guard lock(g_PanelMutex);
    return g_pCurrentPanel;
}

UINT_PTR CTQImageButtonPanel::GetBlinkTimerId()
{
    std::lock_guard lock(g_PanelMutex);
    return g_nBlinkTimerId;
}

void CTQImageButtonPanel::SetBlinkPeriod(int periodMs)
{
    m_nBlinkPeriod = periodMs;
    if (periodMs < 0)
        StopBlinkTimer();
    else
        StartBlinkTimer();
}

void CTQImageButtonPanel::StartBlinkTimer()
{
    std::lock_guard lock(g_PanelMutex);
    platform::KillTimer(0, g_nBlinkTimerId);
    const int halfPeriod = std::max(m_nBlinkPeriod, 0) / 2;
    g_nBlinkTimerId = platform::SetTimer(0, 0, static_cast<UINT>(halfPeriod), BlinkTimerProc);
}

void CTQImageButtonPanel::StopBlinkTimer()
{
    std::lock_guard lock(g_PanelMutex);
    platform::KillTimer(0, g_nBlinkTimerId);
    g_nBlinkTimerId = 0;
}

void CTQImageButtonPanel::BlinkTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    std::lock_guard lock(g_PanelMutex);
    if (id != g_nBlinkTimerId || !g_pCurrentPanel)
        return;
    g_pCurrentPanel->OnBlinkTick();
}

void CTQImageButtonPanel::OnBlinkTick()
{
    if (!IsIndex(m_nCurrentIndex))
        return;
    CTQImageButton* first = m_Buttons[static_cast<std::size_t>(m_nCurrentIndex)];
    first->Blink();
    const int last =
        IsIndex(m_nCurrentLast) ? std::max(m_nCurrentLast, m_nCurrentIndex) : m_nCurrentIndex;
    for (int i = m_nCurrentIndex + 1; i <= last; ++i) {
        CTQImageButton* button = m_Buttons[static_cast<std::size_t>(i)];
        button->Blink();
        // Each button keeps its own blink phase: one that came out of step blinks once more.
        if (button->GetCurrentColor() != first->GetCurrentColor())
            button->Blink();
    }
    if (m_bPresentSuspended || !m_pOwner)
        return;
    // Only the blinking buttons changed: only their areas go to the screen.
    for (int i = m_nCurrentIndex; i <= last; ++i) {
        const RECT area = GetButtonArea(i);
        m_pOwner->PresentRect(area.left, area.top, area.right, area.bottom);
    }
}

bool CTQImageButtonPanel::FindPicture(const std::wstring& prefix, int number, std::wstring& path)
{
    return FindNumberedPicture(prefix, number, path);
}

bool CTQImageButtonPanel::HasPictures(const std::wstring& prefix)
{
    std::wstring path;
    return FindNumberedPicture(prefix, 1, path);
}

int CTQImageButtonPanel::CountPictures(const std::wstring& prefix, int limit)
{
    int count = 0;
    std::wstring path;
    while (count < limit && FindNumberedPicture(prefix, count + 1, path))
        ++count;
    return count;
}

int CTQImageButtonPanel::AddButtonsFromFolder(const std::wstring& prefix, int x, int y, int cx,
                                              int cy, const std::wstring& fitMode, bool centred,
                                              int maxCount)
{
    return AddPictureButtons(MakePictureButtons(prefix, m_nFontHeight, m_bDrawText, maxCount), x, y,
                             cx, cy, fitMode, centred);
}

std::vector<std::unique_ptr<CTQImageButton>>
CTQImageButtonPanel::MakePictureButtons(const std::wstring& prefix, int fontHeight, bool drawText,
                                        int maxCount, const std::atomic<bool>* cancel)
{
    // Decoding is most of building a page: find every numbered picture first, decode them
    // together, then make the buttons in order.
    const std::vector<std::wstring> paths = NumberedPictures(prefix, maxCount);
    // A page shows at most twelve pictures: the rest are not decoded at all, only counted
    // (their buttons stay placeholders for the page to drop).
    const std::size_t decoded =
        std::min(paths.size(), static_cast<std::size_t>(kMaxDecodedPictures));
    std::vector<platform::Image> images = platform::DecodePictures(
        std::vector<std::wstring>(paths.begin(),
                                  paths.begin() + static_cast<std::ptrdiff_t>(decoded)),
        CTQSurface::GetScreenSize(), cancel);
    images.resize(paths.size());
    std::vector<std::unique_ptr<CTQImageButton>> buttons;
    buttons.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        bool ok = false;
        buttons.push_back(std::make_unique<CTQImageButton>(paths[i], std::move(images[i]),
                                                           fontHeight, ok, drawText));
    }
    return buttons;
}

int CTQImageButtonPanel::AddPictureButtons(std::vector<std::unique_ptr<CTQImageButton>> buttons,
                                           int x, int y, int cx, int cy,
                                           const std::wstring& fitMode, bool centred)
{
    for (std::unique_ptr<CTQImageButton>& button : buttons)
        AppendPictureButton(button.release(), x, y, cx, cy, fitMode, centred);
    return static_cast<int>(buttons.size());
}

bool CTQImageButtonPanel::AddButton(const std::wstring& picturePath, int x, int y, int cx, int cy,
                                    const std::wstring& fitMode, bool centred)
{
    bool ok = false;
    auto* button = new CTQImageButton(picturePath, m_nFontHeight, ok, m_bDrawText);
    AppendPictureButton(button, x, y, cx, cy, fitMode, centred);
    return ok;
}

void CTQImageButtonPanel::AppendPictureButton(CTQImageButton* button, int x, int y, int cx, int cy,
                                              const std::wstring& fitMode, bool centred)
{
    // A picture that cannot be loaded stays as a placeholder (frame only, its sound and
    // sub-page still reachable), so every later index keeps its meaning.
    Place(button, x, y, cx, cy, centred);
    button->SetNormalColor(m_FrameColor);
    button->SetNormalWidth(m_nFrameWidth);
    button->SetHighlightWidth(m_nHighlightWidth);
    button->SetBoldHighlight(m_nBoldBand);
    button->SetFitMode(fitMode);
    m_Buttons.push_back(button);
}

bool CTQImageButtonPanel::AddBlankButton(int x, int y, int cx, int cy, COLORREF fillColor,
                                         bool centred)
{
    AddMadeBlankButton(MakeBlankButton(cx, cy, fillColor, m_nFontHeight), x, y, cx, cy, centred);
    return true;
}

std::unique_ptr<CTQImageButton>
CTQImageButtonPanel::MakeBlankButton(int cx, int cy, COLORREF fillColor, int fontHeight)
{
    bool ok = false;
    auto button = std::make_unique<CTQImageButton>(cx, cy, fontHeight, ok);
    if (cx > 0 && cy > 0 && button->BeginDraw()) {
        button->Clear(fillColor);
        button->EndDraw();
    }
    return button;
}

void CTQImageButtonPanel::AddMadeBlankButton(std::unique_ptr<CTQImageButton> button, int x, int y,
                                             int cx, int cy, bool centred)
{
    Place(button.get(), x, y, cx, cy, centred);
    button->SetNormalColor(m_FrameColor);
    button->SetNormalWidth(m_nFrameWidth);
    m_Buttons.push_back(button.release());
}

void CTQImageButtonPanel::Place(CTQImageButton* button, int x, int y, int cx, int cy, bool centred)
{
    // Centred: (x, y) is the middle of the button; halves truncate toward zero.
    if (centred)
        button->SetPosition(x - cx / 2, y - cy / 2);
    else
        button->SetPosition(x, y);
    if (cx >= 0)
        button->SetSize(cx, cy);
}

void CTQImageButtonPanel::SetButtonPosition(int index, int x, int y)
{
    if (IsIndex(index))
        m_Buttons[static_cast<std::size_t>(index)]->SetPosition(x, y);
}

void CTQImageButtonPanel::HighlightRange(int first, int last)
{
    Highlight(first);
    if (!IsIndex(first))
        return;
    for (int i = first + 1; i <= last && IsIndex(i); ++i)
        m_Buttons[static_cast<std::size_t>(i)]->SetHighlighted(true);
    m_nCurrentIndex = first;
    m_nCurrentLast = last;
}

void CTQImageButtonPanel::Highlight(int index, COLORREF)
{
    m_nCurrentLast = -1;
    for (CTQImageButton* button : m_Buttons) {
        button->SetNormalColor(m_FrameColor);
        button->SetHighlighted(false);
    }
    if (m_nBlinkPeriod > 0)
        StopBlinkTimer();
    if (!IsIndex(index))
        return;
    m_Buttons[static_cast<std::size_t>(index)]->SetHighlighted(true);
    if (m_nBlinkPeriod > 0)
        StartBlinkTimer();
}

void CTQImageButtonPanel::DrawButtons(int first, int last)
{
    if (m_Buttons.empty())
        return;
    const int from = first >= 0 ? first : 0;
    const int to = std::min(last >= 0 ? last : GetCount() - 1, GetCount() - 1);
    for (int i = from; i <= to; ++i) {
        CTQImageButton* button = m_Buttons[static_cast<std::size_t>(i)];
        const POINT position = button->GetPosition();
        const SIZE size = button->GetSize();
        button->Draw(position.x, position.y, size.cx, size.cy);
    }
}

std::wstring CTQImageButtonPanel::GetSoundPath(int index) const
{
    return IsIndex(index) ? m_Buttons[static_cast<std::size_t>(index)]->GetSoundPath()
                          : std::wstring();
}

void CTQImageButtonPanel::SetSoundPath(int index, const std::wstring& path)
{
    if (IsIndex(index))
        m_Buttons[static_cast<std::size_t>(index)]->SetSoundPath(path);
}

void CTQImageButtonPanel::SetButtonText(int index, const std::wstring& text)
{
    if (IsIndex(index))
        m_Buttons[static_cast<std::size_t>(index)]->DrawText(text);
}

int CTQImageButtonPanel::GetHighlightedIndex() const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_Buttons[static_cast<std::size_t>(i)]->IsHighlighted())
            return i;
    return -1;
}

RECT CTQImageButtonPanel::GetButtonArea(int index) const
{
    if (!IsIndex(index))
        return {};
    const CTQImageButton* button = m_Buttons[static_cast<std::size_t>(index)];
    const POINT p = button->GetPosition();
    const SIZE s = button->GetSize();
    // Half the widest frame reaches outside the button, and a round line end one more.
    const int reach = (std::max(button->GetNormalWidth(), button->GetHighlightWidth()) + 1) / 2 + 1;
    return { p.x - reach, p.y - reach, p.x + s.cx + reach, p.y + s.cy + reach };
}

int CTQImageButtonPanel::HitTest(int x, int y) const
{
    for (int i = 0; i < GetCount(); ++i) {
        const CTQImageButton* button = m_Buttons[static_cast<std::size_t>(i)];
        const POINT p = button->GetPosition();
        const SIZE s = button->GetSize();
        // 64-bit edges: a far-off position plus a large size must not overflow.
        const std::int64_t right = std::int64_t(p.x) + s.cx;
        const std::int64_t bottom = std::int64_t(p.y) + s.cy;
        if (x >= p.x && x < right && y >= p.y && y < bottom)
            return i;
    }
    return -1;
}

int CTQImageButtonPanel::HitTestAndSelect(int x, int y)
{
    const int index = HitTest(x, y);
    if (IsIndex(index))
        m_nCurrentIndex = index;
    return index;
}
