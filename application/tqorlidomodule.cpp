#include "application/tqorlidomodule.h"

#include "application/tqpageahead.h"

#include "platform/audio.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/pixels.h"
#include "platform/window.h"
#include "superlibraries/tqdewindows/tqdewindowsnew.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"
#include "superlibraries/tqwindowutilities/tquserdisplaywindow.h"
#include "superlibraries/tqwindowutilities/tqwindowutilities.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebuttonpanel.h"

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

CTQOrlidoModule* g_pModule = nullptr;
UINT_PTR g_nScanTimer = 0;
UINT_PTR g_nClickGuardTimer = 0;
UINT_PTR g_nProgramWatchTimer = 0;

namespace {

constexpr COLORREF kPageBackground = 0x00FFE1E1;
constexpr COLORREF kFrameColour = 0x005A5A5A;
constexpr COLORREF kHighlightColour = 0x0000FF00;
constexpr COLORREF kBackColour = 0x0000FFFF;
constexpr COLORREF kNoColour = 0x000000FF;
constexpr COLORREF kYesColour = 0x0000FF00;
constexpr COLORREF kTextColour = RGB(1, 1, 1);

constexpr int kFrameWidth = 6;
constexpr int kHighlightWidth = 12;
constexpr int kFontHeight = 64;
// Each band of the bold highlight: 8 pixels at 1080 lines, scaled with the screen, never
// thinner than 4.
constexpr int kBoldBandAt1080 = 8;
constexpr int kThinnestBoldBand = 4;

int BoldHighlightBand(int screenHeight)
{
    return std::max(kThinnestBoldBand, (kBoldBandAt1080 * screenHeight + 540) / 1080);
}

// How often a scan that waits for a sound looks whether it has ended.
constexpr UINT kSoundPollMs = 20;
// The rounds a row entered in row-column scanning is scanned without a press when the
// scan's own rounds are not set.
constexpr int kRoundsInARow = 2;

const wchar_t* const kMediaOpenFailed = L"Error: mciSendString open not successful!";
const wchar_t* const kMediaPlayFailed = L"Error: mciSendString play not successful!";

// The waits between a choice and its activity: the picture's sound is heard first.
constexpr UINT kProgramWaitMs = 2000;
constexpr UINT kFilmWaitMs = 2000;
constexpr UINT kMusicWaitMs = 3000;
// A program asked to close gets this long to do so before its process group is ended;
// whether it has is looked at this often where no loop serves the wait.
constexpr UINT kProgramCloseWaitMs = 2000;
constexpr UINT kProgramCloseCheckMs = 50;
// How often a running program is looked at: windows it opens later are shown in the user
// area, and its end ends the activity.
constexpr UINT kProgramWatchMs = 250;

// The answer bar: "Tillbaka", "Nej", "Ja".
constexpr COLORREF kBarColours[3] = { kBackColour, kNoColour, kYesColour };

// The working directory as the path of a file URL: UTF-8, with everything but letters,
// digits, "/" and "-._~" percent-encoded, so a space does not split the browser's command line.
std::wstring WorkingDirectoryForUrl()
{
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec)
        return {};
    std::wstring encoded;
    for (const unsigned char c : folder.string()) {
        if ((c < 0x80 && std::isalnum(c)) || c == '/' || c == '-' || c == '.' || c == '_' ||
            c == '~') {
            encoded += static_cast<wchar_t>(c);
        } else {
            constexpr const wchar_t* kHex = L"0123456789ABCDEF";
            encoded += L'%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0xF];
        }
    }
    return encoded;
}

// A "file:" address with a short path ("file:web/bok.html") is completed with the working
// directory, where the carer's short paths are meant to start: a browser resolves it
// elsewhere or not at all (Dillo reads files through a helper started in another folder).
// Full paths ("file:///...", "file:C:/...") and every other address are left as written.
std::wstring WithFullFilePath(const std::wstring& address)
{
    const std::wstring scheme = L"file:";
    const std::size_t schemeLength = scheme.size();
    if (address.size() <= schemeLength)
        return address;
    for (std::size_t i = 0; i < schemeLength; ++i)
        if (static_cast<wchar_t>(std::towlower(static_cast<wint_t>(address[i]))) != scheme[i])
            return address;
    const std::wstring path = address.substr(schemeLength);
    const bool full = path[0] == L'/' || path[0] == L'\\' || (path.size() > 1 && path[1] == L':');
    if (full)
        return address;
    const std::wstring folder = WorkingDirectoryForUrl();
    if (folder.empty())
        return address;
    return L"file://" + folder + L"/" + path;
}

