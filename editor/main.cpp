// orlido-edit [FOLDER]: the editor for the board's content. Without a folder it opens the
// content an installed board uses (~/.local/share/orlido); when there is none yet, the
// carer starts from a copy of the demo or from an empty board.
#include "editor/editortext.h"
#include "editor/emptyboard.h"
#include "editor/editorwindow.h"
#include "editor/qtsounddevice.h"
#include "content/contentrules.h"
#include "platform/files.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

namespace {

QString UserDataName()
{
    return QString::fromStdWString(CTQContentRules::UserDataFolder);
}

// The demo as installed (or beside the program in a build), or empty.
QString DemoFolder()
{
    QStringList places = { QCoreApplication::applicationDirPath() };
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        places << data + QStringLiteral("/orlido");
    for (const QString& place : places) {
        if (QFileInfo(place + QLatin1Char('/') + UserDataName()).isDir())
            return place;
    }
    return {};
}

bool CopyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (QFileInfo(path).isDir()) {
            if (!QDir().mkpath(target))
                return false;
        } else if (!QFile::copy(path, target)) {
            return false;
        }
    }
    return true;
}

// A content folder to start from: the demo copied, or an empty board with the common files
// every page needs.
bool StartContent(const QString& folder)
{
    const QString demo = DemoFolder();
    QMessageBox ask(QMessageBox::Question, Tr("Orlido editor", "Orlido-redigerare"),
                    demo.isEmpty()
                        ? Tr("There is no content for the board yet. Start an empty board?",
                             "Det finns inget innehåll för tavlan än. Börja en tom tavla?")
                        : Tr("There is no content for the board yet. Start from the demo, or from "
                             "an empty board?",
                             "Det finns inget innehåll för tavlan än. Börja från demot, eller från "
                             "en tom tavla?"));
    QPushButton* fromDemo = demo.isEmpty()
        ? nullptr
        : ask.addButton(Tr("From the &demo", "Från &demot"), QMessageBox::AcceptRole);
    QPushButton* empty = ask.addButton(Tr("&Empty board", "&Tom tavla"), QMessageBox::AcceptRole);
    ask.addButton(QMessageBox::Cancel);
    ask.exec();
    if (fromDemo != nullptr && ask.clickedButton() == fromDemo)
        return CopyFolder(demo, folder);
    return ask.clickedButton() == empty && COrlidoEmptyBoard::Make(folder, demo);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orlido-edit"));
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString configHome =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QString folder = argc > 1 ? QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath()
                              : dataHome + QStringLiteral("/orlido");
    if (!QFileInfo(folder + QLatin1Char('/') + UserDataName()).isDir() && !StartContent(folder))
        return 1;

    const QString setup = configHome + QStringLiteral("/orlido/Setup.txt");
    const auto path = [](const QString& name) {
        return platform::FromUtf8(QFile::encodeName(name).toStdString());
    };
    COrlidoEditWindow window(path(folder), path(setup));
    window.SetSoundDevice(std::make_unique<COrlidoQtSoundDevice>());
    window.show();
    return application.exec();
}
