#include "editor/pagepreview.h"

#include "application/tqpagegeometry.h"
#include "content/contentrules.h"
#include "platform/files.h"

#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace {

// The board's colours and sizes (the engine's and the picture button's).
const QColor kPageBackground(0xE1, 0xE1, 0xFF);
const QColor kFrame(0x5A, 0x5A, 0x5A);
const QColor kHighlight(0x00, 0xFF, 0x00);
const QColor kBarColours[3] = { QColor(0xFF, 0xFF, 0x00), QColor(0xFF, 0x00, 0x00),
                                QColor(0x00, 0xFF, 0x00) };
constexpr int kFrameWidth = 6;
constexpr int kHighlightWidth = 12;
constexpr int kCaptionPixels = 64;  // the caption's height on the picture's own pixels

QString FromWide(const std::wstring& text)
{
    return QString::fromStdWString(text);
}

// The picture with its caption written in its middle, in bold, at the caption's pixel size
// of the picture itself, as the board writes it before stretching.
QImage PictureWithCaption(const std::wstring& path, const std::wstring& caption)
{
    QImage image(QString::fromUtf8(platform::ToUtf8(path).c_str()));
    if (image.isNull())
        return image;
    image = image.convertToFormat(QImage::Format_RGB32);
    if (caption.empty())
        return image;
    QPainter painter(&image);
    QFont font;
    font.setPixelSize(kCaptionPixels);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(1, 1, 1));
    painter.drawText(image.rect(), Qt::AlignCenter | Qt::TextDontClip, FromWide(caption));
    return image;
}

// The centred square the board cuts a picture to ("Prune").
QRect CentredSquare(QSize size)
{
    const int side = std::min(size.width(), size.height());
    return { (size.width() - side) / 2, (size.height() - side) / 2, side, side };
}

}  // namespace

COrlidoPagePreview::COrlidoPagePreview(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 180);
}

void COrlidoPagePreview::SetPage(const CTQContentTree::TPage& page)
{
    m_Page = page;
    m_Pictures.clear();
    for (const CTQContentTree::TPicture& picture : page.Pictures)
        m_Pictures.push_back(
            PictureWithCaption(page.Folder + L"/" + picture.PictureName, picture.Caption));
    if (m_nSelected > static_cast<int>(m_Pictures.size()))
        m_nSelected = static_cast<int>(m_Pictures.size());
    update();
}

void COrlidoPagePreview::SetSelected(int number)
{
    if (number < 0 || number > static_cast<int>(m_Pictures.size()))
        return;
    m_nSelected = number;
    update();
    emit Selected(number);
}

QSize COrlidoPagePreview::Screen() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen != nullptr ? screen->size() : QSize(1366, 768);
    return size.isEmpty() ? QSize(1366, 768) : size;
}

QImage COrlidoPagePreview::Render(QSize screen) const
{
    QImage page(screen, QImage::Format_RGB32);
    page.fill(kPageBackground);
    QPainter painter(&page);
    const int count = static_cast<int>(m_Pictures.size());
    const TPageGeometry g =
        ComputeGeometry(screen.width(), screen.height(), screen.width(), screen.height(), count);
    for (int k = 0; k < count; ++k) {
        const QRect cell(g.ColumnX(k % TPageGeometry::Columns), g.RowY(k / TPageGeometry::Columns),
                         g.pictureWidth, g.pictureHeight);
        const QImage& picture = m_Pictures[static_cast<std::size_t>(k)];
        if (!picture.isNull())
            painter.drawImage(cell, picture, CentredSquare(picture.size()));
        const bool chosen = k + 1 == m_nSelected;
        const int width = chosen ? kHighlightWidth : kFrameWidth;
        painter.setPen(
            QPen(chosen ? kHighlight : kFrame, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cell.adjusted(width / 2, width / 2, -width / 2, -width / 2));
    }
    QFont font;
    font.setPixelSize(std::max(12, g.barHeight / 2));
    font.setBold(true);
    painter.setFont(font);
    for (int b = 0; b < 3; ++b) {
        const QRect bar(g.BarX(b), g.barY, g.barWidth, g.barHeight);
        painter.fillRect(bar, kBarColours[b]);
        painter.setPen(QPen(kFrame, kFrameWidth));
        painter.drawRect(
            bar.adjusted(kFrameWidth / 2, kFrameWidth / 2, -kFrameWidth / 2, -kFrameWidth / 2));
        painter.setPen(QColor(1, 1, 1));
        painter.drawText(bar, Qt::AlignCenter,
                         FromWide(CTQContentRules::AnswerBarWords[static_cast<std::size_t>(b)]));
    }
    return page;
}

void COrlidoPagePreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QImage page = Render(Screen());
    const QSize shown = page.size().scaled(size(), Qt::KeepAspectRatio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), shown), page);
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight(), 2, Qt::DashLine));
        painter.drawRect(QRect(QPoint(0, 0), shown).adjusted(1, 1, -1, -1));
    }
}

int COrlidoPagePreview::NumberAt(QPoint point) const
{
    const QSize screen = Screen();
    const QSize shown = screen.scaled(size(), Qt::KeepAspectRatio);
    if (shown.isEmpty())
        return 0;
    const QPoint onScreen(point.x() * screen.width() / shown.width(),
                          point.y() * screen.height() / shown.height());
    const int count = static_cast<int>(m_Pictures.size());
    const TPageGeometry g =
        ComputeGeometry(screen.width(), screen.height(), screen.width(), screen.height(), count);
    for (int k = 0; k < count; ++k) {
        const QRect cell(g.ColumnX(k % TPageGeometry::Columns), g.RowY(k / TPageGeometry::Columns),
                         g.pictureWidth, g.pictureHeight);
        if (cell.contains(onScreen))
            return k + 1;
    }
    return 0;
}

void COrlidoPagePreview::mousePressEvent(QMouseEvent* event)
{
    const int number = NumberAt(event->position().toPoint());
    if (number > 0)
        SetSelected(number);
}

void COrlidoPagePreview::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int number = NumberAt(event->position().toPoint());
    if (number > 0)
        emit Opened(number);
}

void COrlidoPagePreview::keyPressEvent(QKeyEvent* event)
{
    const int count = static_cast<int>(m_Pictures.size());
    int number = m_nSelected;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QWidget::keyPressEvent(event);  // the window's keys (moving a picture, going back)
        return;
    }
    switch (event->key()) {
    case Qt::Key_Right:
        number = std::min(count, number + 1);
        break;
    case Qt::Key_Left:
        number = std::max(count > 0 ? 1 : 0, number - 1);
        break;
    case Qt::Key_Down:
        number = std::min(count, number + TPageGeometry::Columns);
        break;
    case Qt::Key_Up:
        number = number > TPageGeometry::Columns ? number - TPageGeometry::Columns : number;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_nSelected > 0)
            emit Opened(m_nSelected);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (number == 0 && count > 0)
        number = 1;
    SetSelected(number);
}
