// The one dialog for a new picture, however it came (a file, a drop, a paste): the picture,
// its caption, and its sound. The sound is spoken from the caption, taken from a file, or
// left out on purpose; the dialog cannot be accepted before one of them is settled, so a
// picture never ends up without a sound by oversight.
#pragma once

#include <QDialog>
#include <QImage>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QRadioButton;

class COrlidoNewPictureDialog : public QDialog {
    Q_OBJECT
public:
    enum class TSound { Spoken, File, None };

    COrlidoNewPictureDialog(const QImage& image, const QString& caption, bool canSpeak,
                            QWidget* parent = nullptr);

    QString GetCaption() const;
    TSound GetSound() const;
    const QString& GetSoundFile() const { return m_strSoundFile; }
    // What the carer chooses by hand; also the way tests choose.
    void SetCaption(const QString& caption);
    void SetSoundFile(const QString& file);
    void SetNoSound();
    bool CanAccept() const;

private:
    void ChooseSoundFile();
    void Update();

    QLineEdit* m_pCaption = nullptr;
    QLabel* m_pCaptionBytes = nullptr;
    QRadioButton* m_pSpoken = nullptr;
    QRadioButton* m_pFile = nullptr;
    QRadioButton* m_pNone = nullptr;
    QLabel* m_pSoundFileName = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
    QString m_strSoundFile;
};