// Paths are joined as strings, which can leave a harmless "//"; shown to a person it is
// written once.
std::wstring WithoutDoubledSlashes(std::wstring path)
{
    for (std::size_t at = path.find(L"//"); at != std::wstring::npos; at = path.find(L"//", at))
        path.erase(at, 1);
    return path;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction and destruction

CTQOrlidoModule::CTQOrlidoModule(const std::wstring& mode, HWND view, CTQSurface* display,
                                 const std::wstring& exeFolder, int blinkPeriod, int scanPeriod,
                                 int avoidExtraClicksTime, const TScanSettings& scan,
                                 bool takesScreen)
    : m_ScanSettings(scan), m_bTakesScreen(takesScreen)
{
    g_pModule = this;

    m_pView = view;
    m_pDisplay = display;
    m_strExeFolder = exeFolder;
    m_strUserData = exeFolder + L"/" + CTQContentRules::UserDataFolder;

    m_nMode = (mode == CTQContentRules::ScanMode) ? 1 : 0;

    m_nBlinkPeriod = blinkPeriod;
    // The settings reader replaces a negative period; should one arrive all the same,
    // the default pace is safer than an endless or a racing scan.
    m_nScanPeriod =
        CTQContentRules::CorrectedTime(CTQContentRules::TSettingKey::ScanPeriod, scanPeriod);
    if (m_nScanPeriod != scanPeriod)
        platform::TraceF(L"Negative scan period %d replaced by %d ms\n", scanPeriod, m_nScanPeriod);
    // A negative time would become an endless guard timer and drop every later click.
    m_nAvoidExtraClicksTime = CTQContentRules::CorrectedTime(
        CTQContentRules::TSettingKey::AvoidExtraClicksTime, avoidExtraClicksTime);
    if (m_nAvoidExtraClicksTime != avoidExtraClicksTime)
        platform::TraceF(L"Negative extra-clicks time %d replaced by %d ms\n", avoidExtraClicksTime,
                         m_nAvoidExtraClicksTime);

    m_nTop = 0;
    m_Levels[0].Path =
        m_strUserData + L"/" + CTQContentRules::NumberedName(CTQContentRules::PageLetter, 1);
    m_Levels[0].ScanPosition = 1;

    // The board covers the whole screen while it lives.
    if (m_bTakesScreen)
        ShowTaskBar(false);

    m_rcClient = platform::GetClientRect(m_pView);

    if (!BuildPage())
        platform::TraceF(L"No first page in '%ls'\n", m_Levels[0].Path.c_str());

    // The page's colour around a program or film: a program shown at its own size does not
    // fill the user area.
    m_pUserDisplay = new CTQUserDisplayWindow(m_pView, m_rcClient.right - m_rcClient.left,
                                              m_nUserAreaHeight, kPageBackground);

    m_nScanPosition = m_nPictureCount;

    if (m_nMode == 1) {
        if (!m_ScanSettings.CueSoundDevice.empty())
            platform::SetCueSoundDevice(m_ScanSettings.CueSoundDevice);
        StartScanning();
    }
}

CTQOrlidoModule::~CTQOrlidoModule()
{
    platform::KillTimer(0, g_nScanTimer);
    platform::KillTimer(0, g_nClickGuardTimer);
    g_nScanTimer = 0;
    g_nClickGuardTimer = 0;

    if (m_bTakesScreen)
        ShowTaskBar(true);

    m_pPageAhead.reset();

    delete m_pPanel;
    m_pPanel = nullptr;

    StopProgramWatch();
    // A film or music still playing ends with the board.
    platform::mciSendString(L"close myFile");
    // The last program is asked to close and given time for it before the window that
    // shows it goes away; then whatever is left of it, or of any program the board started,
    // is ended. A plain wait: the engine is being taken apart, so no loop may call into it.
    if (m_hProgramWnd != 0 && m_ProgramWindows.empty())
        m_ProgramWindows.push_back(m_hProgramWnd);
    EndProgram(false);
    platform::EndStartedProcessGroups(CTQProcessCreation::TerminateWaitMs);
    delete m_pUserDisplay;
    m_pUserDisplay = nullptr;

    if (g_pModule == this)
        g_pModule = nullptr;
}

// ---------------------------------------------------------------------------------------
// Page building

bool CTQOrlidoModule::BuildPage()
{
    const std::wstring prefix = CurrentLevel().Path + L"/" + CTQContentRules::PictureLetter;
    // The page made while the sound played, when it was made for this folder and the
    // folder has not changed since; otherwise the page is read from the folder now.
    bool madeAhead = false;
    CTQPageAhead::TMadePage made;
    if (m_pPageAhead) {
        madeAhead = m_pPageAhead->Take(CurrentLevel().Path, made);
        m_pPageAhead.reset();
    }
    if (!(madeAhead ? made.hasPictures : CTQImageButtonPanel::HasPictures(prefix)))
        return false;

    delete m_pPanel;
    m_pPanel = nullptr;

    const int count = madeAhead ? static_cast<int>(made.pictures.size())
                                : CTQImageButtonPanel::CountPictures(prefix, MaxPicturesOnPage);
    const TPageGeometry g =
        ComputeGeometry(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top,
                        CTQDeWindows::GetScreenWidth(), CTQDeWindows::GetScreenHeight(), count);

    m_pPanel = new CTQImageButtonPanel(m_pDisplay);
    m_pPanel->SetFrameColor(kFrameColour);
    m_pPanel->SetFrameWidth(kFrameWidth);
    m_pPanel->SetHighlightWidth(kHighlightWidth);
    if (m_ScanSettings.BoldHighlight)
        m_pPanel->SetBoldHighlight(BoldHighlightBand(CTQDeWindows::GetScreenHeight()));
    m_pPanel->SetFontHeight(kFontHeight);
    if (m_nMode == 1)
        m_pPanel->SetBlinkPeriod(m_nBlinkPeriod);

    m_nUserAreaHeight = g.userAreaHeight;
    m_nSelected = -1;
    m_bPageJustBuilt = true;

    m_nPictureCount = madeAhead
        ? m_pPanel->AddPictureButtons(std::move(made.pictures), 0, 0, g.pictureWidth,
                                      g.pictureHeight, L"Prune", false)
        : m_pPanel->AddButtonsFromFolder(prefix, 0, 0, g.pictureWidth, g.pictureHeight, L"Prune",
                                         false, MaxPicturesOnPage);
    if (m_nPictureCount == MaxPicturesOnPage)
        TraceLeftOutPictures(prefix);

    for (int k = 0; k < m_nPictureCount; ++k)
        m_pPanel->SetButtonPosition(k, g.ColumnX(k % TPageGeometry::Columns),
                                    g.RowY(k / TPageGeometry::Columns));

    AddAnswerBar(g, std::move(made.answerBar));
    if (m_bTakesScreen)
        KeepPageSoundsReady();
    return true;
}

// The sounds a choice on this page can play, so that the player has them decoded before
// the choice: the pictures', the answer bar's and the scan's choice sound.
void CTQOrlidoModule::KeepPageSoundsReady()
{
    std::vector<std::wstring> sounds;
    for (int k = 0; k < m_nPictureCount + 3; ++k) {
        std::wstring sound = m_pPanel->GetSoundPath(k);
        if (!sound.empty())
            sounds.push_back(std::move(sound));
    }
    sounds.push_back(m_strExeFolder + CTQContentRules::ChosenInScanSound);
    platform::KeepSoundsReady(sounds);
}

// The grid has three rows of four: the search stops at the twelfth picture, and a page with
// more says so in the trace (the answer bar follows picture twelve, so every index stays in
// step with its picture number).
void CTQOrlidoModule::TraceLeftOutPictures(const std::wstring& prefix)
{
    if (CTQImageButtonPanel::CountPictures(prefix, MaxPicturesOnPage + 1) <= MaxPicturesOnPage)
        return;
    platform::TraceF(L"Page '%ls' has more than %d pictures; only the first %d are shown\n",
                     CurrentLevel().Path.c_str(), MaxPicturesOnPage, MaxPicturesOnPage);
}

void CTQOrlidoModule::AddAnswerBar(const TPageGeometry& g,
                                   std::vector<std::unique_ptr<CTQImageButton>> madeAhead)
{
    if (madeAhead.size() == 3) {
        for (int b = 0; b < 3; ++b)
            m_pPanel->AddMadeBlankButton(std::move(madeAhead[static_cast<std::size_t>(b)]),
                                         g.BarX(b), g.barY, g.barWidth, g.barHeight, false);
    } else {
        for (int b = 0; b < 3; ++b)
            m_pPanel->AddBlankButton(g.BarX(b), g.barY, g.barWidth, g.barHeight, kBarColours[b],
                                     false);
        for (int b = 0; b < 3; ++b)
            m_pPanel->SetButtonText(m_nPictureCount + b,
                                    CTQContentRules::AnswerBarWords[static_cast<std::size_t>(b)]);
    }
    for (int b = 0; b < 3; ++b)
        m_pPanel->SetSoundPath(m_nPictureCount + b,
                               m_strExeFolder +
                                   CTQContentRules::AnswerBarSound(static_cast<std::size_t>(b)));
}

// ---------------------------------------------------------------------------------------
// Navigation

std::wstring CTQOrlidoModule::SubPagePath(int index) const
{
    return m_Levels[static_cast<std::size_t>(m_nTop)].Path + L"/" +
        CTQContentRules::NumberedName(CTQContentRules::PageLetter, index + 1);
}

bool CTQOrlidoModule::GoDown(int index)
{
    if (m_nTop + 1 >= LevelCount) {
        platform::TraceF(L"Sub-page of picture %d refused: the page stack holds %d levels\n",
                         index + 1, LevelCount);
        return false;
    }

    const std::wstring subPage = SubPagePath(index);
    if (!IsExistingFolder(subPage))
        return false;

    m_Levels[static_cast<std::size_t>(m_nTop + 1)].Path = subPage;
    ++m_nTop;

    const bool built = BuildPage();
    if (!built)
        --m_nTop;

    m_nScanPosition = m_nPictureCount;

    if (built) {
        OnPageChanged();
        Redraw();
    }
    return built;
}

void CTQOrlidoModule::GoBack()
{
    if (m_nTop <= 0)
        return;

    --m_nTop;
    if (!BuildPage()) {
        // The page above has gone from the disk: the user stays on this page (its level and
        // its panel), and "Tillbaka" tries again, so it works once the page is back.
        ++m_nTop;
        platform::TraceF(L"Page '%ls' cannot be built; staying on '%ls'\n",
                         m_Levels[static_cast<std::size_t>(m_nTop - 1)].Path.c_str(),
                         CurrentLevel().Path.c_str());
        return;
    }
    m_nScanPosition = CurrentLevel().ScanPosition;
    OnPageChanged();
    Redraw();
}

// ---------------------------------------------------------------------------------------
// Drawing

void CTQOrlidoModule::Redraw()
{
    if (m_bMessageBoxOpen)
        return;

    CTQSurface* back = CTQSurface::GetBack();
    if (m_pDisplay == nullptr || back == nullptr)
        return;

    if (m_pPanel == nullptr) {
        DrawNoPageMessage();
    } else {
        if (back->BeginDraw()) {
            back->Clear(kPageBackground);
            back->EndDraw();
        }
        if (m_bPictureActive) {
            const int count = m_pPanel->GetCount();
            m_pPanel->DrawButtons(count - 3, count - 1);
            if (m_pShownPicture != nullptr) {
                const int side = m_nUserAreaHeight - 40;
                m_pShownPicture->DrawPicture(CTQDeWindows::GetScreenWidth() / 2 - side / 2, 20,
                                             L"Prune", side, side);
            }
        } else {
            m_pPanel->DrawButtons(-1, -1);
        }
    }

    PresentDrawnPage(back);
    if (m_bPageJustBuilt && m_pPanel != nullptr) {
        // The buttons now keep only their stretched copies; the next page is decoded while
        // its sound plays, so the decoding memory need not wait for it.
        m_bPageJustBuilt = false;
        platform::ReleasePooledPixels();
    }
}

void CTQOrlidoModule::PresentDrawnPage(CTQSurface* back)
{
    const SIZE size = back->GetSurfaceSize();
    // A film or program covers the user area: only the part below it is put on the screen.
    const int top = (m_bFilmActive || m_bProgramActive) ? m_nUserAreaHeight : 0;
    if (!m_PresentOnly.empty() && top == 0 && !m_bPictureActive && m_pPanel != nullptr) {
        for (const RECT& area : m_PresentOnly)
            m_pDisplay->PresentRect(area.left, area.top, area.right, area.bottom);
        return;
    }
    m_pDisplay->PresentRect(0, top, size.cx, size.cy);
}

// Without a first page the board would be blank; it tells the carer where the pictures go.
void CTQOrlidoModule::DrawNoPageMessage()
{
    CTQSurface* back = CTQSurface::GetBack();
    if (!back->BeginDraw())
        return;
    back->Clear(kPageBackground);

    const std::wstring text =
        L"Ingen första sida hittades.\n"
        L"\n"
        L"Lägg bilderna i mappen UserData/L00001 bredvid programmet:\n"
        L"B00001.jpg med ljudet B00001.wav, B00002.jpg med ljudet B00002.wav\n"
        L"och så vidare. Starta sedan programmet igen.\n"
        L"\n"
        L"Mappen som söktes: " +
        WithoutDoubledSlashes(m_Levels[0].Path);

    const SIZE size = back->GetSurfaceSize();
    const int margin = 20;
    back->SetColor(kTextColour);
    back->SetBkMode(TRANSPARENT);

    // Start with a large font and shrink it until the longest line fits the width.
    RECT block;
    for (int height = std::max(16, size.cy / 20);; height = height * 4 / 5) {
        back->SetFont(CTQDeWindows::GetDefaultFontFace(), height, 700);
        block = RECT{ 0, 0, size.cx, size.cy };
        back->Text(block, text, DT_CALCRECT);
        if (block.right <= size.cx - 2 * margin || height <= 12)
            break;
    }

    const int w = block.right - block.left;
    const int h = block.bottom - block.top;
    RECT place{ std::max(margin, size.cx / 2 - w / 2), std::max(margin, size.cy / 2 - h / 2), 0,
                0 };
    place.right = place.left + w;
    place.bottom = place.top + h;
    back->Text(place, text, DT_NOCLIP);
    back->EndDraw();
}

// ---------------------------------------------------------------------------------------
// Choosing

bool CTQOrlidoModule::IsActivityRunning() const
{
    return m_bFilmActive || m_bPictureActive || m_bProgramActive;
}

void CTQOrlidoModule::OnMouseDown(int x, int y)
{
    if (m_pPanel == nullptr || m_bClickGuard || m_nChoicesRunning > 0 || m_bMessageBoxOpen)
        return;

    m_bClickGuard = true;
    StartClickGuardTimer();

    const int index = m_pPanel->HitTestAndSelect(x, y);
    if (index >= 0)
        Choose(index);
}

void CTQOrlidoModule::ChooseHighlighted()
{
    if (RestartStoppedScan())
        return;
    if (IsRowColumnScan() && !IsActivityRunning() && !m_bMessageBoxOpen) {
        if (!m_bInRow) {
            EnterRow();
            return;
        }
        // After the choice the scan goes on with the rows, from the row chosen in.
        m_bInRow = false;
    }
    Choose(m_nScanPosition);
}

void CTQOrlidoModule::ChooseBack()
{
    if (RestartStoppedScan())
        return;
    if (IsRowColumnScan() && m_bInRow && !IsActivityRunning() && !m_bMessageBoxOpen) {
        LeaveRow();
        return;
    }
    Choose(m_nPictureCount);
}

void CTQOrlidoModule::Choose(int index)
{
    // While the missing-sound message is up, a switch press is meant for the message.
    if (m_pPanel == nullptr || m_bMessageBoxOpen)
        return;
    if (index < 0 || index > m_nPictureCount + 2)
        return;

    m_nStepsWithoutPress = 0;
    ++m_nChoicesRunning;
    CarryOutChoice(index);
    --m_nChoicesRunning;
    // A page made ahead that the choice did not show (an activity started instead, the
    // board is closing) is not kept.
    m_pPageAhead.reset();

    // The guard runs from the end of the choice, so clicks made while it was carried out
    // (queued behind a sound played to its end or a wait) and just after it are dropped,
    // whichever comes first when the loop runs again: the queued clicks or the timer.
    if (m_nChoicesRunning == 0) {
        m_bClickGuard = true;
        StartClickGuardTimer();
    }
}

void CTQOrlidoModule::CarryOutChoice(int index)
{
    const int n = m_nPictureCount;

    if (index < n) {
        if (IsActivityRunning())
            return;

        CurrentLevel().ScanPosition = m_nScanPosition;
        PlayMedia(L"");

        m_nSelected = index;
        m_pPanel->Highlight(index, kHighlightColour);
        Redraw();

        const bool hasSubPage = IsExistingFolder(SubPagePath(index));
        // The sub-page is made while the sound plays to its end.
        if (hasSubPage && m_nMode != 1)
            MakePageAhead(SubPagePath(index));
        if (!PlayPictureSound(index, m_nMode == 1, hasSubPage))
            return;
        // A close during the sound ends the choice with it: no page and no activity follow.
        if (platform::IsClosing())
            return;
        if (TryActivities(index))
            return;

        GoDown(index);
        return;
    }

    // "Tillbaka": the page above is made again while its sound plays.
    if (index == n && m_nTop > 0 && !IsActivityRunning())
        MakePageAhead(m_Levels[static_cast<std::size_t>(m_nTop - 1)].Path);
    m_SoundPlayer.PlaySync(m_pPanel->GetSoundPath(index));
    if (platform::IsClosing())
        return;

    if (index == n) {
        // While an activity covers the page, "Tillbaka" belongs to the activity.
        if (IsActivityRunning()) {
            EndActivity();
            return;
        }
        if (m_nTop > 0) {
            PlayMedia(L"");
            GoBack();
            m_nSelected = -1;
        }
    }
}

void CTQOrlidoModule::MakePageAhead(const std::wstring& folder)
{
    m_pPageAhead.reset();
    const SIZE client{ m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top };
    const SIZE screen{ CTQDeWindows::GetScreenWidth(), CTQDeWindows::GetScreenHeight() };
    CTQPageAhead::TLook look;
    look.fontHeight = kFontHeight;
    for (int b = 0; b < 3; ++b) {
        look.barColours[static_cast<std::size_t>(b)] = kBarColours[b];
        look.barTexts[static_cast<std::size_t>(b)] =
            CTQContentRules::AnswerBarWords[static_cast<std::size_t>(b)];
    }
    m_pPageAhead = std::make_unique<CTQPageAhead>(folder, client, screen, look);
}

bool CTQOrlidoModule::PlayPictureSound(int index, bool chosenInScanMode, bool hasSubPage)
{
    if (m_pPanel == nullptr)
        return false;

    const std::wstring sound = m_pPanel->GetSoundPath(index);
    if (sound.empty()) {
        // The scan goes on behind an open message; it does not stack a second one on it.
        if (m_bMessageBoxOpen)
            return false;
        m_bMessageBoxOpen = true;
        platform::MessageBox(m_pView, CTQContentRules::MissingSoundBox(),
                             CTQContentRules::BoxCaption);
        m_bMessageBoxOpen = false;
        return false;
    }

    if (chosenInScanMode)
        m_SoundPlayer.PlayAsync(m_strExeFolder + CTQContentRules::ChosenInScanSound);
    else if (hasSubPage)
        m_SoundPlayer.PlaySync(sound);
    else
        m_SoundPlayer.PlayAsync(sound);
    return true;
}

// ---------------------------------------------------------------------------------------
// Timers and scanning

void CTQOrlidoModule::ModuleTimerProc(HWND, UINT, UINT_PTR timerId, DWORD)
{
    if (g_pModule != nullptr)
        g_pModule->OnTimer(timerId);
}

void CTQOrlidoModule::OnTimer(UINT_PTR timerId)
{
    if (timerId == 0)
        return;

    if (timerId == g_nScanTimer) {
        if (HasScanExtras())
            OnScanTick();
        else
            ScanStep();
        return;
    }

    if (timerId == g_nProgramWatchTimer) {
        WatchProgram();
        return;
    }

    if (timerId == g_nClickGuardTimer) {
        platform::KillTimer(0, timerId);
        g_nClickGuardTimer = 0;
        // A tick served inside a choice (from a message box's loop) does not end the guard:
        // the end of the choice starts it again.
        if (m_nChoicesRunning == 0)
            m_bClickGuard = false;
    }
}

void CTQOrlidoModule::StartClickGuardTimer()
{
    platform::KillTimer(0, g_nClickGuardTimer);
    g_nClickGuardTimer =
        platform::SetTimer(0, 0, static_cast<UINT>(m_nAvoidExtraClicksTime), ModuleTimerProc);
}

void CTQOrlidoModule::StartScanning()
{
    if (HasScanExtras()) {
        OnScanTick();  // the first step, which also starts the timer
        return;
    }
    ScanStep();
    platform::KillTimer(0, g_nScanTimer);
    g_nScanTimer = platform::SetTimer(0, 0, static_cast<UINT>(m_nScanPeriod), ModuleTimerProc);
}

void CTQOrlidoModule::ScanStep()
{
    if (m_pPanel == nullptr || m_nPictureCount <= 0)
        return;
    // An activity covers the page: the scan waits where it is.
    if (m_pPanel->m_bPresentSuspended)
        return;

    ++m_nScanPosition;
    if (m_nScanPosition > m_nPictureCount - 1 || m_nScanPosition < 0)
        m_nScanPosition = 0;
    ScanTo(m_nScanPosition);
}

bool CTQOrlidoModule::HasScanExtras() const
{
    return m_ScanSettings.FirstDelay > 0 || m_ScanSettings.WaitForSound ||
        m_ScanSettings.Rounds > 0 || m_ScanSettings.RowColumn;
}

// With the extras the timer is restarted at each step, with the time that step gets: the
// period, longer for the first step on a page, and counted from the end of a sound.
void CTQOrlidoModule::OnScanTick()
{
    if (m_pPanel == nullptr || m_nPictureCount <= 0 || m_bScanStopped)
        return;
    if (m_pPanel->m_bPresentSuspended)
        return;  // an activity covers the page: the timer keeps its period
    if (m_ScanSettings.WaitForSound && platform::IsSoundPlaying()) {
        if (!m_bScanWaitsForSound) {
            m_bScanWaitsForSound = true;
            RestartScanTimer(kSoundPollMs);
        }
        return;
    }
    if (m_bScanWaitsForSound) {
        // The sound has ended: the step's whole period runs from now.
        m_bScanWaitsForSound = false;
        RestartScanTimer(static_cast<UINT>(m_nScanPeriod));
        return;
    }
    if (m_bInRow) {
        // A row left alone for its rounds (two unless set) gives the scan back to the rows.
        const int rounds = m_ScanSettings.Rounds > 0 ? m_ScanSettings.Rounds : kRoundsInARow;
        if (m_nStepsWithoutPress >= rounds * StepsPerRound()) {
            LeaveRow();
            return;
        }
    } else if (m_ScanSettings.Rounds > 0 &&
               m_nStepsWithoutPress >= m_ScanSettings.Rounds * StepsPerRound()) {
        StopScanning();
        return;
    }
    const bool first = m_bFirstStepOnPage;
    m_bFirstStepOnPage = false;
    ++m_nStepsWithoutPress;
    AdvanceScan();
    TimeNextStep(m_nScanPeriod + (first ? m_ScanSettings.FirstDelay : 0));
}

void CTQOrlidoModule::TimeNextStep(int stayMs)
{
    // The step's own sound comes first when the scan waits for sounds.
    if (m_ScanSettings.WaitForSound && platform::IsSoundPlaying()) {
        m_bScanWaitsForSound = true;
        RestartScanTimer(kSoundPollMs);
        return;
    }
    RestartScanTimer(static_cast<UINT>(stayMs));
}

void CTQOrlidoModule::AdvanceScan()
{
    if (!IsRowColumnScan()) {
        ScanStep();
        return;
    }
    if (m_bInRow) {
        const int next = m_nScanPosition + 1;
        m_nScanPosition = (next >= RowFirst(m_nScanRow) && next <= RowLast(m_nScanRow))
            ? next
            : RowFirst(m_nScanRow);
        ShowScanned(m_nScanPosition, m_nScanPosition);
        return;
    }
    m_nScanRow = (m_nScanRow + 1) % RowCount();
    ShowRow(m_nScanRow);
}

int CTQOrlidoModule::StepsPerRound() const
{
    if (!IsRowColumnScan())
        return m_nPictureCount;
    return m_bInRow ? RowLast(m_nScanRow) - RowFirst(m_nScanRow) + 1 : RowCount();
}

// The pictures' rows of the grid, then the answer bar as a row of its own.
int CTQOrlidoModule::RowCount() const
{
    return (m_nPictureCount + TPageGeometry::Columns - 1) / TPageGeometry::Columns + 1;
}

int CTQOrlidoModule::RowFirst(int row) const
{
    return row == RowCount() - 1 ? m_nPictureCount : row * TPageGeometry::Columns;
}

int CTQOrlidoModule::RowLast(int row) const
{
    if (row == RowCount() - 1)
        return m_nPictureCount + 2;
    return std::min((row + 1) * TPageGeometry::Columns, m_nPictureCount) - 1;
}

// The whole row is highlighted; its first button's sound tells the user which row it is.
void CTQOrlidoModule::ShowRow(int row)
{
    ShowScanned(RowFirst(row), RowLast(row), true);
}

// Choose on a highlighted row: its first button at once, then its buttons one by one.
void CTQOrlidoModule::EnterRow()
{
    if (m_nScanRow < 0 || m_pPanel == nullptr)
        return;  // no row shown yet on this page
    m_bInRow = true;
    m_bScanWaitsForSound = false;
    m_nStepsWithoutPress = 1;
    m_nScanPosition = RowFirst(m_nScanRow);
    ShowScanned(m_nScanPosition, m_nScanPosition);
    TimeNextStep(m_nScanPeriod);
}

// Back to the rows, at the row left, which is shown at once.
void CTQOrlidoModule::LeaveRow()
{
    m_bInRow = false;
    m_bScanWaitsForSound = false;
    m_nStepsWithoutPress = 1;
    ShowRow(m_nScanRow);
    TimeNextStep(m_nScanPeriod);
}

void CTQOrlidoModule::RestartScanTimer(UINT periodMs)
{
    platform::KillTimer(0, g_nScanTimer);
    g_nScanTimer = platform::SetTimer(0, 0, periodMs, ModuleTimerProc);
}

// A new page's first picture is highlighted a whole period after the change, and stays the
// first delay longer.
void CTQOrlidoModule::OnPageChanged()
{
    m_bFirstStepOnPage = true;
    m_nStepsWithoutPress = 0;
    m_nScanRow = -1;
    m_bInRow = false;
    if (m_nMode == 1 && HasScanExtras() && !m_bScanStopped) {
        m_bScanWaitsForSound = false;
        RestartScanTimer(static_cast<UINT>(m_nScanPeriod));
    }
}

// No highlight, no sound and no timer until a switch is pressed.
void CTQOrlidoModule::StopScanning()
{
    m_bScanStopped = true;
    platform::KillTimer(0, g_nScanTimer);
    g_nScanTimer = 0;
    if (m_pPanel != nullptr) {
        m_pPanel->Highlight(-1);
        Redraw();
    }
}

bool CTQOrlidoModule::RestartStoppedScan()
{
    if (!m_bScanStopped)
        return false;
    m_bScanStopped = false;
    m_bScanWaitsForSound = false;
    m_nStepsWithoutPress = 0;
    m_nScanPosition = m_nPictureCount;
    m_nScanRow = -1;
    m_bInRow = false;
    m_bFirstStepOnPage = true;
    // The first step at once, as at the start: the press is answered by picture 1.
    OnScanTick();
    return true;
}

void CTQOrlidoModule::ScanTo(int index)
{
    // The scan visits the pictures only, never the answer bar.
    if (m_pPanel == nullptr || index < 0 || index >= m_nPictureCount)
        return;
    ShowScanned(index, index);
}

// Highlights buttons first to last and plays the first one's sound as the scan's cue.
void CTQOrlidoModule::ShowScanned(int first, int last, bool wholeRow)
{
    std::vector<RECT> changed;
    for (int i = 0; i < m_pPanel->GetCount(); ++i) {
        if (m_pPanel->m_Buttons[static_cast<std::size_t>(i)]->IsHighlighted())
            changed.push_back(m_pPanel->GetButtonArea(i));
    }
    // The first step on a page puts the whole page up; later ones only the frames that change.
    const bool wholePage = changed.empty();
    m_pPanel->HighlightRange(first, last);
    for (int i = first; i <= last; ++i)
        changed.push_back(m_pPanel->GetButtonArea(i));
    if (!wholePage)
        m_PresentOnly = std::move(changed);
    Redraw();
    m_PresentOnly.clear();
    PlayScanCue(first, wholeRow);
}

// A row whose first picture has no sound is still a row the user can enter: the short cue
// tone stands for it. A single picture without a sound brings the missing-sound message.
void CTQOrlidoModule::PlayScanCue(int index, bool wholeRow)
{
    const std::wstring sound = m_pPanel->GetSoundPath(index);
    if (!sound.empty())
        m_SoundPlayer.PlayCueAsync(sound);
    else if (wholeRow)
        m_SoundPlayer.PlayCueTone();
    else
        PlayPictureSound(index, false, false);
}

// ---------------------------------------------------------------------------------------
// Activities

// The companion files in the order of the content rules; each of them wins over the sub-page.
bool CTQOrlidoModule::TryActivities(int index)
{
    for (const CTQContentRules::TCompanion& companion : CTQContentRules::Companions()) {
        if (TryActivity(companion.Activity, index))
            return true;
    }
    return false;
}

bool CTQOrlidoModule::TryActivity(CTQContentRules::TActivity activity, int index)
{
    switch (activity) {
    case CTQContentRules::TActivity::Program:
        return TryProgram(index);
    case CTQContentRules::TActivity::Media:
        return TryMedia(index);
    case CTQContentRules::TActivity::WebAddress:
        return TryWebBrowser(index);
    }
    return false;
}

// The picture's sound path without its extension, with the letter in place of the "B" of
// the file name: F/B00004.wav gives F/M00004 for 'M'.
std::wstring CTQOrlidoModule::CompanionFile(int index, wchar_t letter) const
{
    std::wstring base = RemoveFileExtension(m_pPanel->GetSoundPath(index));
    if (base.size() >= 6)
        base[base.size() - 6] = letter;
    return base;
}

// Paints are served meanwhile; input waits its turn, so no choice runs inside this one.
bool CTQOrlidoModule::WaitBeforeActivity(UINT ms)
{
    platform::RunModalLoop([] { return false; }, platform::ModalServe::PaintsOnly, ms);
    return !platform::IsClosing();
}

// From here the page's pictures do not answer and only the answer bar is put on the screen
// (for a film or program) or the picture shown large (for music).
void CTQOrlidoModule::CoverPage()
{
    m_pPanel->m_bPresentSuspended = true;
}

void CTQOrlidoModule::UncoverPage()
{
    m_pPanel->m_bPresentSuspended = false;
}

void CTQOrlidoModule::ShowMessage(const std::wstring& text)
{
    m_bMessageBoxOpen = true;
    platform::MessageBox(m_pView, text, CTQContentRules::BoxCaption);
    m_bMessageBoxOpen = false;
}

bool CTQOrlidoModule::TryProgram(int index)
{
    const std::wstring shortcut =
        CompanionFile(index, CTQContentRules::PictureLetter) + CTQContentRules::ShortcutExtension;
    if (!CanOpenFile(shortcut))
        return false;

    if (!WaitBeforeActivity(kProgramWaitMs))
        return false;
    return StartShortcut(shortcut, nullptr);
}

bool CTQOrlidoModule::TryWebBrowser(int index)
{
    const std::wstring browser = m_strExeFolder + L"/" + CTQContentRules::WebBrowserShortcut;
    if (!CanOpenFile(browser)) {
        ShowMessage(CTQContentRules::NoWebBrowserBox);
        return false;
    }

    const std::wstring addressFile = CompanionFile(index, CTQContentRules::WebAddressLetter) +
        CTQContentRules::WebAddressExtension;
    if (!CanOpenFile(addressFile))
        return false;

    if (!WaitBeforeActivity(kProgramWaitMs))
        return false;

    std::string bytes;
    platform::ReadFileBytes(addressFile, CTQContentRules::WebAddressBytes, bytes);
    const std::wstring address =
        WithFullFilePath(CTQProcessCreationBase::WebAddressFromText(bytes));
    return StartShortcut(browser, &address);
}

// Starts the shortcut's program, with the web address as one more argument of its own when
// there is one, and shows its window in the user area.
bool CTQOrlidoModule::StartShortcut(const std::wstring& shortcut, const std::wstring* address)
{
    m_bProgramActive = true;
    CoverPage();
    platform::InvalidateWindow(m_pView);

    std::wstring exePath;
    std::wstring workingDirectory;
    std::wstring arguments;
    if (address)
        m_ProcessCreation.ResolveBrowserShortcut(shortcut, *address, exePath, workingDirectory,
                                                 arguments);
    else
        m_ProcessCreation.ResolveShortcut(shortcut, exePath, workingDirectory, arguments);

    HWND window = 0;
    bool started = false;
    if (address && !CTQProcessCreationBase::IsSafeWebAddress(*address)) {
        // The browser would take it for one of its options.
        platform::TraceF(L"Web address '%ls' starts with '-': not passed\n", address->c_str());
        ShowMessage(L"Fel: Kan inte starta programmet: '" + exePath + L" " + *address + L"'");
    } else {
        started =
            m_ProcessCreation.StartProgram(exePath + L" " + arguments, L"", L"", window,
                                           CTQProcessCreationBase::StartFolderOf(workingDirectory));
    }
    if (!started) {
        // Nothing to show: the page comes back and answers again, and the choice goes on.
        m_bProgramActive = false;
        UncoverPage();
        platform::InvalidateWindow(m_pView);
        return false;
    }

    m_hProgramWnd = window;
    m_ProgramWindows = { window };
    m_dwProgramProcess = m_ProcessCreation.LastProcessID;
    m_pUserDisplay->ShowInUserArea(window, L"");
    StartProgramWatch();
    return true;
}

void CTQOrlidoModule::StartProgramWatch()
{
    StopProgramWatch();
    g_nProgramWatchTimer = platform::SetTimer(0, 0, kProgramWatchMs, ModuleTimerProc);
}

void CTQOrlidoModule::StopProgramWatch()
{
    platform::KillTimer(0, g_nProgramWatchTimer);
    g_nProgramWatchTimer = 0;
}

bool CTQOrlidoModule::AnyProgramWindowLeft() const
{
    return std::any_of(m_ProgramWindows.begin(), m_ProgramWindows.end(),
                       [](HWND window) { return platform::IsWindow(window); });
}

bool CTQOrlidoModule::ProgramHasEnded() const
{
    return !AnyProgramWindowLeft() && !platform::ProcessGroupRuns(m_dwProgramProcess);
}

// While the program runs, windows it opens later (a slow main window, a second one) are
// shown in the user area too, instead of over the page; once none of its windows is left
// (it ended, crashed or closed them), the activity ends as with "Tillbaka".
void CTQOrlidoModule::WatchProgram()
{
    if (!m_bProgramActive) {
        StopProgramWatch();
        return;
    }
    // Not inside a choice or under a message box: they come back to the activity as it was.
    if (m_nChoicesRunning > 0 || m_bMessageBoxOpen)
        return;
    for (const HWND window :
         CTQProcessCreation::FindLaterWindows(m_dwProgramProcess, m_ProgramWindows)) {
        platform::TraceF(L"Later window 0x%lx of PID %d shown in the user area\n",
                         static_cast<unsigned long>(window), static_cast<int>(m_dwProgramProcess));
        m_ProgramWindows.push_back(window);
        m_pUserDisplay->ShowInUserArea(window, L"");
    }
    if (!AnyProgramWindowLeft()) {
        platform::TraceF(L"The program of PID %d has no window left: its activity ends\n",
                         static_cast<int>(m_dwProgramProcess));
        EndActivity();
    }
}

void CTQOrlidoModule::EndProgram(bool serveLoop)
{
    if (m_ProgramWindows.empty() && m_dwProgramProcess == 0)
        return;
    for (const HWND window : m_ProgramWindows) {
        if (platform::IsWindow(window))
            m_ProcessCreation.CloseProgramWindow(window);
    }
    const auto ended = [this] { return ProgramHasEnded(); };
    if (serveLoop) {
        platform::RunModalLoop(ended, platform::ModalServe::PaintsOnly, kProgramCloseWaitMs);
    } else {
        for (UINT waited = 0; waited < kProgramCloseWaitMs && !ended();
             waited += kProgramCloseCheckMs)
            platform::Sleep(kProgramCloseCheckMs);
    }
    CTQProcessCreation::EndProgram(m_dwProgramProcess, serveLoop);
    // A window of it that outlived its processes (another program's, one that ignores being
    // closed) would stay in the hidden user area and come back behind the next program.
    for (const HWND window : m_ProgramWindows) {
        if (platform::IsWindow(window)) {
            platform::TraceF(L"Window 0x%lx left in the user area: taken away\n",
                             static_cast<unsigned long>(window));
            platform::DestroyForeignWindow(window);
        }
    }
    m_ProgramWindows.clear();
    m_dwProgramProcess = 0;
}

bool CTQOrlidoModule::TryMedia(int index)
{
    const std::wstring base = CompanionFile(index, CTQContentRules::MediaLetter);
    std::wstring media;
    for (const wchar_t* extension : CTQContentRules::MediaExtensions) {
        if (CanOpenFile(base + extension)) {
            media = base + extension;
            break;
        }
    }
    const std::wstring extension = media.empty() ? std::wstring() : L"." + GetFileExtension(media);

    if (extension == CTQContentRules::FilmExtension) {
        if (!WaitBeforeActivity(kFilmWaitMs))
            return false;
        m_bFilmActive = true;
        CoverPage();
        if (!PlayMedia(media)) {
            // Nothing to watch: the page comes back at once, as after "Tillbaka".
            EndActivity();
            return true;
        }
        const HWND film = platform::FindWindowByTitle(media);
        m_pUserDisplay->ShowInUserArea(film, L"Film");
        return true;
    }

    if (!media.empty()) {
        if (!WaitBeforeActivity(kMusicWaitMs))
            return false;
        m_pShownPicture = m_pPanel->m_Buttons.at(static_cast<std::size_t>(index));
        m_bPictureActive = true;
        CoverPage();
        platform::InvalidateWindow(m_pView);
        if (!PlayMedia(media))
            EndActivity();  // nothing to hear: the page comes back at once
        return true;
    }
    return false;
}

bool CTQOrlidoModule::PlayMedia(const std::wstring& path)
{
    // With nothing open this fails, harmlessly.
    platform::mciSendString(L"close myFile");
    if (path.empty())
        return true;

    const bool opened =
        platform::mciSendString(L"open \"" + path + L"\" type mpegvideo alias myFile") == 0;
    if (!opened)
        ShowMessage(kMediaOpenFailed);
    const bool played = platform::mciSendString(L"play myFile") == 0;
    if (!played)
        ShowMessage(kMediaPlayFailed);
    return opened && played;
}

void CTQOrlidoModule::EndActivity()
{
    UncoverPage();
    m_bFilmActive = false;
    m_bPictureActive = false;
    m_pShownPicture = nullptr;

    const bool programActive = m_bProgramActive;
    if (m_bProgramActive) {
        m_bProgramActive = false;
        StopProgramWatch();
        m_pUserDisplay->HideUserArea();
    } else {
        PlayMedia(L"");
        m_pUserDisplay->HideUserArea();
    }

    m_nSelected = -1;
    Redraw();
    // The page is back before the program is waited for.
    if (programActive)
        EndProgram(true);
}
