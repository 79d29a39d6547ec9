#include "editor/pagepreview.h"

#include "application/tqpagegeometry.h"
#include "editor/boardsnapshot.h"
#include "content/contentrules.h"
#include "platform/files.h"

#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleHints>

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
    m_pBoard = new COrlidoBoardSnapshot(this);
    connect(m_pBoard, &COrlidoBoardSnapshot::Ready, this, &COrlidoPagePreview::OnSnapshot);
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
    RequestSnapshot();
    update();
}

void COrlidoPagePreview::SetBoardProgram(const QString& program)
{
    m_pBoard->SetProgram(program);
    if (!m_Page.Folder.empty())
        RequestSnapshot();
}

void COrlidoPagePreview::RequestSnapshot()
{
    // The page drawn here stands in until the board's picture of the changed page comes.
    m_Snapshot = QImage();
    if (m_pBoard->IsAvailable())
        m_pBoard->Request(FromWide(m_Page.Folder), Screen());
}

void COrlidoPagePreview::OnSnapshot(const QString& pageFolder, const QImage& image)
{
    if (pageFolder != FromWide(m_Page.Folder) || image.size() != Screen())
        return;
    m_Snapshot = image;
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
        const QRect cell = Cell(screen, k + 1);
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

QRect COrlidoPagePreview::Cell(QSize screen, int number) const
{
    const int count = static_cast<int>(m_Pictures.size());
    if (number < 1 || number > count)
        return {};
    const TPageGeometry g =
        ComputeGeometry(screen.width(), screen.height(), screen.width(), screen.height(), count);
    const int k = number - 1;
    return { g.ColumnX(k % TPageGeometry::Columns), g.RowY(k / TPageGeometry::Columns),
             g.pictureWidth, g.pictureHeight };
}

QRect COrlidoPagePreview::PictureRect(int number) const
{
    const QSize screen = Screen();
    const QSize shown = screen.scaled(size(), Qt::KeepAspectRatio);
    const QRect cell = Cell(screen, number);
    if (cell.isEmpty() || shown.isEmpty())
        return {};
    const auto x = [&](int onScreen) { return onScreen * shown.width() / screen.width(); };
    const auto y = [&](int onScreen) { return onScreen * shown.height() / screen.height(); };
    return QRect(QPoint(x(cell.left()), y(cell.top())),
                 QPoint(x(cell.right() + 1) - 1, y(cell.bottom() + 1) - 1));
}

void COrlidoPagePreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QImage page = m_Snapshot.isNull() ? Render(Screen()) : m_Snapshot;
    const QSize shown = page.size().scaled(size(), Qt::KeepAspectRatio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), shown), page);
    if (!m_Snapshot.isNull() && m_nSelected > 0) {
        // The board marks no picture in its snapshot: the chosen one is framed here, over
        // its frame, as the page drawn here does.
        const int width = std::max(2, kHighlightWidth * shown.width() / page.width());
        painter.setPen(QPen(kHighlight, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(
            PictureRect(m_nSelected).adjusted(width / 2, width / 2, -width / 2, -width / 2));
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight(), 2, Qt::DashLine));
        painter.drawRect(QRect(QPoint(0, 0), shown).adjusted(1, 1, -1, -1));
    }
    // Where a dragged picture would go: a place the board never marks so, to tell it apart.
    if (m_nDropAt > 0 && m_nDropAt != m_nPressed) {
        painter.setPen(QPen(palette().highlight(), 4, Qt::DashLine));
        painter.drawRect(PictureRect(m_nDropAt).adjusted(2, 2, -2, -2));
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
    for (int number = 1; number <= static_cast<int>(m_Pictures.size()); ++number) {
        if (Cell(screen, number).contains(onScreen))
            return number;
    }
    return 0;
}

void COrlidoPagePreview::mousePressEvent(QMouseEvent* event)
{
    const int number = NumberAt(event->position().toPoint());
    if (number > 0)
        SetSelected(number);
    if (event->button() == Qt::LeftButton) {
        m_nPressed = number;
        m_PressedAt = event->position().toPoint();
    }
}

void COrlidoPagePreview::mouseMoveEvent(QMouseEvent* event)
{
    if (m_nPressed == 0 || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint();
    // A hand that shakes a little while clicking does not move the picture.
    if (m_nDropAt == 0 &&
        (at - m_PressedAt).manhattanLength() < QGuiApplication::styleHints()->startDragDistance())
        return;
    const int dropAt = NumberAt(at);
    if (m_nDropAt == 0)
        setCursor(Qt::ClosedHandCursor);
    m_nDropAt = dropAt == 0 ? -1 : dropAt;  // -1: dragging, over no picture's place
    update();
}

void COrlidoPagePreview::mouseReleaseEvent(QMouseEvent* event)
{
    const int from = m_nPressed;
    const bool dragged = m_nDropAt != 0;
    EndDrag();
    if (event->button() != Qt::LeftButton || !dragged)
        return;
    const int to = NumberAt(event->position().toPoint());
    if (from > 0 && to > 0 && to != from)
        emit Moved(from, to);
}

void COrlidoPagePreview::EndDrag()
{
    if (m_nDropAt != 0)
        unsetCursor();
    m_nPressed = 0;
    m_nDropAt = 0;
    update();
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
    case Qt::Key_Escape:
        if (m_nPressed == 0) {
            QWidget::keyPressEvent(event);
            return;
        }
        EndDrag();
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (number == 0 && count > 0)
        number = 1;
    SetSelected(number);
}
