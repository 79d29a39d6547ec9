#include "editor/editorwindow.h"

#include "content/contentrules.h"
#include "content/speech.h"
#include "editor/editortext.h"
#include "editor/newpicturedialog.h"
#include "editor/pagepreview.h"
#include "editor/pageproblems.h"
#include "editor/programdialog.h"
#include "editor/recorddialog.h"
#include "editor/sounddevice.h"
#include "editor/settingsdialog.h"
#include "platform/files.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QDropEvent>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using Rules = CTQContentRules;
using TLeadsTo = CTQContentTree::TLeadsTo;
using TResult = CTQContentEdit::TResult;

QString FromWide(const std::wstring& text)
{
    return QString::fromStdWString(text);
}

// A path as the content layer takes it: the file name's own bytes.
std::wstring ToPath(const QString& path)
{
    return platform::FromUtf8(QFile::encodeName(path).toStdString());
}

QString FromPath(const std::wstring& path)
{
    return QFile::decodeName(QByteArray::fromStdString(platform::ToUtf8(path)));
}

// A picture's name without its number and extension: "B00001 Mat.jpg" is "Mat".
std::wstring ShownName(const std::wstring& pictureName)
{
    std::wstring name =
        pictureName.substr(0, pictureName.rfind(L'.')).substr(1 + Rules::NumberDigits);
    while (!name.empty() && name.front() == L' ')
        name.erase(0, 1);
    return name.empty() ? pictureName : platform::DecodeText8(platform::ToUtf8(name));
}

struct TLeadsToChoice {
    TLeadsTo LeadsTo;
    const char* English;
    const char* Swedish;
};
const TLeadsToChoice kLeadsToChoices[] = {
    { TLeadsTo::Nothing, "Nothing", "Ingenting" },
    { TLeadsTo::SubPage, "A page of more pictures", "En sida med fler bilder" },
    { TLeadsTo::Program, "A program", "Ett program" },
    { TLeadsTo::Film, "A film", "En film" },
    { TLeadsTo::Music, "Music", "Musik" },
    { TLeadsTo::WebAddress, "A web address", "En webbadress" },
};

}  // namespace

COrlidoEditWindow::COrlidoEditWindow(std::wstring contentFolder, std::wstring setupFile,
                                     QWidget* parent)
    : QMainWindow(parent), m_strSetupFile(std::move(setupFile)), m_Edit(std::move(contentFolder))
{
    setWindowTitle(Tr("Orlido editor", "Orlido-redigerare") + QStringLiteral(" – ") +
                   FromPath(m_Edit.GetContentFolder()));
    m_pTree = new QTreeWidget;
    m_pTree->setHeaderLabel(Tr("Pages", "Sidor"));
    connect(m_pTree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        m_Trail.clear();
        for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent())
            m_Trail.insert(m_Trail.begin(), up->data(0, Qt::UserRole).toString().toStdWString());
        OpenPage(item->data(0, Qt::UserRole).toString().toStdWString());
    });

    m_pPreview = new COrlidoPagePreview;
    m_pPreview->setAccessibleName(
        Tr("The page as the board shows it", "Sidan som tavlan visar den"));
    m_pPreview->setToolTip(Tr("Drag a picture to another place to move it there (or choose it "
                              "and press Ctrl and an arrow key).",
                              "Dra en bild till en annan plats för att flytta den dit (eller välj "
                              "den och tryck Ctrl och en piltangent)."));
    connect(m_pPreview, &COrlidoPagePreview::Selected, this, &COrlidoEditWindow::ShowPicture);
    connect(m_pPreview, &COrlidoPagePreview::Opened, this, &COrlidoEditWindow::OpenSubPage);
    connect(m_pPreview, &COrlidoPagePreview::Moved, this, &COrlidoEditWindow::MovePicture);

    m_pOutside = new QLabel(
        Tr("This page was changed outside the editor. Nothing is written to it until you look "
           "at it again: press F5.",
           "Sidan har ändrats utanför redigeraren. Inget skrivs till den förrän du har tittat "
           "på den igen: tryck F5."));
    m_pOutside->setWordWrap(true);
    m_pOutside->setStyleSheet(QStringLiteral("background: #fff3c4; padding: 6px;"));
    m_pOutside->hide();

    m_pProblemText = new QLabel;
    m_pProblemText->setWordWrap(true);
    m_pProblemText->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                            Qt::TextSelectableByKeyboard);
    m_pProblemText->setStyleSheet(QStringLiteral("background: #ffe0e0; padding: 6px;"));
    m_pProblemText->hide();

    auto* middle = new QWidget;
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->addWidget(m_pOutside);
    middleLayout->addWidget(m_pPreview, 1);
    middleLayout->addWidget(m_pProblemText);

    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/orlido");
    SetBoardProgram(QFileInfo::exists(beside) ? beside : QStringLiteral("orlido"));
    m_pProblems = new COrlidoPageProblems(this);
    connect(m_pProblems, &COrlidoPageProblems::Checked, this, [this] {
        MarkProblems();
        ShowProblems();
    });
    // A moment after the last change: a carer adding pictures one after another waits for no check.
    m_pCheckSoon = new QTimer(this);
    m_pCheckSoon->setSingleShot(true);
    m_pCheckSoon->setInterval(800);
    connect(m_pCheckSoon, &QTimer::timeout, this, &COrlidoEditWindow::CheckContent);

    auto* splitter = new QSplitter;
    splitter->addWidget(m_pTree);
    splitter->addWidget(middle);
    splitter->addWidget(BuildPicturePanel());
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    BuildActions();

    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, &COrlidoEditWindow::CheckOutside);
    watch->start(1000);

    setAcceptDrops(true);
    OpenPage(CTQContentTree::FirstPageFolder(m_Edit.GetContentFolder()));
    m_pCheckSoon->start();
    resize(1200, 600);
}

