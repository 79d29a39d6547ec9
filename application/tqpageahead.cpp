#include "application/tqpageahead.h"

#include "application/tqpagegeometry.h"
#include "content/contentrules.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebuttonpanel.h"

#include <system_error>
#include <utility>

CTQPageAhead::TMadePage::TMadePage() = default;
CTQPageAhead::TMadePage::~TMadePage() = default;
CTQPageAhead::TMadePage::TMadePage(TMadePage&&) noexcept = default;
CTQPageAhead::TMadePage& CTQPageAhead::TMadePage::operator=(TMadePage&&) noexcept = default;

CTQPageAhead::CTQPageAhead(std::wstring folder, SIZE client, SIZE screen, TLook look)
    : m_strFolder(std::move(folder)), m_Watch(m_strFolder), m_Client(client), m_Screen(screen),
      m_Look(std::move(look))
{
    try {
        m_Worker = std::thread([this] { Make(); });
    } catch (const std::system_error&) {
        // No thread to be had: the page is built when it is needed.
    }
}

CTQPageAhead::~CTQPageAhead()
{
    m_bCancelled = true;
    if (m_Worker.joinable())
        m_Worker.join();
}

bool CTQPageAhead::Take(const std::wstring& folder, TMadePage& page)
{
    if (m_Worker.joinable())
        m_Worker.join();
    if (!m_bMade || folder != m_strFolder)
        return false;
    if (m_Watch.Changed() || !IsExistingFolder(m_strFolder)) {
        platform::TraceF(L"Page '%ls' changed while it was made; it is read afresh\n",
                         m_strFolder.c_str());
        return false;
    }
    platform::TraceF(L"Page '%ls' was made while the sound played\n", m_strFolder.c_str());
    page = std::move(m_Page);
    return true;
}

void CTQPageAhead::Make()
{
    // The pictures are numbered from 1 without gaps: none found means the folder is no page.
    m_Page.pictures = CTQImageButtonPanel::MakePictureButtons(
        m_strFolder + L"/" + CTQContentRules::PictureLetter, m_Look.fontHeight, true,
        CTQContentRules::MaxPicturesOnPage, &m_bCancelled);
    m_Page.hasPictures = !m_Page.pictures.empty();
    if (!m_Page.hasPictures) {
        m_bMade = !m_bCancelled;
        return;
    }
    const TPageGeometry g = ComputeGeometry(m_Client.cx, m_Client.cy, m_Screen.cx, m_Screen.cy,
                                            static_cast<int>(m_Page.pictures.size()));
    for (const std::unique_ptr<CTQImageButton>& button : m_Page.pictures) {
        if (m_bCancelled)
            return;
        button->PrepareScaledCopy(L"Prune", g.pictureWidth, g.pictureHeight);
    }
    for (std::size_t b = 0; b < 3; ++b) {
        m_Page.answerBar.push_back(CTQImageButtonPanel::MakeBlankButton(
            g.barWidth, g.barHeight, m_Look.barColours[b], m_Look.fontHeight));
        m_Page.answerBar.back()->DrawText(m_Look.barTexts[b]);
    }
    m_bMade = !m_bCancelled;
}
