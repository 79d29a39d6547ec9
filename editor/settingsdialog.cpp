#include "editor/settingsdialog.h"

#include "application/tqstartupsettings.h"
#include "content/contentrules.h"
#include "content/contentsettings.h"
#include "editor/editortext.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

using Rules = CTQContentRules;
using Key = Rules::TSettingKey;
constexpr int kLongestTime = 600000;  // ten minutes: more is surely a slip of the finger

QLabel* Sentence(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: palette(mid);"));
    return label;
}

}  // namespace

COrlidoSettingsDialog::COrlidoSettingsDialog(std::wstring setupFile, QWidget* parent)
    : QDialog(parent), m_strSetupFile(std::move(setupFile))
{
    setWindowTitle(Tr("Settings", "Inställningar"));
    const TStartupSettings now = ReadStartupSettings(m_strSetupFile);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    m_pMode = new QComboBox;
    m_pMode->addItem(
        Tr("Standard: the user chooses with the mouse", "Standard: användaren väljer med musen"),
        QString::fromStdWString(Rules::StandardMode));
    m_pMode->addItem(Tr("Scan: the board highlights the pictures in turn",
                        "Skanning: tavlan markerar bilderna i tur och ordning"),
                     QString::fromStdWString(Rules::ScanMode));
    m_pMode->setCurrentIndex(now.Mode == Rules::ScanMode ? 1 : 0);
    form->addRow(Tr("&Mode", "&Läge"), m_pMode);
    form->addRow(
        QString(),
        Sentence(
            Tr("In scan mode Enter chooses the highlighted picture and space goes back, whichever "
               "window is in front; a switch or a game controller does the same.",
               "I skanningsläge väljer Enter den markerade bilden och mellanslag går tillbaka, "
               "vilket fönster som än är framme; en kontakt eller spelkontroll gör detsamma.")));
    m_pScanPeriod = AddTime(form, Tr("&Scan period", "&Skanningstid"),
                            Tr("How long the highlight stays on each picture in scan mode.",
                               "Hur länge markeringen stannar på varje bild i skanningsläge."),
                            now.ScanPeriod);
    m_pBlinkPeriod = AddTime(form, Tr("&Blink period", "&Blinktid"),
                             Tr("How fast the highlighted picture's frame blinks.",
                                "Hur fort den markerade bildens ram blinkar."),
                             now.BlinkPeriod);
    m_pClickGuard = AddTime(
        form, Tr("&Click guard", "&Klickspärr"),
        Tr("How long after a choice further clicks are ignored, so that a shaky hand chooses once.",
           "Hur länge efter ett val fler klick inte räknas, så att en darrig hand väljer en gång."),
        std::max(0, now.AvoidExtraClicksTime));
    layout->addWidget(
        Sentence(Tr("Saved in ", "Sparas i ") + QString::fromStdWString(m_strSetupFile)));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Save())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QSpinBox* COrlidoSettingsDialog::AddTime(QFormLayout* form, const QString& label,
                                         const QString& sentence, int value)
{
    auto* box = new QSpinBox;
    box->setRange(0, kLongestTime);
    box->setSingleStep(100);
    box->setSuffix(Tr(" ms", " ms"));
    box->setValue(value);
    form->addRow(label, box);
    form->addRow(QString(), Sentence(sentence));
    return box;
}

bool COrlidoSettingsDialog::Save()
{
    const CTQContentSettings::TValues values = {
        { Key::MainMode, m_pMode->currentData().toString().toStdWString() },
        { Key::ScanPeriod, std::to_wstring(m_pScanPeriod->value()) },
        { Key::BlinkPeriod, std::to_wstring(m_pBlinkPeriod->value()) },
        { Key::AvoidExtraClicksTime, std::to_wstring(m_pClickGuard->value()) },
    };
    return CTQContentSettings::Write(m_strSetupFile, values);
}
