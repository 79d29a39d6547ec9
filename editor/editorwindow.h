// orlido-edit's main window: the pages as a tree, the page shown as the board shows it, and
// beside it the chosen picture's caption, sound and what it leads to. Every change goes
// through the content editing model at once (written safely, undoable); nothing asks the
// carer for a file name or a number.
#pragma once

#include "content/contentedit.h"
#include "editor/picturesource.h"

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QNetworkAccessManager;
class QTemporaryDir;
class QTimer;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class COrlidoPagePreview;
class COrlidoPageProblems;
class COrlidoSoundDevice;
class CTQSpeech;
class CTQWaveSound;

class COrlidoEditWindow : public QMainWindow {
    Q_OBJECT
public:
    // contentFolder holds UserData (made, with its first page, by the first picture added).
    // setupFile: the settings file the board reads.
    COrlidoEditWindow(std::wstring contentFolder, std::wstring setupFile,
                      QWidget* parent = nullptr);
    ~COrlidoEditWindow() override;

    // What the carer does, each as one step; the dialogs of the window end in these.
    bool AddPicture(const QString& imageFile, const QString& caption, const QString& soundFile);
    bool AddPicture(const QImage& image, const QString& caption, const QString& soundFile);
    // A picture dropped or pasted: image data or a file is offered in the new-picture dialog;
    // a web address is fetched first. False when nothing usable was handed over.
    bool TakePicture(const QMimeData* handed);
    // The caption spoken into the chosen picture's sound.
    bool SpeakCaption();
    bool CanSpeak();
    // The chosen picture's sound recorded from the microphone in the record dialog.
    bool RecordSound();
    // The microphone and loudspeaker recording uses; without one the editor records nothing.
    void SetSoundDevice(std::unique_ptr<COrlidoSoundDevice> device);
    QPushButton* GetRecordButton() const { return m_pRecord; }
    bool SetCaption(const QString& caption);
    bool SetSound(const QString& soundFile);
    bool SetLeadsTo(CTQContentTree::TLeadsTo leadsTo, const QString& value);
    // The chosen picture starts the program: a desktop-entry shortcut with its name, command
    // and working folder (as they stand in the program's own entry).
    bool SetProgram(const QString& name, const QString& exec, const QString& workingFolder = {});
    bool MoveSelected(int by);
    // Picture from to place to (1-based), as one step to undo; it stays chosen.
    bool MovePicture(int from, int to);
    bool DeleteSelected();
    bool Undo();
    bool Redo();
    void OpenPage(const std::wstring& folder);
    void OpenSubPage(int number);
    void GoBack();

    const std::wstring& GetPage() const { return m_strPage; }
    COrlidoPagePreview* GetPreview() const { return m_pPreview; }
    QLineEdit* GetCaptionEdit() const { return m_pCaption; }
    QLabel* GetCaptionBytes() const { return m_pCaptionBytes; }
    QTreeWidget* GetTree() const { return m_pTree; }
    QLabel* GetOutsideBanner() const { return m_pOutside; }
    // The checker's problems of the shown page (hidden when it has none).
    QLabel* GetProblemText() const { return m_pProblemText; }
    COrlidoPageProblems* GetProblems() const { return m_pProblems; }
    // The board program that "Try it" starts and whose check finds the problems: by default
    // the one beside the editor, else "orlido" on the PATH.
    // The preview's page is drawn by it too.
    void SetBoardProgram(const QString& program);
    // Runs the checker now (it also runs a moment after every change).
    void CheckContent();
    // The board started by "Try it", 0 before.
    qint64 GetBoardPid() const { return m_nBoardPid; }
    CTQContentEdit& GetEdit() { return m_Edit; }

    // The picture as stored: at most this size, as JPEG (PNG when it has transparency).
    static constexpr int StoredWidth = COrlidoPictureSource::StoredWidth;
    static constexpr int StoredHeight = COrlidoPictureSource::StoredHeight;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildActions();
    QWidget* BuildPicturePanel();
    void Refresh();
    void RefreshTree();
    void AddPages(QTreeWidgetItem* parent, const std::wstring& folder, int level,
                  std::vector<std::wstring>& seen);
    void ShowPicture(int number);
    bool Report(CTQContentEdit::TResult result);
    void CheckOutside();
    void MarkProblems();
    void ShowProblems();
    QTreeWidgetItem* ItemOfPage(const QString& folder) const;
    void ChooseAndAddPicture();
    // False when the carer cancels.
    bool AskAndAdd(const COrlidoPictureSource& source);
    void Fetch(const QUrl& address);
    void PastePicture();
    // A message that stays until the carer closes it, without stopping the window.
    void SayClearly(const QString& text);
    // The text spoken into a new sound file in a scratch folder; empty when it cannot be.
    QString SpokenSound(const QString& text);
    void ChooseSound();
    void ApplyLeadsTo();
    void ShowSettings();
    void TryOnBoard();
    void OpenOtherFolder();
    // The record button says when there is no microphone rather than failing when pressed.
    void ShowWhetherRecording();
    // Writes a sound to a new file in the scratch folder; its path, or empty.
    QString ScratchSound(const CTQWaveSound& sound);

    std::wstring m_strSetupFile;
    CTQContentEdit m_Edit;
    std::wstring m_strPage;
    std::vector<std::wstring> m_Trail;  // the pages above the one shown
    CTQContentTree::TPage m_Shown;

    QTreeWidget* m_pTree = nullptr;
    COrlidoPagePreview* m_pPreview = nullptr;
    QLabel* m_pOutside = nullptr;
    QLabel* m_pProblemText = nullptr;
    COrlidoPageProblems* m_pProblems = nullptr;
    QTimer* m_pCheckSoon = nullptr;
    QString m_strBoardProgram;
    qint64 m_nBoardPid = 0;
    QLabel* m_pPictureTitle = nullptr;
    QLineEdit* m_pCaption = nullptr;
    QLabel* m_pCaptionBytes = nullptr;
    QLabel* m_pSound = nullptr;
    QComboBox* m_pLeadsTo = nullptr;
    QLineEdit* m_pLeadsToValue = nullptr;
    QLabel* m_pLeadsToNote = nullptr;
    QWidget* m_pPicturePanel = nullptr;
    QAction* m_pUndo = nullptr;
    QAction* m_pRedo = nullptr;
    QAction* m_pBack = nullptr;
    QNetworkAccessManager* m_pNetwork = nullptr;
    std::unique_ptr<CTQSpeech> m_pSpeech;  // made at the first use: espeak-ng loads its voice then
    bool m_bSpeechTried = false;
    QString
        m_strPictureFolder;  // where the last picture was chosen; the next one is looked for there
    std::unique_ptr<QTemporaryDir> m_pSpokenFolder;
    std::unique_ptr<COrlidoSoundDevice> m_pSoundDevice;
    QPushButton* m_pRecord = nullptr;
};
