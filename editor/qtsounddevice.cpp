#include "editor/qtsounddevice.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QAudioSource>
#include <QMediaDevices>

#include <cstring>

COrlidoQtSoundDevice::COrlidoQtSoundDevice()
{
    m_Format.setSampleRate(SampleRate);
    m_Format.setChannelCount(1);
    m_Format.setSampleFormat(QAudioFormat::Int16);
}

COrlidoQtSoundDevice::~COrlidoQtSoundDevice()
{
    StopRecording();
    StopPlaying();
}

bool COrlidoQtSoundDevice::HasMicrophone() const
{
    return !QMediaDevices::defaultAudioInput().isNull();
}

bool COrlidoQtSoundDevice::StartRecording()
{
    StopRecording();
    const QAudioDevice microphone = QMediaDevices::defaultAudioInput();
    if (microphone.isNull() || !microphone.isFormatSupported(m_Format))
        return false;
    m_pSource = std::make_unique<QAudioSource>(microphone, m_Format);
    m_pRecorded = m_pSource->start();
    if (m_pRecorded == nullptr) {
        m_pSource.reset();
        return false;
    }
    return true;
}

std::vector<std::int16_t> COrlidoQtSoundDevice::TakeRecorded()
{
    if (m_pRecorded == nullptr)
        return {};
    // A read may end inside a sample: its first byte waits for the next read.
    m_Unread += m_pRecorded->readAll();
    std::vector<std::int16_t> samples(static_cast<std::size_t>(m_Unread.size()) / 2);
    std::memcpy(samples.data(), m_Unread.constData(), samples.size() * 2);
    m_Unread.remove(0, static_cast<qsizetype>(samples.size() * 2));
    return samples;
}

void COrlidoQtSoundDevice::StopRecording()
{
    if (m_pSource)
        m_pSource->stop();
    m_pRecorded = nullptr;
    m_pSource.reset();
    m_Unread.clear();
}

bool COrlidoQtSoundDevice::Play(const std::vector<std::int16_t>& samples)
{
    StopPlaying();
    const QAudioDevice speaker = QMediaDevices::defaultAudioOutput();
    if (speaker.isNull() || !speaker.isFormatSupported(m_Format))
        return false;
    m_Playing.setData(reinterpret_cast<const char*>(samples.data()),
                      static_cast<qsizetype>(samples.size() * 2));
    m_Playing.open(QIODevice::ReadOnly);
    m_pSink = std::make_unique<QAudioSink>(speaker, m_Format);
    m_pSink->start(&m_Playing);
    return true;
}

void COrlidoQtSoundDevice::StopPlaying()
{
    if (m_pSink)
        m_pSink->stop();
    m_pSink.reset();
    m_Playing.close();
}
