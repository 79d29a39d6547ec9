#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"

#include "platform/files.h"
#include "platform/pixels.h"
#include "superlibraries/tqdewindows/tqdewindowsnew.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

constexpr int kBoldWeight = 700;
// Near-black: black itself (0) would be the drawing layer's unchanged state and select no
// text colour after a fresh attach.
constexpr COLORREF kTextColor = RGB(1, 1, 1);
// The sound belongs to a picture through this many leading characters of its file name.
// The letter and the number: "B00001".
constexpr std::size_t kSoundStemLength = 1 + CTQContentRules::NumberDigits;

// The first candidate stem + extension that can be opened; empty when none can.
template <std::size_t N>
std::wstring FirstExisting(const std::wstring& stem,
                           const std::array<const wchar_t*, N>& extensions)
{
    for (const wchar_t* extension : extensions) {
        const std::wstring candidate = stem + extension;
        if (CanOpenFile(candidate))
            return candidate;
    }
    return {};
}

// The path up to and including its last separator, then at most six characters of the
// file name (the extension's "." and more when the name is shorter).
std::wstring SoundStem(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"/\\");
    const std::size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    return path.substr(0, nameStart + kSoundStemLength);
}

// Length of a UTF-8 sequence from its first byte; 0 for a byte that cannot start one.
std::size_t Utf8SequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Where the last character of bytes begins when bytes end inside a UTF-8 character (its
// first byte is there, not all of the rest); bytes.size() otherwise.
std::size_t StartOfCutUtf8Character(std::string_view bytes)
{
    std::size_t start = bytes.size();
    for (int back = 0; back < 3 && start > 0; ++back) {
        if ((static_cast<unsigned char>(bytes[start - 1]) & 0xC0) != 0x80)
            break;
        --start;
    }
    if (start == 0)
        return bytes.size();
    const std::size_t lead = start - 1;
    const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(bytes[lead]));
    return length > 1 && lead + length > bytes.size() ? lead : bytes.size();
}

bool IsUtf8(std::string_view bytes)
{
    // DecodeText8 takes UTF-8 exactly when it is valid; FromUtf8 escapes invalid bytes.
    return platform::DecodeText8(bytes) == platform::FromUtf8(bytes);
}

}  // namespace

CTQImageButton::CTQImageButton(std::wstring picturePath, int fontHeight, bool& ok, bool drawText)
    : CTQSurface(picturePath, ok, TQSURFACE_PICTURE)
{
    SetUpPicture(picturePath, fontHeight, ok, drawText);
}

CTQImageButton::CTQImageButton(std::wstring picturePath, platform::Image decoded, int fontHeight,
                               bool& ok, bool drawText)
    : CTQSurface(std::move(decoded), ok, TQSURFACE_PICTURE)
{
    SetUpPicture(picturePath, fontHeight, ok, drawText);
}

void CTQImageButton::SetUpPicture(const std::wstring& picturePath, int fontHeight, bool ok,
                                  bool drawText)
{
    FindCompanionFiles(picturePath);
    SetDefaults(fontHeight);
    if (!ok)
        return;  // no picture: nothing to write the caption on
    m_strLoadedPath = picturePath;
    m_strText = ReadText(m_strTextPath);
    if (drawText)
        DrawText(m_strText);
}

CTQImageButton::CTQImageButton(int width, int height, int fontHeight, bool& ok)
    : CTQSurface(TQSURFACE_PICTURE, width, height, ok)
{
    SetDefaults(fontHeight);
}

CTQImageButton::~CTQImageButton() = default;

std::wstring CTQImageButton::FindSoundPath(const std::wstring& picturePath)
{
    return FirstExisting(SoundStem(picturePath), CTQContentRules::SoundExtensions);
}

void CTQImageButton::FindCompanionFiles(const std::wstring& picturePath)
{
    const std::size_t dot = picturePath.rfind(L'.');
    m_strBasePath = dot == std::wstring::npos ? std::wstring() : picturePath.substr(0, dot);
    m_strPicturePath = FirstExisting(m_strBasePath, CTQContentRules::PictureExtensions);
    m_strSoundPath = FindSoundPath(picturePath);
    m_strTextPath = m_strBasePath + CTQContentRules::CaptionExtension;
}

