// The checker's problems, page by page: runs the board's own check ("orlido --check") on the
// content in the background and sorts each problem it reports to the page folder its file
// belongs to, so the editor can mark the page and show the texts beside it. The editor has no
// display backend of its own; the board program has, and its check opens pictures and sounds
// exactly as it will.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>

class QProcess;

class COrlidoPageProblems : public QObject {
    Q_OBJECT
public:
    explicit COrlidoPageProblems(QObject* parent = nullptr);
    // A check still running is ended: its answer would have no one to go to.
    ~COrlidoPageProblems() override;

    // Checks contentFolder with the settings the board would read when started in
    // workingFolder. A check asked for while one runs follows it.
    void Check(const QString& boardProgram, const QString& contentFolder,
               const QString& workingFolder);

    // The problems of the check's output by the folder their file is in (or that they name);
    // a problem outside UserData is filed under the content folder.
    static std::map<QString, QStringList> Sort(const QString& report, const QString& contentFolder);

    const std::map<QString, QStringList>& GetProblems() const { return m_Problems; }
    bool IsChecking() const { return m_pProcess != nullptr; }

signals:
    void Checked();

private:
    void Finished();

    QProcess* m_pProcess = nullptr;
    bool m_bAgain = false;
    QString m_strBoard;
    QString m_strContent;
    QString m_strWorking;
    std::map<QString, QStringList> m_Problems;
};
