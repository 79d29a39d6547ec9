// Where a page's buttons stand: the grid of pictures and, under it, the answer bar. Shared
// by the engine, which lays out the page it shows, and the page made ahead, which stretches
// its pictures to the size they will be shown at.
#pragma once

#include "content/contentrules.h"

struct TPageGeometry {
    static constexpr int Columns = CTQContentRules::PageColumns;

    int columnStep = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
    int userAreaHeight = 0;
    int barStep = 0;
    int barWidth = 0;
    int barHeight = 0;
    int barY = 0;
    int ColumnX(int column) const;
    int RowY(int row) const;
    int BarX(int button) const;
};

// The places of the page's buttons for a client area of width x height on a screen of
// screenWidth x screenHeight with pictureCount pictures. Up to eight pictures stand in
// two rows; nine to twelve in three lower rows that end above the answer bar, which
// stays where it is.
TPageGeometry ComputeGeometry(int width, int height, int screenWidth, int screenHeight,
                              int pictureCount);