void CTQImageButton::SetDefaults(int fontHeight)
{
    m_NormalColor = kNormalColor;
    m_HighlightColor = kHighlightColor;
    m_CurrentColor = m_NormalColor;
    m_nNormalWidth = kFrameWidth;
    m_nHighlightWidth = m_nNormalWidth;
    m_nFontHeight = fontHeight > 0 ? fontHeight : kDefaultFontHeight;
}

void CTQImageButton::SetHighlighted(bool highlighted)
{
    m_bHighlighted = highlighted;
    m_CurrentColor = highlighted ? m_HighlightColor : m_NormalColor;
}

void CTQImageButton::Draw(int x, int y, int cx, int cy)
{
    if (cx == 0 || cy == 0)
        return;
    CTQSurface* back = GetBack();
    if (!back)
        return;
    // A placeholder without a picture shows only its frame.
    DrawPicture(x, y, m_strFitMode, cx, cy);
    if (!back->BeginDraw())
        return;
    const bool wide = m_bHighlighted && m_CurrentColor == m_HighlightColor;
    if (wide && m_nBoldBand > 0) {
        DrawBoldFrame(*back);
        back->EndDraw();
        return;
    }
    back->SetWidth(wide ? m_nHighlightWidth : m_nNormalWidth);
    back->SetColor(m_CurrentColor);
    back->Box(m_ButtonPosition.x, m_ButtonPosition.y, m_ButtonSize.cx, m_ButtonSize.cy, 0);
    back->EndDraw();
}

void CTQImageButton::DrawBoldFrame(CTQSurface& back)
{
    // Strokes are centred on their lines: each band's line runs half a band inside its edge.
    const int band = m_nBoldBand;
    const auto box = [&](COLORREF colour, int inset) {
        back.SetWidth(band);
        back.SetColor(colour);
        back.Box(m_ButtonPosition.x + inset, m_ButtonPosition.y + inset,
                 m_ButtonSize.cx - 2 * inset, m_ButtonSize.cy - 2 * inset, 0);
    };
    box(kBoldDarkColor, band / 2);
    box(kBoldLightColor, band + band / 2);
}

void CTQImageButton::DrawPicture(int x, int y, const std::wstring& fitMode, int cx, int cy)
{
    CTQSurface* back = GetBack();
    if (!back)
        return;
    std::lock_guard lock(m_PictureMutex);
    if (!HasPicture())
        return;
    if (IsPictureReleased() && !KeepsCopyFor(fitMode, cx, cy))
        ReloadPicture();
    back->DrawSurface(this, x, y, fitMode, cx, cy);
    // Redraws at this size need only the copy just made; a blank button's pixels are the
    // only record of what was painted on it.
    if (!m_strLoadedPath.empty())
        ReleasePictureKeepingCopy(fitMode, cx, cy);
}

void CTQImageButton::ReloadPicture()
{
    platform::Image image;
    // A picture whose file has gone meanwhile is drawn from its kept copy.
    if (!platform::DecodePicture(m_strLoadedPath, image, GetScreenSize()))
        return;
    RestorePicture(std::move(image));
    const std::vector<std::wstring> texts = std::move(m_WrittenTexts);
    m_WrittenTexts.clear();
    for (const std::wstring& text : texts)
        WriteText(text);
}

void CTQImageButton::Blink()
{
    m_CurrentColor = m_bBlinkPhase ? m_HighlightColor : m_NormalColor;
    m_bBlinkPhase = !m_bBlinkPhase;
    Draw(m_ButtonPosition.x, m_ButtonPosition.y, m_ButtonSize.cx, m_ButtonSize.cy);
}

void CTQImageButton::DrawText(std::wstring text)
{
    std::lock_guard lock(m_PictureMutex);
    if (IsPictureReleased())
        ReloadPicture();
    WriteText(std::move(text));
}

namespace {
// The tallest and the deepest letters of a line: answer-bar words and captions are fitted
// so that these show whole.
const std::wstring kTallAndDeep = L"\u00C5lbjgy";
}  // namespace

