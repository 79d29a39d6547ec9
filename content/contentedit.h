// Changes to a content folder, each written at once and safely, and each undoable.
//
// - A new file is complete under a hidden name in its folder before it gets its final one.
// - A move or a deletion renumbers the pictures after it one step at a time, walking from
//   the change towards the end, so that the board reading the folder between any two
//   steps finds every page counting from 1 without a gap (a picture's file is linked into
//   its new number before its old name goes). The steps run through a journal, so a crash
//   leaves at most that one change to be finished when the folder is opened next.
// - Removed files go to the desktop's trash; undo brings them back from there.
// - A page changed by someone else since this session last read or wrote it (another
//   editor, a copy from a stick) is not written to: the change is refused until the carer
//   has looked at the page again (Reread).
#pragma once

#include "content/contenttree.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class CTQContentEdit {
public:
    enum class TResult {
        Done,
        ChangedOutside,  // the page changed on disk since it was read: nothing written
        Refused,  // not allowed by the content's rules (a thirteenth picture, no such picture)
        Failed,   // the disk said no; what was done is finished when the folder opens next
    };

    struct TNewPicture {
        std::string PictureBytes;                 // a JPEG or PNG file's bytes
        std::wstring PictureExtension = L".jpg";  // ".jpg" or ".png"
        std::wstring Caption;
        std::wstring SoundFile;  // a sound to copy beside it; empty for none
    };

    // contentFolder holds UserData. Journals left by an interrupted change are finished.
    explicit CTQContentEdit(std::wstring contentFolder);

    const std::wstring& GetContentFolder() const { return m_strContentFolder; }

    // Reads a page and remembers what it looked like, for the outside-change test.
    CTQContentTree::TPage ReadPage(const std::wstring& folder);
    bool ChangedOutside(const std::wstring& folder) const;
    // Takes the page as it is now. The session's history is dropped, as it may no longer fit.
    void Reread(const std::wstring& folder);

    // A picture after the last one of the page. A page folder that does not exist yet (a new
    // sub-page) is made with its first picture in it.
    TResult AddPicture(const std::wstring& page, const TNewPicture& picture);
    // The caption file of the picture, cut to the board's caption bytes between characters;
    // an empty text removes it.
    TResult SetCaption(const std::wstring& page, int number, const std::wstring& caption);
    // The picture's sound: a copy of soundFile (.wav, .mp3 or .wma), replacing any other;
    // an empty name removes the sound.
    TResult SetSound(const std::wstring& page, int number, const std::wstring& soundFile);
    // What the picture leads to. value: for Program a command line, for Film and Music the
    // file to copy, for WebAddress the address; unused otherwise. A program's name and working
    // folder (both optional) go into its shortcut as well. Companions that would win
    // over it (or lose to it and never be used) go to the trash. SubPage keeps an existing
    // sub-page; a new one is made empty, ready for its first picture.
    TResult SetLeadsTo(const std::wstring& page, int number, CTQContentTree::TLeadsTo leadsTo,
                       const std::wstring& value, const std::wstring& programName = {},
                       const std::wstring& programFolder = {});
    // Moves picture from to position to (1-based), the pictures between shifting by one.
    TResult Move(const std::wstring& page, int from, int to);
    // Deletes the picture with every file of its number, its sub-page included.
    TResult Delete(const std::wstring& page, int number);

    bool CanUndo() const { return !m_Undo.empty(); }
    bool CanRedo() const { return !m_Redo.empty(); }
    TResult Undo();
    TResult Redo();

    // The caption as it will be written: the text's UTF-8 bytes cut between characters.
    static std::string CaptionBytes(const std::wstring& caption);

private:
    struct TTrashed {
        std::wstring Place;         // in the trash
        std::wstring OriginalName;  // in the page folder, with the number it had
    };
    struct TCommand {
        std::vector<std::wstring> Pages;  // the folders it writes
        std::function<TResult()> Undo;
        std::function<TResult()> Redo;
    };

    TResult Checked(const std::vector<std::wstring>& pages);
    void Stamp(const std::wstring& folder);
    TResult Record(TResult result, TCommand command);
    TResult RunHistory(std::vector<TCommand>& from, std::vector<TCommand>& to, bool undo);

    // The primitive changes behind the commands; each leaves the stamps up to date.
    TResult DoDelete(const std::wstring& page, int number, std::vector<TTrashed>& trashed);
    TResult DoRestore(const std::wstring& page, int number, const std::vector<TTrashed>& trashed);
    TResult DoMove(const std::wstring& page, int from, int to);
    TResult DoReplace(const std::wstring& page, const std::vector<std::wstring>& remove,
                      const std::vector<std::pair<std::wstring, std::wstring>>& add,
                      std::vector<TTrashed>& trashed);
    TResult ReplaceRecorded(const std::wstring& folder, const std::vector<std::wstring>& remove,
                            const std::vector<std::pair<std::wstring, std::wstring>>& add);
    TResult Finish(const std::wstring& folder, bool ran);

    std::wstring m_strContentFolder;
    std::map<std::wstring, std::string> m_Stamps;
    std::vector<TCommand> m_Undo;
    std::vector<TCommand> m_Redo;
};
