#include "editor/recorddialog.h"

#include "editor/editortext.h"
#include "editor/sounddevice.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

namespace {

// The longest take: far more than a picture's word or sentence, and bounded, so a
// forgotten recording does not fill the memory.
constexpr int kMaxSeconds = 60;

// The loudest sample of a chunk, 0 to 100.
int LevelOf(const std::vector<std::int16_t>& samples)
{
    int peak = 0;
    for (const std::int16_t sample : samples)
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    return std::min(100, peak * 100 / 32767);
}

}  // namespace

COrlidoRecordDialog::COrlidoRecordDialog(COrlidoSoundDevice& device, QWidget* parent)
    : QDialog(parent), m_Device(device)
{
    setWindowTitle(Tr("Record its sound", "Spela in dess ljud"));
    m_pRecord = new QPushButton(Tr("&Record", "Spela &in"));
    m_pStop = new QPushButton(Tr("&Stop", "&Stoppa"));
    m_pPlay = new QPushButton(Tr("&Listen", "&Lyssna"));
    m_pLevel = new QProgressBar;
    m_pLevel->setRange(0, 100);
    m_pLevel->setTextVisible(false);
    m_pLevel->setAccessibleName(Tr("Loudness", "Ljudnivå"));
    m_pStatus = new QLabel;
    m_pStatus->setWordWrap(true);
    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_pButtons->button(QDialogButtonBox::Ok)->setText(Tr("&Keep this sound", "&Behåll ljudet"));

    connect(m_pRecord, &QPushButton::clicked, this, [this] { StartRecording(); });
    connect(m_pStop, &QPushButton::clicked, this, [this] {
        StopRecording();
        m_Device.StopPlaying();
    });
    connect(m_pPlay, &QPushButton::clicked, this, [this] { Play(); });
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_pPoll = new QTimer(this);
    m_pPoll->setInterval(50);
    connect(m_pPoll, &QTimer::timeout, this, [this] { TakeRecorded(); });

    auto* row = new QHBoxLayout;
    row->addWidget(m_pRecord);
    row->addWidget(m_pStop);
    row->addWidget(m_pPlay);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(m_pLevel);
    layout->addWidget(m_pStatus);
    layout->addWidget(m_pButtons);
    Update();
}

COrlidoRecordDialog::~COrlidoRecordDialog()
{
    StopRecording();
    m_Device.StopPlaying();
}

QPushButton* COrlidoRecordDialog::GetKeepButton() const
{
    return m_pButtons->button(QDialogButtonBox::Ok);
}

CTQWaveSound COrlidoRecordDialog::GetSound() const
{
    return m_Samples.empty() ? CTQWaveSound()
                             : CTQWaveSound(COrlidoSoundDevice::SampleRate, m_Samples);
}

void COrlidoRecordDialog::StartRecording()
{
    m_Device.StopPlaying();
    if (!m_Device.StartRecording()) {
        m_pStatus->setText(Tr("The microphone could not be opened. Is it plugged in, and not "
                              "in use by another program?",
                              "Mikrofonen kunde inte öppnas. Är den ansluten, och inte "
                              "upptagen av ett annat program?"));
        return;
    }
    // Recording again replaces the take before.
    m_Samples.clear();
    m_bRecording = true;
    m_pPoll->start();
    Update();
}

void COrlidoRecordDialog::TakeRecorded()
{
    if (!m_bRecording)
        return;
    const std::vector<std::int16_t> chunk = m_Device.TakeRecorded();
    m_Samples.insert(m_Samples.end(), chunk.begin(), chunk.end());
    if (!chunk.empty())
        m_pLevel->setValue(LevelOf(chunk));
    if (m_Samples.size() >= std::size_t(kMaxSeconds) * COrlidoSoundDevice::SampleRate)
        StopRecording();
    else
        Update();
}

void COrlidoRecordDialog::StopRecording()
{
    if (!m_bRecording)
        return;
    m_bRecording = false;
    // What the device still holds belongs to the take.
    const std::vector<std::int16_t> rest = m_Device.TakeRecorded();
    m_Samples.insert(m_Samples.end(), rest.begin(), rest.end());
    m_Device.StopRecording();
    m_pPoll->stop();
    m_pLevel->setValue(0);
    Update();
}

void COrlidoRecordDialog::Play()
{
    if (!m_Device.Play(m_Samples))
        m_pStatus->setText(Tr("There is no loudspeaker to listen on.",
                              "Det finns ingen högtalare att lyssna med."));
}

void COrlidoRecordDialog::Update()
{
    const bool taken = !m_Samples.empty();
    m_pRecord->setEnabled(!m_bRecording);
    m_pStop->setEnabled(m_bRecording || taken);
    m_pPlay->setEnabled(!m_bRecording && taken);
    GetKeepButton()->setEnabled(!m_bRecording && taken);
    const double seconds = double(m_Samples.size()) / COrlidoSoundDevice::SampleRate;
    if (m_bRecording)
        m_pStatus->setText(Tr("Recording… %1 s. Speak now; press Stop when done.",
                              "Spelar in… %1 s. Tala nu; tryck Stoppa när du är klar.")
                               .arg(seconds, 0, 'f', 1));
    else if (taken)
        m_pStatus->setText(Tr("A sound of %1 s. Listen to it, record it again, or keep it.",
                              "Ett ljud på %1 s. Lyssna på det, spela in igen, eller behåll det.")
                               .arg(seconds, 0, 'f', 1));
    else
        m_pStatus->setText(Tr("Press Record and speak.", "Tryck Spela in och tala."));
}
