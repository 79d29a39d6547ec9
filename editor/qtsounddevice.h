// The desktop's default microphone and loudspeaker, through Qt Multimedia.
#pragma once

#include "editor/sounddevice.h"

#include <QAudioFormat>
#include <QBuffer>

#include <memory>

class QAudioSink;
class QAudioSource;
class QIODevice;

class COrlidoQtSoundDevice : public COrlidoSoundDevice {
public:
    COrlidoQtSoundDevice();
    ~COrlidoQtSoundDevice() override;

    bool HasMicrophone() const override;
    bool StartRecording() override;
    std::vector<std::int16_t> TakeRecorded() override;
    void StopRecording() override;
    bool Play(const std::vector<std::int16_t>& samples) override;
    void StopPlaying() override;

private:
    QAudioFormat m_Format;
    std::unique_ptr<QAudioSource> m_pSource;
    QIODevice* m_pRecorded = nullptr;  // owned by m_pSource
    QByteArray m_Unread;
    std::unique_ptr<QAudioSink> m_pSink;
    QBuffer m_Playing;
};
