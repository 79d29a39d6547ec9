#include "superlibraries/tqdirectdraw_obsolete/tqdirectdrawgraphics.h"

#include <climits>
#include <cmath>
#include <vector>

namespace {

const double kPi = 4.0 * std::atan(1.0);

}  // namespace

int Nearest(double x)
{
    if (std::isnan(x))
        return 0;
    const double rounded = x >= 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
    if (rounded >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (rounded <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(rounded);
}

CTQPigs::CTQPigs() : HollowBrush(platform::CreateHollowBrush())
{
}

CTQPigs::~CTQPigs()
{
    ReleaseObjects();
    if (OwnFont) {
        if (DC && SavedFont)
            DC->SelectFont(*SavedFont);
        OwnFont.reset();
    }
}

void CTQPigs::Attach(HDC hDC)
{
    DC = hDC;
    // The saved pen and brush are those of the first context ever attached.
    if (!OwnPen && DC)
        SavedPen = DC->CurrentPen();
    if (!OwnBrush && DC)
        SavedBrush = DC->CurrentBrush();
    OwnPen.reset();
    OwnBrush.reset();
    Color = 0;
    Width = 1;
    // Made but not selected: the context keeps its own until SetColor or SetWidth.
    CreatePenAndBrush();
}

void CTQPigs::ReleaseObjects()
{
    if (OwnPen) {
        if (DC && SavedPen)
            DC->SelectPen(*SavedPen);
        OwnPen.reset();
    }
    if (OwnBrush) {
        if (DC && SavedBrush)
            DC->SelectBrush(*SavedBrush);
        OwnBrush.reset();
    }
}

void CTQPigs::CreatePenAndBrush()
{
    OwnPen = platform::CreatePen(Width, Color);
    OwnBrush = platform::CreateSolidBrush(Color);
}

// Replaces the own pen and brush with ones of the current colour and width, selected.
void CTQPigs::RenewPenAndBrush()
{
    ReleaseObjects();
    CreatePenAndBrush();
    if (DC) {
        DC->SelectPen(*OwnPen);
        DC->SelectBrush(*OwnBrush);
    }
}

COLORREF CTQPigs::SetColor(COLORREF c)
{
    if (c == Color)
        return c;
    const COLORREF previous = Color;
    Color = c;
    RenewPenAndBrush();
    if (DC)
        DC->SetTextColor(c);
    return previous;
}

int CTQPigs::SetWidth(int w)
{
    if (w == Width)
        return w;
    const int previous = Width;
    Width = w;
    RenewPenAndBrush();
    return previous;
}

void CTQPigs::SetBkColor(COLORREF c)
{
    if (DC)
        DC->SetBkColor(c);
}

void CTQPigs::SetBackgroundColor(COLORREF c)
{
    SetBkColor(c);
}

void CTQPigs::SetBkMode(int mode)
{
    if (DC)
        DC->SetBkMode(mode);
}

void CTQPigs::SetFont(const std::wstring& face, int height, int weight)
{
    if (OwnFont) {
        if (DC && SavedFont)
            DC->SelectFont(*SavedFont);
        OwnFont.reset();
    }
    OwnFont = platform::Font{ face, height, weight };
    if (DC)
        SavedFont = DC->SelectFont(*OwnFont);
}

void CTQPigs::SetStart(int x, int y)
{
    CurrentX = x;
    CurrentY = y;
    if (DC)
        DC->MoveTo(x, y);
}

void CTQPigs::LineToCurrent()
{
    if (DC)
        DC->LineTo(CurrentX, CurrentY);
}

void CTQPigs::Line(int x, int y)
{
    CurrentX = x;
    CurrentY = y;
    LineToCurrent();
}

void CTQPigs::LineX(int x)
{
    CurrentX = x;
    LineToCurrent();
}

void CTQPigs::LineY(int y)
{
    CurrentY = y;
    LineToCurrent();
}

void CTQPigs::LineD(int dx, int dy)
{
    CurrentX += dx;
    CurrentY += dy;
    LineToCurrent();
}

void CTQPigs::LineDXY(int dx, int dy)
{
    LineD(dx, dy);
}

void CTQPigs::LineDX(int dx)
{
    CurrentX += dx;
    LineToCurrent();
}

void CTQPigs::LineDY(int dy)
{
    CurrentY += dy;
    LineToCurrent();
}

void CTQPigs::Box(int x, int y, int cx, int cy, int filled)
{
    if (filled) {
        if (DC)
            DC->Rectangle(x, y, x + cx, y + cy);
        return;
    }
    // Four separate strokes, so the current point ends at the far corner.
    SetStart(x, y);
    LineDX(cx);
    SetStart(x, y + cy);
    LineDX(cx);
    SetStart(x, y);
    LineDY(cy);
    SetStart(x + cx, y);
    LineDY(cy);
}

void CTQPigs::Box(RECT& rect, int filled)
{
    Box(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, filled);
}

void CTQPigs::Triangle(int x1, int y1, int x2, int y2, int x3, int y3, double angle, bool)
{
    // Turned about the first corner; with y growing downward a positive angle turns
    // clockwise on the screen.
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    auto turn = [&](int x, int y) {
        const double dx = x - x1;
        const double dy = y - y1;
        return POINT{ ::Nearest(x1 + c * dx - s * dy), ::Nearest(y1 + s * dx + c * dy) };
    };
    const POINT points[3] = { { x1, y1 }, turn(x2, y2), turn(x3, y3) };
    if (DC)
        DC->Polygon(points, 3);
}

void CTQPigs::Triangle(int ox, int oy, int dx1, int dy1, int dx2, int dy2, int dx3, int dy3,
                       double angle, bool filled)
{
    Triangle(ox + dx1, oy + dy1, ox + dx2, oy + dy2, ox + dx3, oy + dy3, angle, filled);
}

void CTQPigs::Polygon(const POINT* points, int count, bool)
{
    if (DC && points && count > 0)
        DC->Polygon(points, count);
}

void CTQPigs::Polygon(POINT origin, const POINT* offsets, int count, bool filled)
{
    if (!offsets || count <= 0)
        return;
    std::vector<POINT> points(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        points[i] = { origin.x + offsets[i].x, origin.y + offsets[i].y };
    Polygon(points.data(), count, filled);
}

void CTQPigs::Circle(int x, int y, int r, bool filled)
{
    if (!DC)
        return;
    // The chosen brush stays selected after the circle.
    if (filled && OwnBrush)
        DC->SelectBrush(*OwnBrush);
    else if (!filled)
        DC->SelectBrush(HollowBrush);
    DC->Ellipse(x - r, y - r, x + r, y + r);
}

void CTQPigs::Ellipse(int x, int y, int rx, int ry, int mode)
{
    if (mode == 1 && DC)
        DC->Ellipse(x - rx, y - ry, x + rx, y + ry);
}

void CTQPigs::Arrow(POINT point, int width, int length, double angle)
{
    const double a = angle * 2.0 * kPi / 360.0;
    const double s = std::sin(a);
    const double c = -std::cos(a);
    // The shaft: straight up at 0 degrees, turning clockwise; the width is taken off the
    // y offset unturned.
    SetWidth(width);
    SetStart(point.x, point.y);
    LineDXY(::Nearest(length * s), ::Nearest(length * c - width));
    SetWidth(1);
    // The head: corners h to each side and k behind the tip, turned about the tip.
    const int h = ::Nearest(width / 15.0 * 37.0);
    const int k = ::Nearest(width / 15.0 * 50.0);
    const POINT tip{ point.x + ::Nearest(length * s), point.y + ::Nearest(length * c) };
    Triangle(tip.x, tip.y, 0, 0, -h, k, h, k, a, true);
}

void CTQPigs::Cross(int x, int y, int r, int width)
{
    const int old = SetWidth(width);
    SetStart(x - r, y - r);
    LineDXY(2 * r, 2 * r);
    SetStart(x + r, y - r);
    LineDXY(-2 * r, 2 * r);
    SetWidth(old);
}

void CTQPigs::Plus(int x, int y, int r, int width)
{
    const int old = SetWidth(width);
    SetStart(x - r, y);
    LineDX(2 * r);
    SetStart(x, y - r);
    LineDY(2 * r);
    SetWidth(old);
}

void CTQPigs::SetPixel(int x, int y)
{
    if (DC)
        DC->SetPixel(x, y, Color);
}

void CTQPigs::Text(int x, int y, const std::wstring& text)
{
    RECT rect{ x, y, 0, 0 };
    Text(rect, text, DT_NOCLIP);
}

void CTQPigs::Text(RECT& rect, const std::wstring& text, unsigned format)
{
    if (DC)
        DC->DrawText(text, rect, format);
}
