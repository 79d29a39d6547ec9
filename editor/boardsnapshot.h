// The board's own picture of a page: "orlido --snapshot" run in the background into a
// scratch file. The preview shows it when it arrives and draws the page itself until then,
// so nothing the carer does waits for the board.
#pragma once

#include <QImage>
#include <QObject>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

class COrlidoBoardSnapshot : public QObject {
    Q_OBJECT
public:
    explicit COrlidoBoardSnapshot(QObject* parent = nullptr);
    ~COrlidoBoardSnapshot() override;

    // The board program: a path, or a name looked for on PATH.
    void SetProgram(const QString& program);
    // Whether snapshots can be had: an X display the board can draw on, and the board.
    bool IsAvailable() const;
    // The board's arguments for the page folder, written to output at size; empty when the
    // folder lies in no UserData folder.
    static QStringList Arguments(const QString& pageFolder, const QString& output, QSize size);

    // Asks for the page folder at size. Quick requests give one run, of the last; a request
    // made while the board draws makes it draw again once it is done, and the older picture
    // is dropped.
    void Request(const QString& pageFolder, QSize size);

signals:
    void Ready(const QString& pageFolder, const QImage& image);

private:
    void Start();
    void OnFinished(int exitCode, QProcess::ExitStatus status);

    QString m_strProgram;
    QTemporaryDir m_Scratch;
    QProcess m_Process;
    QTimer m_Coalesce;
    QTimer m_Limit;  // a board that does not end in time is stopped
    QString m_strWanted;
    QSize m_WantedSize;
    QString m_strRunning;
    bool m_bAgain = false;
};
