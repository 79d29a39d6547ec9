// The choice of a program for a picture to start: the installed programs by name, narrowed
// as the carer types; Enter or a double click chooses.
#pragma once

#include "editor/installedprograms.h"

#include <QDialog>

#include <vector>

class QLineEdit;
class QListWidget;

class COrlidoProgramDialog : public QDialog {
    Q_OBJECT
public:
    explicit COrlidoProgramDialog(std::vector<COrlidoInstalledPrograms::TProgram> programs,
                                  QWidget* parent = nullptr);

    // The program chosen; nullptr when none is.
    const COrlidoInstalledPrograms::TProgram* GetChosen() const;
    QLineEdit* GetFilter() const { return m_pFilter; }
    QListWidget* GetList() const { return m_pList; }

private:
    void Narrow(const QString& text);

    std::vector<COrlidoInstalledPrograms::TProgram> m_Programs;
    QLineEdit* m_pFilter = nullptr;
    QListWidget* m_pList = nullptr;
};