COrlidoEditWindow::~COrlidoEditWindow() = default;

void COrlidoEditWindow::BuildActions()
{
    QToolBar* bar = addToolBar(Tr("Edit", "Redigera"));
    const auto add = [&](const QString& text, QKeySequence key, auto slot) {
        QAction* action = bar->addAction(text);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(Tr("&Open content…", "Ö&ppna innehåll…"), QKeySequence::Open,
        [this] { OpenOtherFolder(); });
    add(Tr("&Add picture…", "&Lägg till bild…"), QKeySequence(Qt::CTRL | Qt::Key_N),
        [this] { ChooseAndAddPicture(); })
        ->setToolTip(Tr("Add a picture from a file (Ctrl+N). A picture can also be dragged in or "
                        "pasted (Ctrl+V).",
                        "Lägg till en bild från en fil (Ctrl+N). En bild kan också dras hit eller "
                        "klistras in (Ctrl+V)."));
    m_pBack = add(Tr("&Back to the page above", "&Tillbaka till sidan ovanför"),
                  QKeySequence(Qt::ALT | Qt::Key_Left), [this] { GoBack(); });
    m_pUndo = add(Tr("&Undo", "&Ångra"), QKeySequence::Undo, [this] { Undo(); });
    m_pRedo = add(Tr("&Redo", "&Gör om"), QKeySequence::Redo, [this] { Redo(); });
    add(Tr("&Settings…", "&Inställningar…"), QKeySequence(Qt::CTRL | Qt::Key_Comma),
        [this] { ShowSettings(); });
    add(Tr("&Try it on the board", "&Prova på tavlan"), QKeySequence(Qt::Key_F9),
        [this] { TryOnBoard(); });
    // The picture's own keys act wherever the focus is in the window (a text field keeps
    // its own Delete and arrows).
    const auto key = [this](QKeySequence sequence, auto slot) {
        auto* action = new QAction(this);
        action->setShortcut(sequence);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { MoveSelected(-1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { MoveSelected(1); });
    key(QKeySequence::Delete, [this] { DeleteSelected(); });
    // A text field with the focus keeps Ctrl+V for its own text.
    key(QKeySequence::Paste, [this] { PastePicture(); });
    add(Tr("Look again", "Titta igen"), QKeySequence::Refresh, [this] {
        m_Edit.Reread(m_strPage);
        Refresh();
        CheckContent();
    });
}

QWidget* COrlidoEditWindow::BuildPicturePanel()
{
    m_pPicturePanel = new QWidget;
    auto* form = new QFormLayout(m_pPicturePanel);
    m_pPictureTitle = new QLabel;
    form->addRow(m_pPictureTitle);

    m_pCaption = new QLineEdit;
    m_pCaptionBytes = new QLabel;
    connect(m_pCaption, &QLineEdit::textChanged, this, [this](const QString& text) {
        const std::size_t bytes = CTQContentEdit::CaptionBytes(text.toStdWString()).size();
        const bool cut = text.toUtf8().size() > static_cast<qsizetype>(bytes);
        m_pCaptionBytes->setText(
            QString::number(bytes) + QStringLiteral(" / ") + QString::number(Rules::CaptionBytes) +
            Tr(" bytes", " byte") +
            (cut ? Tr(" – the rest is not shown", " – resten visas inte") : QString()));
    });
    connect(m_pCaption, &QLineEdit::editingFinished, this, [this] {
        if (m_pPreview->GetSelected() > 0)
            SetCaption(m_pCaption->text());
    });
    form->addRow(Tr("&Caption", "&Bildtext"), m_pCaption);
    form->addRow(QString(), m_pCaptionBytes);

    m_pSound = new QLabel;
    auto* chooseSound = new QPushButton(Tr("Choose a &sound file…", "Välj en &ljudfil…"));
    connect(chooseSound, &QPushButton::clicked, this, [this] { ChooseSound(); });
    form->addRow(Tr("Sound", "Ljud"), m_pSound);
    form->addRow(QString(), chooseSound);
    if (CanSpeak()) {
        auto* speak = new QPushButton(
            Tr("S&peak the caption as its sound", "&Läs upp bildtexten som dess ljud"));
        connect(speak, &QPushButton::clicked, this, [this] { SpeakCaption(); });
        form->addRow(QString(), speak);
    }
    m_pRecord = new QPushButton;
    connect(m_pRecord, &QPushButton::clicked, this, [this] { RecordSound(); });
    form->addRow(QString(), m_pRecord);
    ShowWhetherRecording();

    m_pLeadsTo = new QComboBox;
    for (const TLeadsToChoice& choice : kLeadsToChoices)
        m_pLeadsTo->addItem(Tr(choice.English, choice.Swedish), static_cast<int>(choice.LeadsTo));
    m_pLeadsToValue = new QLineEdit;
    m_pLeadsToValue->setPlaceholderText(
        Tr("a web address (or a command; empty: choose a program)",
           "en webbadress (eller ett kommando; tomt: välj ett program)"));
    auto* apply = new QPushButton(Tr("Se&t what it leads to", "Ange &vad den leder till"));
    connect(apply, &QPushButton::clicked, this, [this] { ApplyLeadsTo(); });
    m_pLeadsToNote = new QLabel;
    m_pLeadsToNote->setWordWrap(true);
    form->addRow(Tr("&Leads to", "&Leder till"), m_pLeadsTo);
    form->addRow(QString(), m_pLeadsToValue);
    form->addRow(QString(), apply);
    form->addRow(m_pLeadsToNote);

    auto* moves = new QHBoxLayout;
    auto* earlier =
        new QPushButton(Tr("Move &earlier (Ctrl+Left)", "Flytta &framåt (Ctrl+Vänster)"));
    auto* later = new QPushButton(Tr("Move la&ter (Ctrl+Right)", "Flytta &bakåt (Ctrl+Höger)"));
    auto* remove = new QPushButton(Tr("&Delete picture (Delete)", "&Ta bort bilden (Delete)"));
    connect(earlier, &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    connect(later, &QPushButton::clicked, this, [this] { MoveSelected(1); });
    connect(remove, &QPushButton::clicked, this, [this] { DeleteSelected(); });
    moves->addWidget(earlier);
    moves->addWidget(later);
    form->addRow(moves);
    form->addRow(remove);
    m_pPicturePanel->setEnabled(false);
    return m_pPicturePanel;
}

// ---- Showing ------------------------------------------------------------------------------

void COrlidoEditWindow::OpenPage(const std::wstring& folder)
{
    m_strPage = folder;
    m_pPreview->SetSelected(0);
    Refresh();
    m_pPreview->setFocus();
}

void COrlidoEditWindow::OpenSubPage(int number)
{
    if (number < 1 || number > static_cast<int>(m_Shown.Pictures.size()))
        return;
    const CTQContentTree::TPicture& picture =
        m_Shown.Pictures[static_cast<std::size_t>(number - 1)];
    if (picture.LeadsTo != TLeadsTo::SubPage) {
        statusBar()->showMessage(Tr(
            "This picture leads to no page. Choose \"A page of more pictures\" first.",
            "Den här bilden leder inte till någon sida. Välj \"En sida med fler bilder\" först."));
        return;
    }
    m_Trail.push_back(m_strPage);
    OpenPage(CTQContentTree::SubPageFolder(m_Shown.Folder, number));
}

void COrlidoEditWindow::GoBack()
{
    if (m_Trail.empty())
        return;
    const std::wstring up = m_Trail.back();
    m_Trail.pop_back();
    OpenPage(up);
}

void COrlidoEditWindow::Refresh()
{
    const int selected = m_pPreview->GetSelected();
    m_Shown = m_Edit.ReadPage(m_strPage);
    m_pPreview->SetPage(m_Shown);
    m_pOutside->hide();
    m_pUndo->setEnabled(m_Edit.CanUndo());
    m_pRedo->setEnabled(m_Edit.CanRedo());
    m_pBack->setEnabled(!m_Trail.empty());
    RefreshTree();
    ShowProblems();
    const int count = static_cast<int>(m_Shown.Pictures.size());
    m_pPreview->SetSelected(std::min(selected, count));
    ShowPicture(m_pPreview->GetSelected());
    statusBar()->showMessage(
        m_Shown.Exists
            ? Tr("%1 pictures on this page", "%1 bilder på den här sidan").arg(count)
            : Tr("A new page: add its first picture", "En ny sida: lägg till dess första bild"));
}

void COrlidoEditWindow::RefreshTree()
{
    m_pTree->clear();
    std::vector<std::wstring> seen;
    auto* first = new QTreeWidgetItem(m_pTree, { Tr("First page", "Första sidan") });
    first->setData(0, Qt::UserRole,
                   FromWide(CTQContentTree::FirstPageFolder(m_Edit.GetContentFolder())));
    AddPages(first, CTQContentTree::FirstPageFolder(m_Edit.GetContentFolder()), 1, seen);
    m_pTree->expandAll();
    MarkProblems();
}

QTreeWidgetItem* COrlidoEditWindow::ItemOfPage(const QString& folder) const
{
    const QString wanted = QDir::cleanPath(folder);
    for (QTreeWidgetItemIterator it(m_pTree); *it != nullptr; ++it) {
        if (QDir::cleanPath((*it)->data(0, Qt::UserRole).toString()) == wanted)
            return *it;
    }
    return nullptr;
}

void COrlidoEditWindow::MarkProblems()
{
    constexpr int kProblemsRole = Qt::UserRole + 1;
    for (QTreeWidgetItemIterator it(m_pTree); *it != nullptr; ++it)
        (*it)->setData(0, kProblemsRole, QStringList());
    // A problem goes to its page, or to the nearest page above the folder it names; one of the
    // board as a whole (a common sound) to the first page.
    const QString content = QDir::cleanPath(FromPath(m_Edit.GetContentFolder()));
    for (const auto& [folder, texts] : m_pProblems->GetProblems()) {
        QString place = folder;
        QTreeWidgetItem* item = ItemOfPage(place);
        while (item == nullptr && place.size() > content.size()) {
            place = QFileInfo(place).path();
            item = ItemOfPage(place);
        }
        if (item == nullptr)
            item = m_pTree->topLevelItem(0);
        if (item != nullptr)
            item->setData(0, kProblemsRole, item->data(0, kProblemsRole).toStringList() + texts);
    }
    for (QTreeWidgetItemIterator it(m_pTree); *it != nullptr; ++it) {
        const QStringList texts = (*it)->data(0, kProblemsRole).toStringList();
        (*it)->setIcon(
            0, texts.isEmpty() ? QIcon() : style()->standardIcon(QStyle::SP_MessageBoxWarning));
        (*it)->setToolTip(0, texts.join(QLatin1Char('\n')));
        (*it)->setData(0, Qt::AccessibleDescriptionRole,
                       texts.isEmpty() ? QString()
                                       : Tr("%1 problems", "%1 problem").arg(texts.size()));
    }
}

void COrlidoEditWindow::ShowProblems()
{
    const QTreeWidgetItem* item = ItemOfPage(FromWide(m_strPage));
    const QStringList texts =
        item == nullptr ? QStringList() : item->data(0, Qt::UserRole + 1).toStringList();
    m_pProblemText->setVisible(!texts.isEmpty());
    m_pProblemText->setText(
        Tr("The board's check finds on this page:", "Tavlans kontroll hittar på den här sidan:") +
        QStringLiteral("\n• ") + texts.join(QStringLiteral("\n• ")));
}

void COrlidoEditWindow::SetBoardProgram(const QString& program)
{
    m_strBoardProgram = program;
    m_pPreview->SetBoardProgram(program);
}

void COrlidoEditWindow::CheckContent()
{
    // Run where "Try it" starts the board, so the check reads the same settings; the board
    // leaves its log in that folder, never in the content.
    const QString folder = QFileInfo(FromPath(m_strSetupFile)).absolutePath();
    QDir().mkpath(folder);
    m_pProblems->Check(m_strBoardProgram, FromPath(m_Edit.GetContentFolder()), folder);
}

void COrlidoEditWindow::AddPages(QTreeWidgetItem* parent, const std::wstring& folder, int level,
                                 std::vector<std::wstring>& seen)
{
    if (level >= Rules::MaxLevels || std::find(seen.begin(), seen.end(), folder) != seen.end())
        return;
    seen.push_back(folder);
    if (folder == m_strPage)
        m_pTree->setCurrentItem(parent);
    for (const CTQContentTree::TPicture& picture : CTQContentTree::ReadPage(folder).Pictures) {
        if (picture.LeadsTo != TLeadsTo::SubPage)
            continue;
        const std::wstring sub = CTQContentTree::SubPageFolder(folder, picture.Number);
        const QString name = picture.Caption.empty() ? FromWide(ShownName(picture.PictureName))
                                                     : FromWide(picture.Caption);
        auto* item = new QTreeWidgetItem(parent, { name });
        item->setData(0, Qt::UserRole, FromWide(sub));
        AddPages(item, sub, level + 1, seen);
    }
}

void COrlidoEditWindow::ShowPicture(int number)
{
    const bool shown = number > 0 && number <= static_cast<int>(m_Shown.Pictures.size());
    m_pPicturePanel->setEnabled(shown);
    if (!shown) {
        m_pPictureTitle->setText(Tr("Choose a picture on the page.", "Välj en bild på sidan."));
        m_pCaption->clear();
        m_pSound->clear();
        m_pLeadsToNote->clear();
        return;
    }
    const CTQContentTree::TPicture& picture =
        m_Shown.Pictures[static_cast<std::size_t>(number - 1)];
    m_pPictureTitle->setText(Tr("Picture %1", "Bild %1").arg(number));
    ShowWhetherRecording();
    m_pCaption->setText(FromWide(picture.Caption));
    m_pSound->setText(
        picture.SoundName.empty()
            ? Tr("none: choosing the picture shows the board's message that its sound is missing",
                 "inget: att välja bilden visar tavlans meddelande om att ljudet saknas")
            : FromWide(picture.SoundName));
    const int index = m_pLeadsTo->findData(static_cast<int>(picture.LeadsTo));
    m_pLeadsTo->setCurrentIndex(std::max(index, 0));
    m_pLeadsToValue->setText(picture.LeadsTo == TLeadsTo::WebAddress ? FromWide(picture.WebAddress)
                                                                     : QString());
    QString note;
    if (!picture.Overruled.empty()) {
        QStringList names;
        for (const std::wstring& name : picture.Overruled)
            names << FromWide(name);
        note = Tr("The board starts %1; %2 is never used (a program comes before a film or music, "
                  "that before a web "
                  "address, and all of them before a page).",
                  "Tavlan startar %1; %2 används aldrig (ett program går före film eller musik, "
                  "det före en webbadress, "
                  "och alla före en sida).")
                   .arg(FromWide(picture.LeadsToName), names.join(QStringLiteral(", ")));
    }
    m_pLeadsToNote->setText(note);
}

// ---- Changing -----------------------------------------------------------------------------

bool COrlidoEditWindow::Report(TResult result)
{
    switch (result) {
    case TResult::Done:
        m_pCheckSoon->start();
        break;
    case TResult::ChangedOutside:
        m_pOutside->show();
        return false;
    case TResult::Refused:
        statusBar()->showMessage(Tr("The board could not show that, so it was not done.",
                                    "Det skulle tavlan inte kunna visa, så det gjordes inte."));
        return false;
    case TResult::Failed:
        QMessageBox::warning(
            this, windowTitle(),
            Tr("The change could not be written (is the disk full or read-only?). The pages are as "
               "they were, or finished the next time the content is opened.",
               "Ändringen kunde inte skrivas (är disken full eller skrivskyddad?). Sidorna är som "
               "de var, eller blir klara nästa gång innehållet öppnas."));
        Refresh();
        return false;
    }
    Refresh();
    return true;
}

bool COrlidoEditWindow::AddPicture(const QString& imageFile, const QString& caption,
                                   const QString& soundFile)
{
    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(imageFile) });
    return AddPicture(COrlidoPictureSource::FromMimeData(&files).GetImage(), caption, soundFile);
}

bool COrlidoEditWindow::AddPicture(const QImage& image, const QString& caption,
                                   const QString& soundFile)
{
    CTQContentEdit::TNewPicture picture;
    if (!COrlidoPictureSource::Encode(image, picture.PictureBytes, picture.PictureExtension)) {
        statusBar()->showMessage(Tr("That file is no picture the editor can read.",
                                    "Den filen är ingen bild som redigeraren kan läsa."));
        return false;
    }
    picture.Caption = caption.toStdWString();
    picture.SoundFile = soundFile.isEmpty() ? std::wstring() : ToPath(soundFile);
    const bool done = Report(m_Edit.AddPicture(m_strPage, picture));
    if (done) {
        Refresh();
        m_pPreview->SetSelected(static_cast<int>(m_Shown.Pictures.size()));
    }
    return done;
}

bool COrlidoEditWindow::TakePicture(const QMimeData* handed)
{
    const COrlidoPictureSource source = COrlidoPictureSource::FromMimeData(handed);
    switch (source.GetKind()) {
    case COrlidoPictureSource::TKind::None:
        statusBar()->showMessage(Tr("That is no picture the editor can read.",
                                    "Det är ingen bild som redigeraren kan läsa."));
        return false;
    case COrlidoPictureSource::TKind::WebAddress:
        Fetch(source.GetAddress());
        return true;
    case COrlidoPictureSource::TKind::Image:
    case COrlidoPictureSource::TKind::File:
        break;
    }
    // The drop or paste ends before the dialog opens: a drag source is not kept waiting.
    QTimer::singleShot(0, this, [this, source] { AskAndAdd(source); });
    return true;
}

bool COrlidoEditWindow::CanSpeak()
{
    if (!m_bSpeechTried) {
        m_bSpeechTried = true;
        const std::string locale = QLocale::system().name().toStdString();
        std::string voice = CTQSpeech::VoiceForLocale(locale);
        if (voice.empty())
            voice = CTQSpeech::DefaultVoice;
        bool ok = false;
        std::string error;
        auto speech = std::make_unique<CTQSpeech>(voice, ok, error);
        if (ok)
            m_pSpeech = std::move(speech);
    }
    return m_pSpeech != nullptr;
}

QString COrlidoEditWindow::SpokenSound(const QString& text)
{
    if (!CanSpeak())
        return {};
    if (!m_pSpokenFolder)
        m_pSpokenFolder = std::make_unique<QTemporaryDir>();
    static int made = 0;
    const QString file = m_pSpokenFolder->filePath(QStringLiteral("spoken%1.wav").arg(++made));
    std::string error;
    if (!m_pSpokenFolder->isValid() ||
        !m_pSpeech->MakeSoundFile(text.toStdWString(), ToPath(file), error)) {
        SayClearly(Tr("The caption could not be spoken: %1", "Bildtexten kunde inte läsas upp: %1")
                       .arg(QString::fromStdString(error)));
        return {};
    }
    return file;
}

void COrlidoEditWindow::SetSoundDevice(std::unique_ptr<COrlidoSoundDevice> device)
{
    m_pSoundDevice = std::move(device);
    ShowWhetherRecording();
}

void COrlidoEditWindow::ShowWhetherRecording()
{
    const bool microphone = m_pSoundDevice && m_pSoundDevice->HasMicrophone();
    m_pRecord->setEnabled(microphone);
    m_pRecord->setText(
        microphone ? Tr("&Record its sound…", "Spela &in dess ljud…")
                   : Tr("Recording: no microphone found", "Inspelning: ingen mikrofon hittades"));
    m_pRecord->setToolTip(microphone
                              ? QString()
                              : Tr("Plug in a microphone and choose the picture again to record.",
                                   "Anslut en mikrofon och välj bilden igen för att spela in."));
}

QString COrlidoEditWindow::ScratchSound(const CTQWaveSound& sound)
{
    if (!m_pSpokenFolder)
        m_pSpokenFolder = std::make_unique<QTemporaryDir>();
    static int made = 0;
    const QString file = m_pSpokenFolder->filePath(QStringLiteral("recorded%1.wav").arg(++made));
    std::string error;
    if (!m_pSpokenFolder->isValid() || !sound.WriteNew(ToPath(file), error)) {
        SayClearly(Tr("The recording could not be saved: %1", "Inspelningen kunde inte sparas: %1")
                       .arg(QString::fromStdString(error)));
        return {};
    }
    return file;
}

bool COrlidoEditWindow::RecordSound()
{
    ShowWhetherRecording();
    if (m_pPreview->GetSelected() < 1 || !m_pRecord->isEnabled())
        return false;
    COrlidoRecordDialog dialog(*m_pSoundDevice, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString file = ScratchSound(dialog.GetSound());
    return !file.isEmpty() && SetSound(file);
}

bool COrlidoEditWindow::SpeakCaption()
{
    if (m_pPreview->GetSelected() < 1)
        return false;
    const QString caption = m_pCaption->text();
    if (CTQContentEdit::CaptionBytes(caption.toStdWString()).empty()) {
        statusBar()->showMessage(Tr("Write the caption first; it is what is spoken.",
                                    "Skriv bildtexten först; det är den som läses upp."));
        return false;
    }
    SetCaption(caption);
    const QString sound = SpokenSound(caption);
    return !sound.isEmpty() && SetSound(sound);
}

bool COrlidoEditWindow::SetCaption(const QString& caption)
{
    const int number = m_pPreview->GetSelected();
    if (number < 1 ||
        caption.toStdWString() == m_Shown.Pictures[static_cast<std::size_t>(number - 1)].Caption)
        return false;
    return Report(m_Edit.SetCaption(m_strPage, number, caption.toStdWString()));
}

bool COrlidoEditWindow::SetSound(const QString& soundFile)
{
    const int number = m_pPreview->GetSelected();
    return number > 0 &&
        Report(m_Edit.SetSound(m_strPage, number,
                               soundFile.isEmpty() ? std::wstring() : ToPath(soundFile)));
}

bool COrlidoEditWindow::SetLeadsTo(TLeadsTo leadsTo, const QString& value)
{
    const int number = m_pPreview->GetSelected();
    const bool media = leadsTo == TLeadsTo::Film || leadsTo == TLeadsTo::Music;
    return number > 0 &&
        Report(m_Edit.SetLeadsTo(m_strPage, number, leadsTo,
                                 media ? ToPath(value) : value.toStdWString()));
}

bool COrlidoEditWindow::SetProgram(const QString& name, const QString& exec,
                                   const QString& workingFolder)
{
    const int number = m_pPreview->GetSelected();
    return number > 0 &&
        Report(m_Edit.SetLeadsTo(m_strPage, number, TLeadsTo::Program, exec.toStdWString(),
                                 name.toStdWString(), workingFolder.toStdWString()));
}

bool COrlidoEditWindow::MoveSelected(int by)
{
    const int number = m_pPreview->GetSelected();
    return number > 0 && MovePicture(number, number + by);
}

bool COrlidoEditWindow::MovePicture(int from, int to)
{
    const int count = static_cast<int>(m_Shown.Pictures.size());
    if (from < 1 || from > count || to < 1 || to > count || from == to)
        return false;
    const bool done = Report(m_Edit.Move(m_strPage, from, to));
    if (done)
        m_pPreview->SetSelected(to);
    return done;
}

bool COrlidoEditWindow::DeleteSelected()
{
    const int number = m_pPreview->GetSelected();
    return number > 0 && Report(m_Edit.Delete(m_strPage, number));
}

bool COrlidoEditWindow::Undo()
{
    return Report(m_Edit.Undo());
}

bool COrlidoEditWindow::Redo()
{
    return Report(m_Edit.Redo());
}

void COrlidoEditWindow::CheckOutside()
{
    if (m_Edit.ChangedOutside(m_strPage))
        m_pOutside->show();
}

// ---- Dialogs ------------------------------------------------------------------------------

void COrlidoEditWindow::ChooseAndAddPicture()
{
    if (m_strPictureFolder.isEmpty()) {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        m_strPictureFolder = QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
    }
    // Several pictures can be chosen at once; each is then captioned in turn.
    const QStringList images = QFileDialog::getOpenFileNames(
        this, Tr("Choose one or more pictures", "Välj en eller flera bilder"), m_strPictureFolder,
        Tr("Pictures", "Bilder") +
            QStringLiteral(" (*.jpg *.jpeg *.png *.bmp *.gif *.webp *.svg)"));
    if (images.isEmpty())
        return;
    m_strPictureFolder = QFileInfo(images.front()).absolutePath();
    for (const QString& image : images) {
        QMimeData files;
        files.setUrls({ QUrl::fromLocalFile(image) });
        const COrlidoPictureSource source = COrlidoPictureSource::FromMimeData(&files);
        if (source.GetKind() == COrlidoPictureSource::TKind::None) {
            SayClearly(Tr("%1 is no picture the editor can read.",
                          "%1 är ingen bild som redigeraren kan läsa.")
                           .arg(QFileInfo(image).fileName()));
            return;
        }
        if (!AskAndAdd(source))
            return;
    }
}

bool COrlidoEditWindow::AskAndAdd(const COrlidoPictureSource& source)
{
    COrlidoNewPictureDialog dialog(source.GetImage(), source.GetSuggestedCaption(), CanSpeak(),
                                   this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QString sound;
    switch (dialog.GetSound()) {
    case COrlidoNewPictureDialog::TSound::Spoken:
        sound = SpokenSound(dialog.GetCaption());
        if (sound.isEmpty())
            return false;
        break;
    case COrlidoNewPictureDialog::TSound::File:
        sound = dialog.GetSoundFile();
        break;
    case COrlidoNewPictureDialog::TSound::None:
        break;
    }
    return AddPicture(source.GetImage(), dialog.GetCaption(), sound);
}

void COrlidoEditWindow::PastePicture()
{
    TakePicture(QGuiApplication::clipboard()->mimeData());
}

void COrlidoEditWindow::Fetch(const QUrl& address)
{
    if (m_pNetwork == nullptr)
        m_pNetwork = new QNetworkAccessManager(this);
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(20000);
    QNetworkReply* reply = m_pNetwork->get(request);
    statusBar()->showMessage(
        Tr("Fetching the picture from %1…", "Hämtar bilden från %1…").arg(address.host()));
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > COrlidoPictureSource::MaxFetchedBytes ||
            total > COrlidoPictureSource::MaxFetchedBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, address] {
        reply->deleteLater();
        const QString saveInstead =
            Tr(" Nothing was added. Save the picture from the web browser to a file, and drag "
               "the file here instead.",
               " Inget lades till. Spara bilden från webbläsaren i en fil, och dra hit filen "
               "i stället.");
        if (reply->error() != QNetworkReply::NoError) {
            SayClearly(Tr("The picture could not be fetched from %1: %2. Is this computer "
                          "connected to the internet?",
                          "Bilden kunde inte hämtas från %1: %2. Är datorn ansluten till internet?")
                           .arg(address.host(), reply->errorString()) +
                       saveInstead);
            return;
        }
        const COrlidoPictureSource source =
            COrlidoPictureSource::FromBytes(reply->readAll(), address);
        if (source.GetKind() == COrlidoPictureSource::TKind::None) {
            SayClearly(Tr("What %1 sent is no picture the editor can read.",
                          "Det som %1 skickade är ingen bild som redigeraren kan läsa.")
                           .arg(address.host()) +
                       saveInstead);
            return;
        }
        statusBar()->clearMessage();
        AskAndAdd(source);
    });
}

void COrlidoEditWindow::SayClearly(const QString& text)
{
    auto* box =
        new QMessageBox(QMessageBox::Information, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void COrlidoEditWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (COrlidoPictureSource::MayHoldPicture(event->mimeData()))
        event->acceptProposedAction();
}

void COrlidoEditWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (COrlidoPictureSource::MayHoldPicture(event->mimeData()))
        event->acceptProposedAction();
}

void COrlidoEditWindow::dropEvent(QDropEvent* event)
{
    if (TakePicture(event->mimeData()))
        event->acceptProposedAction();
}

void COrlidoEditWindow::ChooseSound()
{
    const QString sound =
        QFileDialog::getOpenFileName(this, Tr("Choose its sound", "Välj dess ljud"), QString(),
                                     Tr("Sounds", "Ljud") + QStringLiteral(" (*.wav *.mp3 *.wma)"));
    if (!sound.isEmpty())
        SetSound(sound);
}

void COrlidoEditWindow::ApplyLeadsTo()
{
    const auto leadsTo = static_cast<TLeadsTo>(m_pLeadsTo->currentData().toInt());
    QString value = m_pLeadsToValue->text();
    if (leadsTo == TLeadsTo::Film || leadsTo == TLeadsTo::Music) {
        value = QFileDialog::getOpenFileName(this, Tr("Choose the file", "Välj filen"));
        if (value.isEmpty())
            return;
    }
    if (leadsTo == TLeadsTo::Program && value.trimmed().isEmpty()) {
        COrlidoProgramDialog dialog(COrlidoInstalledPrograms::Read(), this);
        const COrlidoInstalledPrograms::TProgram* chosen =
            dialog.exec() == QDialog::Accepted ? dialog.GetChosen() : nullptr;
        if (chosen != nullptr)
            SetProgram(chosen->Name, chosen->Exec, chosen->WorkingFolder);
        return;
    }
    if (!SetLeadsTo(leadsTo, value))
        return;
    // The carer walks into the page, new and empty or not, to fill it.
    if (leadsTo == TLeadsTo::SubPage) {
        m_Trail.push_back(m_strPage);
        OpenPage(CTQContentTree::SubPageFolder(m_Shown.Folder, m_pPreview->GetSelected()));
    }
}

void COrlidoEditWindow::ShowSettings()
{
    COrlidoSettingsDialog dialog(m_strSetupFile, this);
    dialog.exec();
}

void COrlidoEditWindow::TryOnBoard()
{
    // Started from the settings file's folder, so the board reads the settings made here.
    const QString folder = QFileInfo(FromPath(m_strSetupFile)).absolutePath();
    QDir().mkpath(folder);
    if (!QProcess::startDetached(
            m_strBoardProgram, { QStringLiteral("--content"), FromPath(m_Edit.GetContentFolder()) },
            folder, &m_nBoardPid)) {
        statusBar()->showMessage(
            Tr("The board could not be started.", "Tavlan kunde inte startas."));
        return;
    }
    // A window manager that keeps a started program from taking the focus would leave the
    // board behind the editor: the editor steps aside until the carer brings it back.
    showMinimized();
    CheckContent();
}

void COrlidoEditWindow::OpenOtherFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, Tr("The folder that holds UserData", "Mappen som har UserData"));
    if (folder.isEmpty())
        return;
    auto* other = new COrlidoEditWindow(ToPath(folder), m_strSetupFile);
    other->setAttribute(Qt::WA_DeleteOnClose);
    other->show();
}
