// CTQSurface: the unit of pixels. A surface is the display (the view's place on the
// screen), the back buffer (an off-screen copy of the client area where every page is
// composed) or a picture (one image at its own pixel size). Pages are composed by
// stretching pictures into the back buffer and drawing over them; the finished back
// buffer is then copied to the window in one step.
#pragma once

#include "superlibraries/tqdirectdraw_obsolete/tqdirectdraw.h"

#include <mutex>
#include <string>

class CTQSurface : public CTQDirectDraw {
public:
    // General: Create(kind, width, height, window); ok = its result.
    CTQSurface(int kind, int width, int height, bool& ok, HWND window);
    // Image: loads a JPEG, PNG or BMP file into a picture surface of its own size.
    CTQSurface(std::wstring path, bool& ok, int kind = TQSURFACE_PICTURE);
    // Image already decoded (a page decodes its pictures together): a picture surface that
    // takes over its pixels; ok is false for an empty image.
    CTQSurface(platform::Image decoded, bool& ok, int kind = TQSURFACE_PICTURE);
    // Blank: creates the surface only when width and height are both non-zero; ok is
    // written only then.
    CTQSurface(int kind, int width, int height, bool& ok);
    ~CTQSurface();

    bool Create(int kind, int width, int height, HWND window);
    SIZE GetSurfaceSize() const { return m_Size; }
    int GetKind() const { return m_nKind; }

    static CTQSurface* GetFront();
    static CTQSurface* GetBack();

    // Copies the back buffer, centred, to the window's client area. False (nothing
    // copied) without a back buffer or while the client area is not wholly on the screen.
    bool Present();
    // Copies that rectangle of the back buffer to the same place in the window.
    bool PresentRect(int left, int top, int right, int bottom);
    // Stretches source into (x, y, x + cx, y + cy) of this surface; cx < 0 copies at the
    // source's own size. Fit mode "Prune" first cuts the source to its centred square.
    // The source keeps its last stretched copy while its pixels and the rectangles stay
    // the same, so redrawing an unchanged page copies rows instead of sampling again.
    void DrawSurface(CTQSurface* source, int x, int y, std::wstring fitMode, int cx, int cy);

    // Makes the kept stretched copy that DrawSurface of this picture at cx x cy with the fit
    // mode will copy, without drawing anywhere: a page made ahead (on any thread, before
    // the page is shown) needs no stretching when it is first drawn.
    void PrepareScaledCopy(const std::wstring& fitMode, int cx, int cy);

    // The source rectangle DrawSurface takes from a picture of the given size.
    static RECT SourceRectForFit(SIZE picture, const std::wstring& fitMode);
    // The back-buffer rectangle Present copies: the window's size, centred.
    static RECT PresentSourceRect(SIZE back, SIZE window);
    // The pixels, for tests and screenshots (null for the display, and for a picture that
    // let them go).
    const platform::Image* GetImage() const { return Surface(); }

    // A picture lets its own pixels go while it keeps its stretched copy for a draw of cx x cy
    // with that fit mode: a redraw at that size needs only the copy. True when the pixels are
    // gone now. DrawSurface of a picture without its pixels draws from the kept copy.
    bool ReleasePictureKeepingCopy(const std::wstring& fitMode, int cx, int cy);
    // True when the kept copy serves a draw of cx x cy with that fit mode.
    bool KeepsCopyFor(const std::wstring& fitMode, int cx, int cy);
    // Gives a picture its pixels again (read afresh) after ReleasePictureKeepingCopy.
    void RestorePicture(platform::Image decoded);
    bool IsPictureReleased() const { return m_bPictureReleased; }

private:
    // The picture stretched to the size it was last drawn at, with what it was made from.
    // Guarded: a page may be drawn from more than one thread.
    struct ScaledCopy {
        std::mutex mutex;
        platform::Image pixels;
        RECT source{};
        unsigned version = 0;
    };
    // Draws this picture's source rectangle stretched to the size of to into target: through
    // the scaled copy when keepCopy (to then lies wholly inside target), directly otherwise;
    // from the kept copy alone when the picture's pixels were let go.
    void DrawInto(platform::Image& target, RECT source, RECT to, bool keepCopy);
    bool CopyIsCurrent(RECT source, int width, int height) const;
    // Stretches the source rectangle of the picture into a new copy of width x height;
    // false when the copy cannot be allocated. Called with the copy's lock held.
    bool MakeScaledCopy(RECT source, int width, int height);

    ScaledCopy m_ScaledCopy;
    bool m_bPictureReleased = false;
};
