// Explains what the settings parser does with a settings file, without changing the parser:
// files written for the parser may rely on its rules, so it stays as it is. The lint reads
// the same bytes more tolerantly and tells where the two differ (a key hidden by a
// byte-order mark, a UTF-16 file, a last word without a line end after it, a mode word in
// the wrong case, a misspelt key), and which values the start-up will correct.
//
// The board prints the findings marked AtStartup once when it starts; the content checker
// prints them all.
#pragma once

#include <string>
#include <vector>

enum class TSetupFindingKind {
    // A key and its value that the parser does not see (AtStartup):
    Utf16,          // the file is UTF-16; no key is read
    ByteOrderMark,  // a byte-order mark stands before the first key
    LostLastWord,   // the last word has no line end after it
    CutByLimit,     // the word stands across the parser's byte limit, or after it
    MisspeltKey,    // a "#"-word that is a key in the wrong case, with a tab, or misspelt
    ModeWrongCase,  // "#MAINMODE" with "scan", "SCAN", ... : standard mode (AtStartup)
    // Read, but not as the writer may think (checker only):
    UnknownMode,        // a mode word that is neither "Standard" nor "Scan": standard mode
    NegativeCorrected,  // a negative or non-numeric period replaced by its default
    NotANumber,         // a word that is no number, read as -1
    NumberCut,          // digits followed by other characters ("2000ms", "12.5")
    LaterValueIgnored,  // a second value of a key, or a repeated key: only the first counts
    TooFast,            // a blink period under 20 ms: the highlight blinks every 10 ms at most
    UnknownWord,        // a "#"-word that is no key (a comment, perhaps): ignored to the next key
    UnknownChoice,      // a word a choice key does not take ("bold", "Ja"): as without the key
};

struct TSetupFinding {
    TSetupFindingKind Kind;
    std::wstring Key;    // the key concerned, e.g. "#MAINMODE"; empty when none
    std::wstring Value;  // the word concerned: the value, or the unknown "#"-word
    int Used = 0;        // NegativeCorrected, NotANumber, NumberCut, TooFast: the value used
    std::wstring Word;   // the word as written (MisspeltKey); the first value (LaterValueIgnored)
};

class CTQSetupFileLint {
public:
    // Reads the file as the parser does (plus what lies beyond its limit) and analyses it.
    // A missing file gives no finding.
    explicit CTQSetupFileLint(const std::wstring& FileName);
    // Analyses bytes as the content of a settings file.
    static std::vector<TSetupFinding> Analyse(const std::string& bytes);

    const std::vector<TSetupFinding>& GetFindings() const { return Findings; }

    // Whether the board says it at start-up: a key or value the parser lost.
    static bool IsLost(TSetupFindingKind kind);
    // Whether it would stop or surprise the user (the checker's exit code).
    static bool IsProblem(TSetupFindingKind kind);
    // One line, without file name and line end: what happens and what to do.
    static std::wstring Describe(const TSetupFinding& finding, bool swedish);

private:
    std::vector<TSetupFinding> Findings;
};
