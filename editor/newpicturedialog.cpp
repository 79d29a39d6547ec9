#include "editor/newpicturedialog.h"

#include "content/contentedit.h"
#include "content/contentrules.h"
#include "editor/editortext.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

COrlidoNewPictureDialog::COrlidoNewPictureDialog(const QImage& image, const QString& caption,
                                                 bool canSpeak, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(Tr("New picture", "Ny bild"));
    auto* picture = new QLabel;
    picture->setPixmap(
        QPixmap::fromImage(image.scaled(240, 180, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    picture->setAlignment(Qt::AlignCenter);

    // Made first: every change of the fields below asks whether Add can be pressed.
    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_pButtons->button(QDialogButtonBox::Ok)->setText(Tr("&Add", "&Lägg till"));
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_pCaption = new QLineEdit(caption);
    m_pCaptionBytes = new QLabel;
    connect(m_pCaption, &QLineEdit::textChanged, this, &COrlidoNewPictureDialog::Update);

    m_pSpoken =
        new QRadioButton(Tr("S&poken: the caption read aloud", "&Uppläst: bildtexten läses upp"));
    m_pFile = new QRadioButton(Tr("From a &file:", "Från en &fil:"));
    m_pNone = new QRadioButton(
        Tr("&No sound (choosing the picture shows the board's message that it is missing)",
           "&Inget ljud (att välja bilden visar tavlans meddelande om att det saknas)"));
    m_pSpoken->setVisible(canSpeak);
    m_pSoundFileName = new QLabel;
    auto* choose = new QPushButton(Tr("C&hoose…", "&Välj…"));
    connect(choose, &QPushButton::clicked, this, &COrlidoNewPictureDialog::ChooseSoundFile);
    for (QRadioButton* button : { m_pSpoken, m_pFile, m_pNone })
        connect(button, &QRadioButton::toggled, this, &COrlidoNewPictureDialog::Update);
    (canSpeak ? m_pSpoken : m_pFile)->setChecked(true);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_pFile);
    fileRow->addWidget(m_pSoundFileName, 1);
    fileRow->addWidget(choose);
    auto* sound = new QVBoxLayout;
    sound->addWidget(m_pSpoken);
    sound->addLayout(fileRow);
    sound->addWidget(m_pNone);

    auto* form = new QFormLayout;
    form->addRow(Tr("&Caption", "&Bildtext"), m_pCaption);
    form->addRow(QString(), m_pCaptionBytes);
    form->addRow(Tr("Sound", "Ljud"), sound);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addLayout(form);
    layout->addWidget(m_pButtons);
    m_pCaption->setFocus();
    m_pCaption->selectAll();
    Update();
}

QString COrlidoNewPictureDialog::GetCaption() const
{
    return m_pCaption->text();
}

COrlidoNewPictureDialog::TSound COrlidoNewPictureDialog::GetSound() const
{
    if (m_pSpoken->isChecked())
        return TSound::Spoken;
    return m_pFile->isChecked() ? TSound::File : TSound::None;
}

void COrlidoNewPictureDialog::SetCaption(const QString& caption)
{
    m_pCaption->setText(caption);
}

void COrlidoNewPictureDialog::SetSoundFile(const QString& file)
{
    m_strSoundFile = file;
    m_pSoundFileName->setText(QFileInfo(file).fileName());
    m_pFile->setChecked(true);
    Update();
}

void COrlidoNewPictureDialog::SetNoSound()
{
    m_pNone->setChecked(true);
}

bool COrlidoNewPictureDialog::CanAccept() const
{
    switch (GetSound()) {
    case TSound::Spoken:
        return !CTQContentEdit::CaptionBytes(GetCaption().toStdWString()).empty();
    case TSound::File:
        return !m_strSoundFile.isEmpty();
    case TSound::None:
        break;
    }
    return true;
}

void COrlidoNewPictureDialog::ChooseSoundFile()
{
    const QString file =
        QFileDialog::getOpenFileName(this, Tr("Choose its sound", "Välj dess ljud"), QString(),
                                     Tr("Sounds", "Ljud") + QStringLiteral(" (*.wav *.mp3 *.wma)"));
    if (!file.isEmpty())
        SetSoundFile(file);
}

void COrlidoNewPictureDialog::Update()
{
    const std::size_t bytes = CTQContentEdit::CaptionBytes(GetCaption().toStdWString()).size();
    m_pCaptionBytes->setText(QString::number(bytes) + QStringLiteral(" / ") +
                             QString::number(CTQContentRules::CaptionBytes) +
                             Tr(" bytes", " byte"));
    m_pButtons->button(QDialogButtonBox::Ok)->setEnabled(CanAccept());
}
