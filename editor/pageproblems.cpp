#include "editor/pageproblems.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

const QString kProblem = QStringLiteral("problem: ");

// "problem: UserData/L00001/B00002 Dryck.jpg: has no sound: ..." names a path that may itself
// hold ": "; the path is the first cut whose file, or whose folder, is there.
QString FolderOfProblem(const QString& line, const QString& contentFolder)
{
    for (qsizetype cut = line.indexOf(QStringLiteral(": "), kProblem.size()); cut > 0;
         cut = line.indexOf(QStringLiteral(": "), cut + 1)) {
        const QString named = line.mid(kProblem.size(), cut - kProblem.size());
        const QString path =
            QDir::isAbsolutePath(named) ? named : contentFolder + QLatin1Char('/') + named;
        const QFileInfo info(path);
        if (info.isDir())
            return QDir::cleanPath(path);
        if (info.exists() || info.dir().exists())
            return QDir::cleanPath(info.absolutePath());
    }
    return {};
}

}  // namespace

COrlidoPageProblems::COrlidoPageProblems(QObject* parent) : QObject(parent)
{
}

COrlidoPageProblems::~COrlidoPageProblems()
{
    if (m_pProcess == nullptr)
        return;
    m_pProcess->disconnect(this);
    m_pProcess->kill();
    m_pProcess->waitForFinished(1000);
}

std::map<QString, QStringList> COrlidoPageProblems::Sort(const QString& report,
                                                         const QString& contentFolder)
{
    const QString content = QDir::cleanPath(contentFolder);
    const QString userData = content + QStringLiteral("/UserData");
    std::map<QString, QStringList> problems;
    for (const QString& line : report.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.startsWith(kProblem))
            continue;
        QString folder = FolderOfProblem(line, content);
        if (folder != userData && !folder.startsWith(userData + QLatin1Char('/')))
            folder = content;
        problems[folder] << line.mid(kProblem.size());
    }
    return problems;
}

void COrlidoPageProblems::Check(const QString& boardProgram, const QString& contentFolder,
                                const QString& workingFolder)
{
    m_strBoard = boardProgram;
    m_strContent = contentFolder;
    m_strWorking = workingFolder;
    if (m_pProcess != nullptr) {
        m_bAgain = true;
        return;
    }
    m_pProcess = new QProcess(this);
    m_pProcess->setProcessChannelMode(QProcess::SeparateChannels);
    m_pProcess->setWorkingDirectory(workingFolder);
    connect(m_pProcess, &QProcess::finished, this, &COrlidoPageProblems::Finished);
    connect(m_pProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Finished();
    });
    m_pProcess->start(boardProgram, { QStringLiteral("--check"), contentFolder });
}

void COrlidoPageProblems::Finished()
{
    QProcess* process = m_pProcess;
    m_pProcess = nullptr;
    process->deleteLater();
    // The report is read only from a check that ran to its end: a board that cannot start
    // leaves the problems as they were rather than claiming there are none.
    if (process->exitStatus() == QProcess::NormalExit &&
        process->error() != QProcess::FailedToStart) {
        m_Problems = Sort(QString::fromUtf8(process->readAllStandardOutput()), m_strContent);
        emit Checked();
    }
    if (m_bAgain) {
        m_bAgain = false;
        Check(m_strBoard, m_strContent, m_strWorking);
    }
}
