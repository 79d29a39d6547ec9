#include "application/tqpagegeometry.h"

#include "superlibraries/tqdirectdraw_obsolete/tqdirectdrawgraphics.h"

int TPageGeometry::ColumnX(int column) const
{
    return 5 + column * columnStep;
}

int TPageGeometry::RowY(int row) const
{
    return 5 + row * (pictureHeight + 8);
}

int TPageGeometry::BarX(int button) const
{
    return 5 + button * barStep;
}

TPageGeometry ComputeGeometry(int width, int height, int screenWidth, int screenHeight,
                              int pictureCount)
{
    // The 1366 x 768 screen has a lower client area than 4:3 screens, so its pictures are
    // made a little lower to leave the answer bar room.
    const double share = (screenWidth == 1366 && screenHeight == 768) ? 0.85 : 0.9;

    TPageGeometry g;
    g.columnStep = width / TPageGeometry::Columns;
    g.pictureWidth = g.columnStep - 10;
    g.pictureHeight = Nearest(height / 2.0 * share);
    g.userAreaHeight = 2 * g.pictureHeight + 17;
    g.barStep = width / 3;
    g.barWidth = width / 3 - 8;
    g.barHeight = height - 2 * g.pictureHeight - 26;
    g.barY = 2 * g.pictureHeight + 21;
    if (CTQContentRules::PageRows(pictureCount) == 3) {
        // A third row would lie under the answer bar: the three rows share the height of
        // the two, with the same 8-pixel gaps, so every picture is seen, clicked and scanned
        // where it is drawn. The answer bar and the user area stay as they are.
        g.pictureHeight = (2 * g.pictureHeight - 8) / 3;
    }
    return g;
}
