#include "editor/boardsnapshot.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

namespace {

constexpr int kCoalesceMs = 150;
constexpr int kLimitMs = 15000;
const QString kUserData = QStringLiteral("/UserData/");

}  // namespace

COrlidoBoardSnapshot::COrlidoBoardSnapshot(QObject* parent) : QObject(parent)
{
    m_Coalesce.setSingleShot(true);
    m_Coalesce.setInterval(kCoalesceMs);
    m_Limit.setSingleShot(true);
    m_Limit.setInterval(kLimitMs);
    connect(&m_Coalesce, &QTimer::timeout, this, [this] {
        if (m_Process.state() == QProcess::NotRunning)
            Start();
        else
            m_bAgain = true;
    });
    connect(&m_Limit, &QTimer::timeout, &m_Process, &QProcess::kill);
    connect(&m_Process, &QProcess::finished, this, &COrlidoBoardSnapshot::OnFinished);
    // A board that cannot be started ends the run as a failed one would.
    connect(&m_Process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            OnFinished(-1, QProcess::CrashExit);
    });
}

COrlidoBoardSnapshot::~COrlidoBoardSnapshot()
{
    m_Process.disconnect(this);
    if (m_Process.state() != QProcess::NotRunning) {
        m_Process.kill();
        m_Process.waitForFinished(1000);
    }
}

void COrlidoBoardSnapshot::SetProgram(const QString& program)
{
    const QFileInfo file(program);
    if (program.contains(QLatin1Char('/')))
        m_strProgram = file.isFile() && file.isExecutable() ? file.absoluteFilePath() : QString();
    else
        m_strProgram = QStandardPaths::findExecutable(program);
}

bool COrlidoBoardSnapshot::IsAvailable() const
{
    const QString platform = QGuiApplication::platformName();
    return !m_strProgram.isEmpty() && m_Scratch.isValid() &&
        !qEnvironmentVariableIsEmpty("DISPLAY") && platform != QLatin1String("offscreen") &&
        platform != QLatin1String("minimal");
}

QStringList COrlidoBoardSnapshot::Arguments(const QString& pageFolder, const QString& output,
                                            QSize size)
{
    const int at = pageFolder.lastIndexOf(kUserData);
    if (at <= 0 || size.isEmpty())
        return {};
    return {
        QStringLiteral("--content"),  pageFolder.left(at),
        QStringLiteral("--page"),     pageFolder.mid(at + kUserData.size()),
        QStringLiteral("--size"),     QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
        QStringLiteral("--snapshot"), output
    };
}

void COrlidoBoardSnapshot::Request(const QString& pageFolder, QSize size)
{
    m_strWanted = pageFolder;
    m_WantedSize = size;
    m_Coalesce.start();
}

void COrlidoBoardSnapshot::Start()
{
    const QStringList arguments =
        Arguments(m_strWanted, m_Scratch.filePath(QStringLiteral("page.png")), m_WantedSize);
    if (arguments.isEmpty())
        return;
    m_strRunning = m_strWanted;
    m_Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_Process.setStandardOutputFile(QProcess::nullDevice());
    m_Process.start(m_strProgram, arguments);
    m_Limit.start();
}

void COrlidoBoardSnapshot::OnFinished(int exitCode, QProcess::ExitStatus status)
{
    m_Limit.stop();
    if (m_bAgain) {
        // Drawn before the last change: the newer one is asked for instead.
        m_bAgain = false;
        Start();
        return;
    }
    if (status != QProcess::NormalExit || exitCode != 0)
        return;
    const QImage image(m_Scratch.filePath(QStringLiteral("page.png")));
    if (!image.isNull())
        emit Ready(m_strRunning, image);
}
