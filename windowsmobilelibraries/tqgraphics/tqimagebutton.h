// CTQImageButton: one choosable picture on a page. Its surface holds the picture at the
// picture's own pixel size; the button knows the picture's companion files (sound and
// caption), where it stands on the back buffer and how large it is shown there, and draws
// itself as the picture stretched into that rectangle with a coloured frame around it.
//
// A blank button has no picture: its surface is made empty at a given size (the answer
// bar's buttons), filled and written on by the panel.
#pragma once

#include "content/contentrules.h"
#include "platform/types.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CTQImageButton : public CTQSurface {
public:
    static constexpr COLORREF kNormalColor = RGB(90, 90, 90);
    static constexpr COLORREF kHighlightColor = RGB(0, 255, 0);
    static constexpr int kFrameWidth = 12;
    static constexpr int kDefaultFontHeight = 82;
    // Only this many bytes of a caption file are read.
    static constexpr std::size_t kMaxTextBytes = CTQContentRules::CaptionBytes;
    // Read past the cut to tell a cut UTF-8 character from Windows-1252 bytes.
    static constexpr std::size_t kLookAheadBytes = 3;

    // Loads the picture and finds its companion files beside it: the picture as .jpg, .bmp
    // or .png of the same base name, the sound from the first six characters of the file
    // name with .mp3, .wma, .wav or .wmv, the caption as .txt of the same base name. The
    // caption is written onto the picture when drawText is true. ok tells whether the
    // picture surface exists. A picture that cannot be loaded still gets its companion
    // paths and defaults, so its owner may keep it as a placeholder (it draws only a frame).
    CTQImageButton(std::wstring picturePath, int fontHeight, bool& ok, bool drawText);
    // The same from the picture already decoded (empty when it could not be): a page
    // decodes all its pictures together before it makes their buttons.
    CTQImageButton(std::wstring picturePath, platform::Image decoded, int fontHeight, bool& ok,
                   bool drawText);
    // An empty surface of width x height when both are non-zero; otherwise no surface and
    // ok is left as it was.
    CTQImageButton(int width, int height, int fontHeight, bool& ok);
    ~CTQImageButton();

    void SetPosition(int x, int y) { m_ButtonPosition = { x, y }; }
    POINT GetPosition() const { return m_ButtonPosition; }
    void SetSize(int cx, int cy) { m_ButtonSize = { cx, cy }; }
    SIZE GetSize() const { return m_ButtonSize; }

    // The current colour is not touched; SetHighlighted or Blink brings it in.
    void SetNormalColor(COLORREF colour) { m_NormalColor = colour; }
    void SetNormalWidth(int width) { m_nNormalWidth = width; }
    void SetHighlightWidth(int width) { m_nHighlightWidth = width; }
    // band > 0: the highlight is drawn as two bands of that width inside the button, dark
    // outside and light inside, so that one of them stands out on any picture; 0: one band
    // of the highlight colour and width.
    void SetBoldHighlight(int band) { m_nBoldBand = band; }
    int GetBoldHighlight() const { return m_nBoldBand; }
    static constexpr COLORREF kBoldDarkColor = RGB(0, 0, 0);
    static constexpr COLORREF kBoldLightColor = RGB(255, 255, 0);
    // Sets the flag and makes the current colour the highlight or the normal colour; does
    // not redraw.
    void SetHighlighted(bool highlighted);
    bool IsHighlighted() const { return m_bHighlighted; }
    // "Prune" cuts the picture to its centred square before stretching; anything else
    // stretches the whole picture.
    void SetFitMode(std::wstring fitMode) { m_strFitMode = std::move(fitMode); }

    std::wstring GetPicturePath() const { return m_strPicturePath; }
    std::wstring GetSoundPath() const { return m_strSoundPath; }
    // The sound a picture file gets: the first of ".mp3", ".wma", ".wav", ".wmv" after the
    // first six characters of its name; empty when there is none.
    static std::wstring FindSoundPath(const std::wstring& picturePath);
    std::wstring GetTextPath() const { return m_strTextPath; }
    void SetSoundPath(std::wstring path) { m_strSoundPath = std::move(path); }

    // Stretches the picture into (x, y, x + cx, y + cy) of the back buffer, then draws the
    // frame along the button's own position and size. Nothing at all when cx or cy is 0.
    //
    // Once drawn, a button keeps only what its redraws need: the picture stretched to that
    // size. The picture itself is let go and read again from its file (captions written on
    // again) only when it is drawn at another size.
    void Draw(int x, int y, int cx, int cy);
    // The picture alone, without a frame, stretched into (x, y, x + cx, y + cy) of the back
    // buffer with that fit mode (the picture shown large).
    void DrawPicture(int x, int y, const std::wstring& fitMode, int cx, int cy);
    // Flips the frame between the normal and the highlight colour (normal first) and
    // redraws at the button's own position and size.
    void Blink();
    // Writes the text, bold and centred, onto the button's own surface.
    void DrawText(std::wstring text);

    // State for the panel and tests.
    COLORREF GetNormalColor() const { return m_NormalColor; }
    COLORREF GetCurrentColor() const { return m_CurrentColor; }
    int GetNormalWidth() const { return m_nNormalWidth; }
    int GetHighlightWidth() const { return m_nHighlightWidth; }
    int GetFontHeight() const { return m_nFontHeight; }
    std::wstring GetFitMode() const { return m_strFitMode; }
    std::wstring GetText() const { return m_strText; }
    // False for a placeholder whose picture could not be loaded, true also while only the
    // picture's stretched copy is kept.
    bool HasPicture() const { return Surface() != nullptr || IsPictureReleased(); }

    // The caption of a text file: its first 100 bytes as 8-bit text (UTF-8 when valid,
    // otherwise Windows-1252). Empty when the file cannot be read.
    static std::wstring ReadText(const std::wstring& path);
    // The same for the first bytes of a file: a UTF-8 character cut at byte 100 is left
    // out whole; bytes past 100 only help to tell UTF-8 from Windows-1252.
    static std::wstring TextFromBytes(std::string_view bytes);

