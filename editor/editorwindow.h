// orlido-edit's main window: the pages as a tree, the page shown as the board shows it, and
// beside it the chosen picture's caption, sound and what it leads to. Every change goes
// through the content editing model at once (written safely, undoable); nothing asks the
// carer for a file name or a number.
#pragma once

#include "content/contentedit.h"

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class COrlidoPagePreview;

class COrlidoEditWindow : public QMainWindow {
    Q_OBJECT
public:
    // contentFolder holds UserData (made, with its first page, by the first picture added).
    // setupFile: the settings file the board reads.
    COrlidoEditWindow(std::wstring contentFolder, std::wstring setupFile, QWidget* parent = nullptr);

    // What the carer does, each as one step; the dialogs of the window end in these.
    bool AddPicture(const QString& imageFile, const QString& caption, const QString& soundFile);
    bool SetCaption(const QString& caption);
    bool SetSound(const QString& soundFile);
    bool SetLeadsTo(CTQContentTree::TLeadsTo leadsTo, const QString& value);
    bool MoveSelected(int by);
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
    CTQContentEdit& GetEdit() { return m_Edit; }

    // The picture as stored: at most this size, as JPEG (PNG when it has transparency).
    static constexpr int StoredWidth = 800;
    static constexpr int StoredHeight = 600;

private:
    void BuildActions();
    QWidget* BuildPicturePanel();
    void Refresh();
    void RefreshTree();
    void AddPages(QTreeWidgetItem* parent, const std::wstring& folder, int level, std::vector<std::wstring>& seen);
    void ShowPicture(int number);
    bool Report(CTQContentEdit::TResult result);
    void CheckOutside();
    void ChooseAndAddPicture();
    void ChooseSound();
    void ApplyLeadsTo();
    void ShowSettings();
    void TryOnBoard();
    void OpenOtherFolder();
    // Speech and recording: the editor makes a sound from the caption or the microphone
    // here once the content layer can (content/speech; a recorder); until then the
    // carer chooses a sound file.
    bool CanSpeak() const { return false; }
    bool CanRecord() const { return false; }

    std::wstring m_strSetupFile;
    CTQContentEdit m_Edit;
    std::wstring m_strPage;
    std::vector<std::wstring> m_Trail;  // the pages above the one shown
    CTQContentTree::TPage m_Shown;

    QTreeWidget* m_pTree = nullptr;
    COrlidoPagePreview* m_pPreview = nullptr;
    QLabel* m_pOutside = nullptr;
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
};
