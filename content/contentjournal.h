// Runs the file steps of one change to a page folder so that a crash or a power cut at any
// moment loses nothing: the steps are written to a journal in the folder first, each step
// done is recorded, and a journal left behind is finished when the folder is opened next.
// Every step is one rename, hard link or removal, so the board, reading the folder between
// two steps, sees a complete state (the caller orders the steps so that each such state
// is a page without a gap).
#pragma once

#include <string>
#include <vector>

class CTQContentJournal {
public:
    enum class TStepKind {
        Rename,   // From to To, replacing To
        Link,     // a second name To for the file From (To must not exist)
        Remove,   // the file From
        Trash,    // From to its reserved place To in the desktop's trash
        Untrash,  // From in the trash back to To
    };
    // From and To are names in the page folder, except the trash side of Trash and Untrash,
    // which is a full path in a trash folder.
    struct TStep {
        TStepKind Kind;
        std::wstring From;
        std::wstring To;
    };

    // The journal's file names start so; the board and the tree pass over them (hidden).
    static constexpr const wchar_t* HiddenPrefix = L".orlido-";

    // Runs the steps in folder. False when a step failed (or the run was stopped): the
    // journal stays and Recover finishes it.
    static bool Run(const std::wstring& folder, const std::vector<TStep>& steps);
    // Finishes a journal left in folder, if there is one. False when it cannot be finished.
    static bool Recover(const std::wstring& folder);
    // Recover for the folder and every folder below it.
    static void RecoverTree(const std::wstring& folder);
    static bool HasJournal(const std::wstring& folder);

    // A fresh hidden name for a file of this change: ".orlido-<id>-<name>".
    static std::wstring HiddenName(const std::wstring& name);

    // For tests: every run stops, as a crash would stop it, once this many steps have been
    // done in all; -1 (the default) never stops.
    static void StopAfterSteps(int steps);
};
