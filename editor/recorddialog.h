// Recording a picture's sound from the microphone: record, stop, listen to it, record
// again, and keep the last take. A meter shows how loud the microphone hears the carer
// while recording, so a microphone that hears nothing is noticed before the sound is kept.
#pragma once

#include "content/wavesound.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class COrlidoSoundDevice;
class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class COrlidoRecordDialog : public QDialog {
    Q_OBJECT
public:
    COrlidoRecordDialog(COrlidoSoundDevice& device, QWidget* parent = nullptr);
    ~COrlidoRecordDialog() override;

    // The last take, ready to be written; empty before one is made.
    CTQWaveSound GetSound() const;

    // The dialog's buttons, as the carer (and a test) presses them.
    QPushButton* GetRecordButton() const { return m_pRecord; }
    QPushButton* GetStopButton() const { return m_pStop; }
    QPushButton* GetPlayButton() const { return m_pPlay; }
    QPushButton* GetKeepButton() const;
    // Loudness of the microphone while recording, 0 to 100.
    QProgressBar* GetLevelMeter() const { return m_pLevel; }

private:
    void StartRecording();
    void StopRecording();
    void TakeRecorded();
    void Play();
    void Update();

    COrlidoSoundDevice& m_Device;
    std::vector<std::int16_t> m_Samples;
    bool m_bRecording = false;
    QTimer* m_pPoll = nullptr;
    QPushButton* m_pRecord = nullptr;
    QPushButton* m_pStop = nullptr;
    QPushButton* m_pPlay = nullptr;
    QProgressBar* m_pLevel = nullptr;
    QLabel* m_pStatus = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
};
