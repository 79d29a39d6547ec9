// The programs installed for the desktop's menus, read from their desktop entries
// ($XDG_DATA_HOME/applications, then each of $XDG_DATA_DIRS/applications): the ones a menu
// would show (Type=Application with an Exec, neither NoDisplay nor Hidden, not run in a
// terminal, which the board has no window for), by their name in the desktop's language.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class COrlidoInstalledPrograms {
public:
    struct TProgram {
        QString Id;    // the desktop file ID: "org.gnome.Calculator.desktop"
        QString Name;  // as the menu shows it
        QString Exec;  // the Exec value as it stands in the entry (the board reads the same form)
        QStringList Categories;
        QString WorkingFolder;  // the Path value as it stands in the entry; empty for none
    };

    // Sorted by name. An entry found earlier in the search order hides later ones of the same
    // ID, also when it is itself hidden (that is how a user removes a program from the menu).
    static std::vector<TProgram> Read();

private:
    static QStringList Folders();
};
