#include "editor/installedprograms.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <map>

namespace {

// The keys of an entry's [Desktop Entry] group.
std::map<QString, QString> ReadEntry(const QString& path)
{
    std::map<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    bool inGroup = false;
    // An entry is a few hundred lines at most; one of megabytes is no desktop entry.
    for (int lines = 0; !file.atEnd() && lines < 10000; ++lines) {
        QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (lines == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || line.startsWith(QLatin1Char('#')) || equals < 1)
            continue;
        keys.try_emplace(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return keys;
}

QString Value(const std::map<QString, QString>& keys, const QString& key)
{
    const auto found = keys.find(key);
    return found == keys.end() ? QString() : found->second;
}

// Name in the desktop's language: Name[sv_SE], then Name[sv], then Name.
QString LocalName(const std::map<QString, QString>& keys)
{
    const QString locale = QLocale::system().name();
    for (const QString& tag : { locale, locale.section(QLatin1Char('_'), 0, 0) }) {
        const QString name = Value(keys, QStringLiteral("Name[") + tag + QLatin1Char(']'));
        if (!name.isEmpty())
            return name;
    }
    return Value(keys, QStringLiteral("Name"));
}

bool IsTrue(const QString& value)
{
    return value == QLatin1String("true");
}

}  // namespace

QStringList COrlidoInstalledPrograms::Folders()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    QStringList folders = { home + QStringLiteral("/applications") };
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << dir + QStringLiteral("/applications");
    return folders;
}

std::vector<COrlidoInstalledPrograms::TProgram> COrlidoInstalledPrograms::Read()
{
    std::vector<TProgram> programs;
    QSet<QString> seen;
    for (const QString& folder : Folders()) {
        QDirIterator it(folder, { QStringLiteral("*.desktop") }, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            // The ID of applications/kde/a.desktop is kde-a.desktop.
            QString id = path.mid(folder.size() + 1);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            const std::map<QString, QString> keys = ReadEntry(path);
            const TProgram program{ id, LocalName(keys), Value(keys, QStringLiteral("Exec")),
                                    Value(keys, QStringLiteral("Categories"))
                                        .split(QLatin1Char(';'), Qt::SkipEmptyParts),
                                    Value(keys, QStringLiteral("Path")) };
            if (Value(keys, QStringLiteral("Type")) != QLatin1String("Application") ||
                program.Name.isEmpty() || program.Exec.isEmpty() ||
                IsTrue(Value(keys, QStringLiteral("NoDisplay"))) ||
                IsTrue(Value(keys, QStringLiteral("Hidden"))) ||
                IsTrue(Value(keys, QStringLiteral("Terminal"))))
                continue;
            programs.push_back(program);
        }
    }
    std::sort(programs.begin(), programs.end(), [](const TProgram& a, const TProgram& b) {
        return QString::localeAwareCompare(a.Name, b.Name) < 0;
    });
    return programs;
}
