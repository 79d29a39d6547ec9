// The pages an import writes, planned before anything is written: every board becomes a
// page of its shown buttons; a board with more buttons than a page holds is split, its last
// picture "Mer" (more) opening a page with the rest; a `load_board` link becomes its
// picture's sub-page. A link back to a board already on the way from the first page is left
// out with its button (the answer bar's "Tillbaka" goes back); a board reached from two
// places is planned under both. Planning stops at the page limit instead of filling the disk.
#pragma once

#include "content/obf/obfboard.h"

#include <map>
#include <string>
#include <vector>

class CTQObfSource;

struct TObfPlannedPicture {
    const TObfBoard* Board = nullptr;
    const TObfButton* Button = nullptr;  // nullptr: the "Mer" picture
    int SubPage = -1;                    // index into the pages, -1 for none
};

struct TObfPlannedPage {
    const TObfBoard* Board = nullptr;
    std::vector<TObfPlannedPicture> Pictures;
};

class CTQObfPlan {
public:
    CTQObfPlan(CTQObfSource& source, int maxPages, int maxLevels, int picturesOnPage);

    // False with the reason when the pages would pass the page limit.
    bool Make(std::string& error);
    // Page 0 is the first page.
    const std::vector<TObfPlannedPage>& Pages() const { return m_Pages; }
    // What was left out or changed, one sentence each.
    const std::vector<std::string>& Notes() const { return m_Notes; }

    static std::string Describe(const TObfBoard& board);
    static std::string Describe(const TObfBoard& board, const TObfButton& button);
    // What a board and a button are called: the name or label, else the id.
    static std::string NameOf(const TObfBoard& board);
    static std::string NameOf(const TObfButton& button);

private:
    int PlanBoard(const TObfBoard& board, std::vector<const TObfBoard*>& path, int level);
    int PlanButtons(const TObfBoard& board, std::vector<const TObfButton*> buttons,
                    std::vector<const TObfBoard*>& path, int level);
    std::vector<const TObfButton*> ButtonsToShow(const TObfBoard& board,
                                                 const std::vector<const TObfBoard*>& path);

    CTQObfSource& m_Source;
    int m_nMaxPages;
    int m_nMaxLevels;
    int m_nPicturesOnPage;
    bool m_bFull = false;
    std::vector<TObfPlannedPage> m_Pages;
    std::vector<std::string> m_Notes;
    std::map<const TObfButton*, const TObfBoard*> m_Targets;  // links that can be followed
    std::map<const TObfButton*, bool> m_Told;                 // notes given once per button
};
