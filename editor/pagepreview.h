// A page as the board shows it: the pictures in the board's grid (the board's page geometry
// for one to twelve pictures), each cut to its centred square with its caption written in
// its middle, the frames, and the answer bar under them. A picture is chosen with a click
// or with the arrow keys; Enter (or a double click) opens its sub-page. A picture dragged
// onto another one's place is moved there (Escape during the drag lets it go).
#pragma once

#include "content/contenttree.h"

#include <QImage>
#include <QSize>
#include <QWidget>

#include <vector>

class COrlidoBoardSnapshot;

class COrlidoPagePreview : public QWidget {
    Q_OBJECT
public:
    explicit COrlidoPagePreview(QWidget* parent = nullptr);

    void SetPage(const CTQContentTree::TPage& page);
    // The board program that draws the page as it will be shown; until one is set (or when
    // it cannot draw here) the page is drawn by the preview itself.
    void SetBoardProgram(const QString& program);
    int GetSelected() const { return m_nSelected; }  // 1-based; 0 for none
    void SetSelected(int number);

    // The page drawn at the size of a screen, as the board draws it there.
    QImage Render(QSize screen) const;
    // Where picture number stands in the widget; empty for no such picture.
    QRect PictureRect(int number) const;
    // Whether the board's own picture of the page is shown (rather than the page drawn here).
    bool ShowsBoardSnapshot() const { return !m_Snapshot.isNull(); }

signals:
    void Selected(int number);
    void Opened(int number);
    // A picture dragged from one place to another (1-based).
    void Moved(int from, int to);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QSize sizeHint() const override { return { 683, 384 }; }

private:
    // The screen the page is laid out for; the preview scales it into the widget.
    QSize Screen() const;
    // Picture number's cell on a screen of that size, as the board lays it out.
    QRect Cell(QSize screen, int number) const;
    int NumberAt(QPoint point) const;
    void EndDrag();
    void RequestSnapshot();
    void OnSnapshot(const QString& pageFolder, const QImage& image);

    CTQContentTree::TPage m_Page;
    std::vector<QImage> m_Pictures;  // with their captions written in
    int m_nSelected = 0;
    // A drag: the picture pressed, where, and the place it would go to (0 until it moves
    // far enough to be a drag rather than a click).
    int m_nPressed = 0;
    QPoint m_PressedAt;
    int m_nDropAt = 0;
    // The board's picture of the shown page, asked for at each change; null until it comes.
    COrlidoBoardSnapshot* m_pBoard = nullptr;
    QImage m_Snapshot;
};