void CTQImageButton::WriteText(std::wstring text)
{
    // A caption file saved with a line break at its end has no last line to show: counted,
    // the empty line would lift the text by half a line.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
        text.pop_back();
    if (text.empty())
        return;
    if (!BeginDraw())
        return;
    SetFont(CTQDeWindows::GetDefaultFontFace(), m_nFontHeight, kBoldWeight);
    SetColor(kTextColor);
    SetBkMode(TRANSPARENT);
    const SIZE surface = GetSurfaceSize();
    RECT block{ 0, 0, surface.cx, surface.cy };
    Text(block, text, DT_CALCRECT);
    const int lineHeight = block.bottom - block.top;
    int dy = surface.cy / 2 - lineHeight / 2;
    // Letters lie inside their line: only a line taller than the button can lose any, so
    // captions on pictures are measured once, as before.
    if (lineHeight > surface.cy &&
        (LettersAreCut(text, dy, surface.cy) || LettersAreCut(kTallAndDeep, dy, surface.cy))) {
        dy = FitTextHeight(surface.cy);
        block = { 0, 0, surface.cx, surface.cy };
        Text(block, text, DT_CALCRECT);
    }
    const int dx = surface.cx / 2 - (block.right - block.left) / 2;
    block = { block.left + dx, block.top + dy, block.right + dx, block.bottom + dy };
    Text(block, text, DT_NOCLIP);
    EndDraw();
    if (!m_strLoadedPath.empty())
        m_WrittenTexts.push_back(std::move(text));
}

bool CTQImageButton::LettersAreCut(const std::wstring& text, int top, int surfaceHeight)
{
    RECT ink{ 0, 0, 0, 0 };
    Text(ink, text, DT_CALCRECT | DT_CALCINK);
    return ink.bottom > ink.top && (top + ink.top < 0 || top + ink.bottom > surfaceHeight);
}

// On a low screen (1024x600) the answer bar is lower than the words' letters at the font
// height: they would lose their tops and bottoms. Such a text gets a font whose tallest and
// deepest letters fit, placed on the line those letters share, so that words side by side
// ("Tillbaka", "Nej", "Ja") keep one size and one baseline. Returns the block's vertical
// offset.
int CTQImageButton::FitTextHeight(int surfaceHeight)
{
    constexpr int kMargin = 2;
    RECT ink{ 0, 0, 0, 0 };
    Text(ink, kTallAndDeep, DT_CALCRECT | DT_CALCINK);
    const int inkHeight = std::max<int>(1, ink.bottom - ink.top);
    const int room = std::max(1, surfaceHeight - 2 * kMargin);
    const int fitting = std::max(1, m_nFontHeight * room / inkHeight);
    SetFont(CTQDeWindows::GetDefaultFontFace(), fitting, kBoldWeight);
    ink = { 0, 0, 0, 0 };
    Text(ink, kTallAndDeep, DT_CALCRECT | DT_CALCINK);
    return (surfaceHeight - (ink.bottom - ink.top)) / 2 - ink.top;
}

std::wstring CTQImageButton::ReadText(const std::wstring& path)
{
    // A few bytes past the cut tell whether a character cut there is UTF-8; they are never
    // part of the text.
    std::string bytes;
    if (path.empty() || !platform::ReadFileBytes(path, kMaxTextBytes + kLookAheadBytes, bytes))
        return {};
    return TextFromBytes(bytes);
}

std::wstring CTQImageButton::TextFromBytes(std::string_view bytes)
{
    const std::string_view head = bytes.substr(0, std::min(bytes.size(), kMaxTextBytes));
    const std::size_t cut = StartOfCutUtf8Character(head);
    if (bytes.size() > head.size() && cut < head.size()) {
        // The cut falls inside a character: UTF-8 when the text up to that character's
        // end is, and then the cut character is left out. Otherwise Windows-1252, where
        // every byte is a character of its own.
        const std::size_t end = cut + Utf8SequenceLength(static_cast<unsigned char>(head[cut]));
        if (end <= bytes.size() && IsUtf8(bytes.substr(0, end)))
            return platform::FromUtf8(head.substr(0, cut));
    }
    return platform::DecodeText8(head);
}
