// A new, empty board for the carer to fill: the UserData folder, and beside it the common
// files every page needs, so that the first picture added already works on the board: the
// answer bar's sounds and the scan mode's "chosen" sound (copied from the demo, else spoken),
// and the web-browser shortcut (copied from the demo, else one for an installed browser).
#pragma once

#include <QString>

class COrlidoEmptyBoard {
public:
    // Makes folder/UserData and the common files that are not there yet. demoFolder: the
    // installed demo, or empty. False when UserData cannot be made; a common file that cannot
    // be made is left to the checker to point out.
    static bool Make(const QString& folder, const QString& demoFolder);

    // A desktop entry for the first installed web browser (by its menu category), empty when
    // there is none.
    static QByteArray WebBrowserShortcut();
};
