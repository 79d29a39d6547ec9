#include "content/obf/obfplan.h"

#include "content/obf/obfsource.h"

#include <algorithm>

namespace {

bool IsEmpty(const TObfButton& button)
{
    return button.Label.empty() && button.Vocalization.empty() && button.ImageId.empty() &&
        button.SoundId.empty() && !button.LoadBoard && button.Url.empty() &&
        button.ShortcutPath.empty() && button.MediaPath.empty() && button.WebAddressPath.empty();
}

}  // namespace

CTQObfPlan::CTQObfPlan(CTQObfSource& source, int maxPages, int maxLevels, int picturesOnPage)
    : m_Source(source), m_nMaxPages(maxPages), m_nMaxLevels(maxLevels),
      m_nPicturesOnPage(picturesOnPage)
{
}

std::string CTQObfPlan::NameOf(const TObfBoard& board)
{
    return (board.Name.empty() ? board.Id : board.Name).substr(0, 80);
}

std::string CTQObfPlan::NameOf(const TObfButton& button)
{
    return (button.Label.empty() ? button.Id : button.Label).substr(0, 80);
}

std::string CTQObfPlan::Describe(const TObfBoard& board)
{
    return "board \"" + NameOf(board) + "\"";
}

std::string CTQObfPlan::Describe(const TObfBoard& board, const TObfButton& button)
{
    return Describe(board) + ", button \"" + NameOf(button) + "\"";
}

bool CTQObfPlan::Make(std::string& error)
{
    std::vector<const TObfBoard*> path;
    PlanBoard(m_Source.Root(), path, 1);
    if (!m_bFull && m_Pages.front().Pictures.empty()) {
        error = "not a board to import: its first board shows no buttons";
        return false;
    }
    if (m_bFull) {
        error = "refused: the boards make more than " + std::to_string(m_nMaxPages) +
            " pages once every link is followed (a board reached from several places is written "
            "under each)";
        return false;
    }
    return true;
}

std::vector<const TObfButton*> CTQObfPlan::ButtonsToShow(const TObfBoard& board,
                                                         const std::vector<const TObfBoard*>& path)
{
    std::vector<const TObfButton*> buttons;
    for (const std::size_t index : board.Shown) {
        const TObfButton& button = board.Buttons[index];
        if (IsEmpty(button))
            continue;
        if (button.LoadBoard) {
            std::string why;
            const TObfBoard* target = m_Source.Follow(*button.LoadBoard, why);
            if (target && std::find(path.begin(), path.end(), target) != path.end()) {
                if (!m_Told[&button])
                    m_Notes.push_back(
                        "left out: " + Describe(board, button) + ": it links back to " +
                        Describe(*target) +
                        ", which is on the way from the first page (\"Tillbaka\" goes back)");
                m_Told[&button] = true;
                continue;
            }
            if (target) {
                m_Targets[&button] = target;
            } else if (!m_Told[&button]) {
                m_Told[&button] = true;
                m_Notes.push_back("replaced: " + Describe(board, button) + ": " + why +
                                  "; it is a picture without a page");
            }
        }
        buttons.push_back(&button);
    }
    return buttons;
}

int CTQObfPlan::PlanBoard(const TObfBoard& board, std::vector<const TObfBoard*>& path, int level)
{
    path.push_back(&board);
    const int page = PlanButtons(board, ButtonsToShow(board, path), path, level);
    path.pop_back();
    return page;
}

int CTQObfPlan::PlanButtons(const TObfBoard& board, std::vector<const TObfButton*> buttons,
                            std::vector<const TObfBoard*>& path, int level)
{
    if (int(m_Pages.size()) >= m_nMaxPages) {
        m_bFull = true;
        return -1;
    }
    const int page = int(m_Pages.size());
    m_Pages.push_back({ &board, {} });
    std::vector<const TObfButton*> rest;
    if (int(buttons.size()) > m_nPicturesOnPage) {
        rest.assign(buttons.begin() + (m_nPicturesOnPage - 1), buttons.end());
        buttons.resize(std::size_t(m_nPicturesOnPage - 1));
    }
    for (const TObfButton* button : buttons)
        m_Pages[std::size_t(page)].Pictures.push_back({ &board, button, -1 });

    for (std::size_t i = 0; i < buttons.size() && !m_bFull; ++i) {
        const auto target = m_Targets.find(buttons[i]);
        if (target == m_Targets.end())
            continue;
        if (level + 1 > m_nMaxLevels) {
            m_Notes.push_back("replaced: " + Describe(board, *buttons[i]) +
                              ": its page would lie deeper than the board's " +
                              std::to_string(m_nMaxLevels) +
                              " levels; it is a picture without a page");
            continue;
        }
        const int sub = PlanBoard(*target->second, path, level + 1);
        if (sub >= 0 && m_Pages[std::size_t(sub)].Pictures.empty()) {
            // Every button of the linked board leads back: a page without pictures cannot be
            // shown, so the picture opens none.
            m_Pages.pop_back();
            m_Notes.push_back("replaced: " + Describe(board, *buttons[i]) + ": every button of " +
                              Describe(*target->second) +
                              " leads back; it is a picture without a page");
            continue;
        }
        m_Pages[std::size_t(page)].Pictures[i].SubPage = sub;
    }
    if (!rest.empty() && !m_bFull) {
        if (level + 1 > m_nMaxLevels) {
            m_Notes.push_back("left out: " + Describe(board) + ": " + std::to_string(rest.size()) +
                              " buttons that would lie deeper than the board's levels");
        } else {
            const int more = PlanButtons(board, std::move(rest), path, level + 1);
            m_Pages[std::size_t(page)].Pictures.push_back({ &board, nullptr, more });
        }
    }
    return page;
}