private:
    void DrawBoldFrame(CTQSurface& back);
    // Companion files, defaults and caption of a picture button whose picture is loaded.
    void SetUpPicture(const std::wstring& picturePath, int fontHeight, bool ok, bool drawText);
    void FindCompanionFiles(const std::wstring& picturePath);
    void SetDefaults(int fontHeight);
    // Writes text onto the picture; the caller holds m_PictureMutex.
    void WriteText(std::wstring text);
    int FitTextHeight(int surfaceHeight);
    bool LettersAreCut(const std::wstring& text, int top, int surfaceHeight);
    // Reads the picture let go after its last draw again and writes its captions on it.
    void ReloadPicture();

    std::wstring m_strPicturePath;
    std::wstring m_strSoundPath;
    std::wstring m_strTextPath;
    POINT m_ButtonPosition;
    SIZE m_ButtonSize;  // on the back buffer; the surface size is the base's m_Size
    COLORREF m_NormalColor = kNormalColor;
    COLORREF m_HighlightColor = kHighlightColor;
    COLORREF m_CurrentColor = kNormalColor;
    int m_nNormalWidth = kFrameWidth;
    int m_nHighlightWidth = kFrameWidth;
    int m_nBoldBand = 0;
    int m_nFontHeight = kDefaultFontHeight;
    bool m_bHighlighted = false;
    std::wstring m_strFitMode;
    std::wstring m_strBasePath;
    std::wstring m_strText;
    bool m_bBlinkPhase = false;
    // What the picture's pixels are made from, to read them again: the file it was loaded
    // from (empty for a blank button, which is never let go) and the texts written on it.
    std::wstring m_strLoadedPath;
    std::vector<std::wstring> m_WrittenTexts;
    // Drawing, letting go and reading again happen under it: a page may be drawn from more
    // than one thread.
    std::mutex m_PictureMutex;
};
