// The board's settings, each with a sentence on what it does: the mode, how long the
// highlight stays on a picture, how fast it blinks, and how long after a choice further
// clicks are ignored. Written to the settings file the board reads, in its own words.
#pragma once

#include <QDialog>

#include <string>

class QComboBox;
class QSpinBox;

class COrlidoSettingsDialog : public QDialog {
    Q_OBJECT
public:
    COrlidoSettingsDialog(std::wstring setupFile, QWidget* parent = nullptr);

    // Writes the settings as they stand in the dialog; false when the file cannot be written.
    bool Save();

    QComboBox* GetModeBox() const { return m_pMode; }
    QSpinBox* GetScanPeriodBox() const { return m_pScanPeriod; }

private:
    QSpinBox* AddTime(class QFormLayout* form, const QString& label, const QString& sentence,
                      int value);

    std::wstring m_strSetupFile;
    QComboBox* m_pMode = nullptr;
    QSpinBox* m_pScanPeriod = nullptr;
    QSpinBox* m_pBlinkPeriod = nullptr;
    QSpinBox* m_pClickGuard = nullptr;
};
