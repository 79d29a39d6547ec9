// A page as the board shows it: the pictures in the board's grid (the board's page geometry
// for one to twelve pictures), each cut to its centred square with its caption written in
// its middle, the frames, and the answer bar under them. A picture is chosen with a click
// or with the arrow keys; Enter (or a double click) opens its sub-page.
#pragma once

#include "content/contenttree.h"

#include <QImage>
#include <QSize>
#include <QWidget>

#include <vector>

class COrlidoPagePreview : public QWidget {
    Q_OBJECT
public:
    explicit COrlidoPagePreview(QWidget* parent = nullptr);

    void SetPage(const CTQContentTree::TPage& page);
    int GetSelected() const { return m_nSelected; }  // 1-based; 0 for none
    void SetSelected(int number);

    // The page drawn at the size of a screen, as the board draws it there.
    QImage Render(QSize screen) const;

signals:
    void Selected(int number);
    void Opened(int number);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QSize sizeHint() const override { return { 683, 384 }; }

private:
    // The screen the page is laid out for; the preview scales it into the widget.
    QSize Screen() const;
    int NumberAt(QPoint point) const;

    CTQContentTree::TPage m_Page;
    std::vector<QImage> m_Pictures;  // with their captions written in
    int m_nSelected = 0;
};
