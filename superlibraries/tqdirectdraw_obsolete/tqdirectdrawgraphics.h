// CTQPigs: the small drawing layer on one drawing context. It keeps a colour, a pen
// width, a current point and a font, and draws lines, boxes, turned triangles, polygons,
// circles, ellipses, arrows, crosses, plus signs, pixels and text. Every surface is a
// CTQPigs through its bases: BeginDraw attaches the surface's context, EndDraw gives it back.
#pragma once

#include "platform/pixels.h"
#include "platform/types.h"

#include <optional>
#include <string>

// The context drawn on: the pixel layer's drawing context of a surface.
using HDC = platform::DrawContext*;

// A real number to the nearest integer, halves away from zero (2.5 → 3, −2.5 → −3).
// Values beyond the int range are held at its ends; NaN gives 0.
int Nearest(double x);

class CTQPigs {
public:
    CTQPigs();
    ~CTQPigs();
    CTQPigs(const CTQPigs&) = delete;
    CTQPigs& operator=(const CTQPigs&) = delete;

    // Binds the object to a context for one drawing pass and resets colour to black and
    // width to 1, without selecting anything into the context.
    void Attach(HDC hDC);
    // Selects the saved pen and brush back and deletes the own ones.
    void ReleaseObjects();
    static int Nearest(double x) { return ::Nearest(x); }

    COLORREF SetColor(COLORREF c);
    int SetWidth(int w);
    void SetBkColor(COLORREF c);
    void SetBackgroundColor(COLORREF c);
    void SetBkMode(int mode);
    void SetFont(const std::wstring& face, int height, int weight);

    void SetStart(int x, int y);
    void Line(int x, int y);
    void LineX(int x);
    void LineY(int y);
    void LineD(int dx, int dy);
    void LineDXY(int dx, int dy);
    void LineDX(int dx);
    void LineDY(int dy);

    void Box(int x, int y, int cx, int cy, int filled);
    void Box(RECT& rect, int filled);
    void Triangle(int x1, int y1, int x2, int y2, int x3, int y3, double angle, bool filled);
    void Triangle(int ox, int oy, int dx1, int dy1, int dx2, int dy2, int dx3, int dy3,
                  double angle, bool filled);
    void Polygon(const POINT* points, int count, bool filled);
    void Polygon(POINT origin, const POINT* offsets, int count, bool filled);
    void Circle(int x, int y, int r, bool filled);
    void Ellipse(int x, int y, int rx, int ry, int mode);
    void Arrow(POINT point, int width, int length, double angle);
    void Cross(int x, int y, int r, int width);
    void Plus(int x, int y, int r, int width);
    void SetPixel(int x, int y);
    void Text(int x, int y, const std::wstring& text);
    void Text(RECT& rect, const std::wstring& text, unsigned format);

    // State for callers and tests.
    COLORREF GetColor() const { return Color; }
    int GetWidth() const { return Width; }
    POINT GetCurrentPoint() const { return { CurrentX, CurrentY }; }
    HDC GetDC() const { return DC; }

protected:
    // The surface gave its context back: nothing is selected into it any more.
    void Detach() { DC = nullptr; }

private:
    void CreatePenAndBrush();
    void RenewPenAndBrush();
    void LineToCurrent();

    HDC DC = nullptr;
    std::optional<platform::Pen> SavedPen;
    std::optional<platform::Brush> SavedBrush;
    std::optional<platform::Font> SavedFont;
    COLORREF Color = 0;
    int Width = 1;
    int CurrentX = 0;
    int CurrentY = 0;
    std::optional<platform::Pen> OwnPen;
    std::optional<platform::Brush> OwnBrush;
    platform::Brush HollowBrush;
    std::optional<platform::Font> OwnFont;
};
