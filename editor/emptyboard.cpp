#include "editor/emptyboard.h"

#include "content/contentrules.h"
#include "content/speech.h"
#include "editor/installedprograms.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>
#include <utility>
#include <vector>

namespace {

using Rules = CTQContentRules;

QString Name(const std::wstring& name)
{
    return QString::fromStdWString(name);
}

}  // namespace

QByteArray COrlidoEmptyBoard::WebBrowserShortcut()
{
    for (const COrlidoInstalledPrograms::TProgram& program : COrlidoInstalledPrograms::Read()) {
        if (!program.Categories.contains(QStringLiteral("WebBrowser")))
            continue;
        return "[Desktop Entry]\nType=Application\nName=" + program.Name.toUtf8() +
            "\nExec=" + program.Exec.toUtf8() + "\n";
    }
    return {};
}

bool COrlidoEmptyBoard::Make(const QString& folder, const QString& demoFolder)
{
    if (!QDir().mkpath(folder + QLatin1Char('/') + Name(Rules::UserDataFolder)))
        return false;
    const auto missing = [&](const QString& name) {
        return !QFileInfo::exists(folder + QLatin1Char('/') + name);
    };
    if (!demoFolder.isEmpty()) {
        for (const QFileInfo& file : QDir(demoFolder).entryInfoList(QDir::Files))
            if (missing(file.fileName()))
                QFile::copy(file.filePath(), folder + QLatin1Char('/') + file.fileName());
    }

    // The common sounds are Swedish words, as the answer bar shows them.
    std::unique_ptr<CTQSpeech> speech;
    for (const Rules::TCommonSound& sound : Rules::CommonSounds()) {
        const QString name = Name(sound.FileName);
        if (!missing(name))
            continue;
        if (!speech) {
            bool ok = false;
            std::string error;
            speech = std::make_unique<CTQSpeech>(CTQSpeech::DefaultVoice, ok, error);
            if (!ok)
                break;
        }
        std::string error;
        speech->MakeSoundFile(
            sound.Words,
            platform::FromUtf8(QFile::encodeName(folder + QLatin1Char('/') + name).toStdString()),
            error);
    }

    const QString browser = Name(Rules::WebBrowserShortcut);
    const QByteArray shortcut = missing(browser) ? WebBrowserShortcut() : QByteArray();
    if (!shortcut.isEmpty()) {
        QSaveFile file(folder + QLatin1Char('/') + browser);
        if (file.open(QIODevice::WriteOnly) && file.write(shortcut) == shortcut.size())
            file.commit();
    }
    return true;
}
