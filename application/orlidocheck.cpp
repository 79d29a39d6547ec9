#include "application/orlidocheck.h"

#include "application/tqsetupfilelint.h"
#include "application/tqstartupsettings.h"
#include "content/contentrules.h"
#include "platform/audio.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/pixels.h"
#include "superlibraries/tqmultithreading/tqprocesscreationbase.h"
#include "superlibraries/tqstandard/tqlanguage.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebuttonpanel.h"

#include <algorithm>
#include <cstdlib>
#include <algorithm>
#include <cctype>
#include <cwctype>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

namespace {

// A picture above this many pixels is shown, but makes its page slow to open.
constexpr std::int64_t kLargePicturePixels = std::int64_t(24) * 1000 * 1000;
constexpr int kTypicalScreenWidth = 1920;
constexpr int kTypicalScreenHeight = 1080;

std::wstring Number(long long n)
{
    return std::to_wstring(n);
}

using Rules = CTQContentRules;

// A numbered name: the letter and the number in five digits.
std::wstring Numbered(wchar_t letter, int number)
{
    return Rules::NumberedName(letter, number);
}

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() &&
        text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::wstring JoinNames(const std::vector<std::wstring>& names)
{
    std::wstring joined;
    for (const std::wstring& name : names)
        joined += (joined.empty() ? L"" : L", ") + name;
    return joined;
}

// A WAV file that ends where its sound data would begin: it plays, but nothing is heard.
bool IsWavWithoutSound(const std::string& bytes)
{
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return false;
    std::size_t chunk = 12;
    while (chunk + 8 <= bytes.size()) {
        const auto byte = [&](std::size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
        };
        const std::uint32_t size =
            byte(chunk + 4) | byte(chunk + 5) << 8 | byte(chunk + 6) << 16 | byte(chunk + 7) << 24;
        if (bytes.compare(chunk, 4, "data") == 0)
            return size == 0 || chunk + 8 == bytes.size();
        chunk += 8 + size + (size & 1);
    }
    return chunk >= bytes.size();
}

// The file a "file:" web address names, as the board hands it to the browser: a full path
// ("file:///home/anna/bok.html", "file://localhost/..."), or a path from the working
// directory ("file:sidor/bok.html"); percent escapes decoded, a query or fragment dropped.
// Empty for any other address.
std::string FileOfAddress(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const std::string address = text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
    if (address.size() <= 5)
        return {};
    for (std::size_t i = 0; i < 5; ++i) {
        if (std::tolower(static_cast<unsigned char>(address[i])) != "file:"[i])
            return {};
    }
    std::string path = address.substr(5,
                                      address.find_first_of("?#") == std::string::npos
                                          ? std::string::npos
                                          : address.find_first_of("?#") - 5);
    if (path.rfind("//", 0) == 0) {
        const std::size_t slash = path.find('/', 2);
        path = slash == std::string::npos ? std::string() : path.substr(slash);
    }
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() &&
            std::isxdigit(static_cast<unsigned char>(path[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(path[i + 2]))) {
            decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    if (decoded.empty())
        return {};
    if (decoded.front() == '/')
        return decoded;
    std::error_code ec;
    return (std::filesystem::current_path(ec) / decoded).lexically_normal().string();
}

bool IsPagePicture(const std::wstring& upperName)
{
    for (const wchar_t* extension : Rules::PagePictureExtensions) {
        if (EndsWith(upperName, UpperCase(extension)))
            return true;
    }
    return false;
}

// The companion file the board would take, resolved; empty when there is none.
std::wstring FirstOpenable(const std::wstring& folder, const Rules::TCompanion& companion,
                           int number)
{
    const std::wstring stem = folder + L"/" + Numbered(companion.Letter, number);
    for (std::size_t i = 0; i < companion.ExtensionCount; ++i) {
        const std::wstring path = stem + companion.Extensions[i];
        if (CanOpenFile(path))
            return platform::ResolvePath(path);
    }
    return {};
}

// "B00001.wav (or .mp3, .wma)": the file to put, then the other sound extensions a carer uses.
std::wstring SoundFileToPut(int number)
{
    return Numbered(Rules::PictureLetter, number) + L".wav";
}

}  // namespace

COrlidoCheck::COrlidoCheck(std::wstring contentFolder, std::wstring setupFile, bool swedish)
    : m_strContentFolder(std::move(contentFolder)), m_strSetupFile(std::move(setupFile)),
      m_bSwedish(swedish)
{
    if (m_strContentFolder.empty() || m_strContentFolder.back() != L'/')
        m_strContentFolder += L'/';
}

std::wstring COrlidoCheck::T(const TBilingualText& text) const
{
    return text.In(m_bSwedish);
}

void COrlidoCheck::Problem(std::vector<TLine>& to, const std::wstring& file,
                           const TBilingualText& text)
{
    ++m_nProblems;
    to.push_back({ true, file, T(text) });
}

void COrlidoCheck::Note(std::vector<TLine>& to, const std::wstring& file,
                        const TBilingualText& text)
{
    ++m_nNotes;
    to.push_back({ false, file, T(text) });
}

int COrlidoCheck::Run(std::FILE* out)
{
    CheckSettings();
    CheckPages();
    CheckCommonFiles(ReadStartupSettings(m_strSetupFile).Mode == Rules::ScanMode);

    std::error_code ec;
    const auto folder =
        std::filesystem::absolute(platform::ToUtf8(m_strContentFolder), ec).lexically_normal();
    std::fprintf(out, "%s %s\n", platform::ToUtf8(T({ L"Content:", L"Innehåll:" })).c_str(),
                 platform::ToUtf8(platform::DecodeText8(folder.string())).c_str());
    std::fprintf(out, "%s %s\n", platform::ToUtf8(T({ L"Settings:", L"Inställningar:" })).c_str(),
                 platform::ToUtf8(Shown(m_strSetupFile)).c_str());
    Print(out, m_Settings);
    Print(out, m_Common);
    Print(out, m_Pages);
    const auto count = [this](int n, const wchar_t* en1, const wchar_t* en, const wchar_t* sv1,
                              const wchar_t* sv) {
        return Number(n) + L" " + T({ n == 1 ? en1 : en, n == 1 ? sv1 : sv });
    };
    const std::wstring summary = count(m_nPages, L"page", L"pages", L"sida", L"sidor") + L", " +
        count(m_nPictures, L"picture", L"pictures", L"bild", L"bilder") + L", " +
        count(m_nProblems, L"problem", L"problems", L"problem", L"problem") + L", " +
        count(m_nNotes, L"note", L"notes", L"anmärkning", L"anmärkningar") + L".";
    std::fprintf(out, "%s\n", platform::ToUtf8(summary).c_str());
    return m_nProblems > 0 ? 1 : 0;
}

// Names as the carer sees them: names that are not UTF-8 (Windows-1252 from a copied
// folder) shown as their characters.
std::wstring COrlidoCheck::Shown(const std::wstring& path) const
{
    std::wstring shown = path;
    if (shown.rfind(m_strContentFolder, 0) == 0 && shown.size() > m_strContentFolder.size())
        shown = shown.substr(m_strContentFolder.size());
    else if (!shown.empty() && shown.front() != L'/') {
        std::error_code ec;
        const auto absolute =
            std::filesystem::absolute(platform::ToUtf8(shown), ec).lexically_normal();
        if (!ec)
            shown = platform::FromUtf8(absolute.string());
    }
    return platform::DecodeText8(platform::ToUtf8(shown));
}

void COrlidoCheck::Print(std::FILE* out, const std::vector<TLine>& lines) const
{
    for (const TLine& line : lines) {
        const std::wstring label = line.Problem ? L"problem: " : T({ L"note: ", L"obs: " });
        std::fprintf(out, "%s%s: %s\n", platform::ToUtf8(label).c_str(),
                     platform::ToUtf8(Shown(line.File)).c_str(),
                     platform::ToUtf8(line.Text).c_str());
    }
}

void COrlidoCheck::CheckSettings()
{
    if (!platform::IsFile(m_strSetupFile)) {
        Note(m_Settings, m_strSetupFile,
             { L"there is none: the board starts in standard mode with its usual times. Put a "
               L"Setup.txt in the "
               L"folder the board is started from, or in ~/.config/orlido/, to change that.",
               L"den finns inte: tavlan startar i standardläge med sina vanliga tider. Lägg en "
               L"Setup.txt i mappen "
               L"som tavlan startas från, eller i ~/.config/orlido/, för att ändra det." });
        return;
    }
    const CTQSetupFileLint lint(m_strSetupFile);
    for (const TSetupFinding& finding : lint.GetFindings()) {
        const bool problem = CTQSetupFileLint::IsProblem(finding.Kind);
        (problem ? m_nProblems : m_nNotes)++;
        m_Settings.push_back(
            { problem, m_strSetupFile, CTQSetupFileLint::Describe(finding, m_bSwedish) });
    }
}

void COrlidoCheck::CheckPages()
{
    const std::wstring userData = m_strContentFolder + Rules::UserDataFolder;
    const std::wstring first = userData + L"/" + Numbered(Rules::PageLetter, 1);
    if (!platform::IsFolder(userData)) {
        Problem(m_Pages, userData,
                { L"is missing: the board has no pages and shows an empty screen. Put the UserData "
                  L"folder here, "
                  L"or give the folder that holds it (orlido --content FOLDER).",
                  L"saknas: tavlan har inga sidor och visar en tom skärm. Lägg mappen UserData "
                  L"här, eller ange "
                  L"mappen som har den (orlido --content MAPP)." });
        return;
    }
    if (!platform::IsFolder(first) ||
        !CTQImageButtonPanel::HasPictures(first + L"/" + Rules::PictureLetter)) {
        Problem(m_Pages, first,
                { L"holds no picture B00001: the board has no first page and shows an empty "
                  L"screen. Make the "
                  L"folder L00001 in UserData and put the first page's pictures in it.",
                  L"har ingen bild B00001: tavlan har ingen första sida och visar en tom skärm. "
                  L"Skapa mappen "
                  L"L00001 i UserData och lägg första sidans bilder där." });
        return;
    }
    const std::wstring real = platform::ResolvePath(first);
    m_PageChain.push_back(CanonicalPath(real));
    CheckPage(real, 1);
    m_PageChain.pop_back();
}

void COrlidoCheck::CheckPage(const std::wstring& folder, int level)
{
    ++m_nPages;
    std::map<int, std::vector<std::wstring>> pictures;
    std::set<int> subFolders;
    std::map<int, std::vector<std::wstring>> companions;
    for (const std::wstring& name : platform::ListFolderNames(folder)) {
        const std::wstring upper = UpperCase(name);
        constexpr std::size_t numberedLength = 1 + Rules::NumberDigits;
        if (platform::IsFolder(folder + L"/" + name)) {
            const int page = Rules::NumberOf(upper, Rules::PageLetter);
            if (upper.size() == numberedLength && page >= 0)
                subFolders.insert(page);
            continue;
        }
        const int b = Rules::NumberOf(upper, Rules::PictureLetter);
        if (b >= 0 && IsPagePicture(upper)) {
            pictures[b].push_back(name);
        } else if (upper.size() > numberedLength && upper[numberedLength] == L'.') {
            for (const wchar_t letter :
                 { Rules::PictureLetter, Rules::MediaLetter, Rules::WebAddressLetter }) {
                const int number = Rules::NumberOf(upper, letter);
                if (number >= 0)
                    companions[number].push_back(name);
            }
        }
    }

    // The page holds pictures 1 to n, n + 1 being the first number the board cannot find.
    int count = 0;
    std::wstring path;
    while (count < Rules::HighestNumber &&
           CTQImageButtonPanel::FindPicture(folder + L"/" + Rules::PictureLetter, count + 1, path))
        ++count;

    std::vector<std::wstring> hidden;
    for (const auto& [number, names] : pictures) {
        if (number > count)
            hidden.insert(hidden.end(), names.begin(), names.end());
    }
    if (!hidden.empty()) {
        const std::wstring missing = Numbered(Rules::PictureLetter, count + 1);
        Problem(m_Pages, folder,
                { L"there is no picture " + missing + L", so the page ends before it and " +
                      JoinNames(hidden) +
                      L" is never shown. Number the pictures from 00001 without a gap.",
                  L"bild " + missing + L" saknas, så sidan slutar före den och " +
                      JoinNames(hidden) +
                      L" visas aldrig. Numrera bilderna från 00001 utan lucka." });
    }
    if (count > Rules::MaxPicturesOnPage) {
        Problem(m_Pages, folder,
                { Number(count) + L" pictures: a page shows twelve, so pictures 13 to " +
                      Number(count) + L" are never shown. Move them to a sub-page.",
                  Number(count) + L" bilder: en sida visar tolv, så bild 13 till " + Number(count) +
                      L" visas aldrig. Flytta dem till en undersida." });
    }
    const int shown = std::min(count, Rules::MaxPicturesOnPage);
    for (int number = 1; number <= shown; ++number)
        CheckPictureNumber(folder, number, pictures[number], level);

    for (const int number : subFolders) {
        if (number > shown) {
            Problem(m_Pages, folder + L"/" + Numbered(Rules::PageLetter, number),
                    { L"belongs to no picture on its page (there is no picture " + Number(number) +
                          L" shown), so it is never opened. Add picture B" + IntToText5(number) +
                          L", or renumber the folder.",
                      L"hör inte till någon bild på sin sida (bild " + Number(number) +
                          L" visas inte), så den öppnas aldrig. Lägg till bild B" +
                          IntToText5(number) + L", eller numrera om mappen." });
        }
    }
    // Companions of pictures hidden by a gap or beyond twelve are told with their pictures.
    for (const auto& [number, names] : companions) {
        if (number > shown && pictures.find(number) == pictures.end()) {
            for (const std::wstring& name : names) {
                Note(m_Pages, folder + L"/" + name,
                     { L"belongs to no picture shown on this page, so it is never used.",
                       L"hör inte till någon bild som visas på sidan, så den används aldrig." });
            }
        }
    }
}

void COrlidoCheck::CheckPictureNumber(const std::wstring& folder, int number,
                                      const std::vector<std::wstring>& files, int level)
{
    std::wstring path;
    CTQImageButtonPanel::FindPicture(folder + L"/" + Rules::PictureLetter, number, path);
    path = platform::ResolvePath(path);
    ++m_nPictures;
    if (files.size() > 1) {
        std::vector<std::wstring> others;
        for (const std::wstring& name : files) {
            if (name != GetFileNamePart(path))
                others.push_back(name);
        }
        Problem(m_Pages, path,
                { JoinNames(others) + L" has the same picture number; the board shows " +
                      GetFileNamePart(path) + L". Remove or renumber the other.",
                  JoinNames(others) + L" har samma bildnummer; tavlan visar " +
                      GetFileNamePart(path) + L". Ta bort eller numrera om den andra." });
    }
    CheckPicture(path);

    const std::wstring sound = CTQImageButton::FindSoundPath(path);
    if (sound.empty()) {
        const std::wstring wav = SoundFileToPut(number);
        const std::wstring box = Rules::MissingSoundBoxStart;
        Problem(m_Pages, path,
                { L"has no sound: choosing it only shows the box \"" + box + L"\". Put " + wav +
                      L" (or .mp3, .wma) beside it.",
                  L"har inget ljud: att välja den visar bara rutan \"" + box + L"\". Lägg " + wav +
                      L" (eller .mp3, .wma) bredvid den." });
    } else {
        CheckSound(platform::ResolvePath(sound));
    }
    const std::wstring activity = CheckActivities(folder, number);
    CheckSubPage(folder, number, activity, level);
}

void COrlidoCheck::CheckSubPage(const std::wstring& folder, int number,
                                const std::wstring& activity, int level)
{
    const std::wstring sub = folder + L"/" + Numbered(Rules::PageLetter, number);
    if (!platform::IsFolder(sub))
        return;
    const std::wstring real = platform::ResolvePath(sub);
    if (!activity.empty()) {
        Problem(m_Pages, real,
                { L"is never opened: choosing picture " + Number(number) + L" starts " + activity +
                      L" instead. Remove the one you do not want.",
                  L"öppnas aldrig: att välja bild " + Number(number) + L" startar " + activity +
                      L" i stället. Ta bort det du inte vill ha." });
    } else if (platform::ListFolderNames(real).empty()) {
        Problem(m_Pages, real,
                { L"is empty, so choosing picture " + Number(number) +
                      L" opens no page. Put pictures in it, or "
                      L"remove it.",
                  L"är tom, så att välja bild " + Number(number) +
                      L" öppnar ingen sida. Lägg bilder i den, eller "
                      L"ta bort den." });
    } else if (!CTQImageButtonPanel::HasPictures(real + L"/" + Rules::PictureLetter)) {
        Problem(m_Pages, real,
                { L"holds no picture B00001, so choosing picture " + Number(number) +
                      L" opens no page. Number its "
                      L"pictures from B00001.",
                  L"har ingen bild B00001, så att välja bild " + Number(number) +
                      L" öppnar ingen sida. Numrera "
                      L"dess bilder från B00001." });
    } else if (const auto above =
                   std::find(m_PageChain.begin(), m_PageChain.end(), CanonicalPath(real));
               above != m_PageChain.end()) {
        // A link back to a page above: followed, it would go round until the levels run out.
        const std::wstring target = Shown(platform::DecodeText8(*above));
        Problem(m_Pages, real,
                { L"leads back to the page " + target +
                      L" above it: a folder loop. Choosing picture " + Number(number) +
                      L" again and again goes round it until the board can go no deeper. Put a "
                      L"page of its own here.",
                  L"leder tillbaka till sidan " + target +
                      L" ovanför: en mappslinga. Att välja bild " + Number(number) +
                      L" om och om igen går runt i den tills tavlan inte når djupare. Lägg en egen "
                      L"sida här." });
    } else if (level + 1 > Rules::MaxLevels) {
        Problem(m_Pages, real,
                { L"lies deeper than the board goes (" + Number(Rules::MaxLevels) +
                      L" pages down from the first), so it "
                      L"is never opened. Move it higher up.",
                  L"ligger djupare än tavlan når (" + Number(Rules::MaxLevels) +
                      L" sidor ned från den första), så den "
                      L"öppnas aldrig. Flytta den högre upp." });
    } else {
        m_PageChain.push_back(CanonicalPath(real));
        CheckPage(real, level + 1);
        m_PageChain.pop_back();
    }
}

void COrlidoCheck::CheckPicture(const std::wstring& path)
{
    int width = 0;
    int height = 0;
    const bool sized = platform::PictureSize(path, width, height);
    const std::wstring size = Number(width) + L"×" + Number(height);
    const std::int64_t pixels = std::int64_t(width) * height;
    // Decoded as the board decodes it for a common screen: reduced when it is larger.
    platform::Image image;
    if (!platform::DecodePicture(path, image, SIZE{ kTypicalScreenWidth, kTypicalScreenHeight })) {
        if (sized &&
            (pixels > platform::kMaxImagePixels || width > platform::kMaxImageSide ||
             height > platform::kMaxImageSide)) {
            Problem(m_Pages, path,
                    { L"is too large to show (" + size +
                          L" pixels): it shows as an empty frame. Save it smaller, "
                          L"for example 1920×1080.",
                      L"är för stor för att visas (" + size +
                          L" bildpunkter): den visas som en tom ram. Spara den "
                          L"mindre, till exempel 1920×1080." });
        } else {
            Problem(m_Pages, path,
                    { L"cannot be read as a picture: it shows as an empty frame. Save it again as "
                      L"JPEG or PNG.",
                      L"kan inte läsas som bild: den visas som en tom ram. Spara den igen som JPEG "
                      L"eller PNG." });
        }
        return;
    }
    if (sized && pixels > kLargePicturePixels) {
        Note(m_Pages, path,
             { L"is very large (" + size +
                   L" pixels): the board shows it reduced, but its page opens more slowly. "
                   L"1920×1080 is plenty.",
               L"är mycket stor (" + size +
                   L" bildpunkter): tavlan visar den förminskad, men sidan öppnas "
                   L"långsammare. 1920×1080 räcker gott." });
    }
}

// The path with every link resolved, so that one folder or file has one name; the path as
// given when it cannot be resolved.
std::string COrlidoCheck::CanonicalPath(const std::wstring& path)
{
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(platform::ToUtf8(path), ec);
    return ec ? platform::ToUtf8(path) : real.string();
}

// Each file is opened by the player once per run, however many pictures name it (by
// whatever path): content often shares one sound among many pages.
bool COrlidoCheck::CanPlay(const std::wstring& path)
{
    const std::string file = CanonicalPath(platform::ResolvePath(path));
    const auto known = m_Playable.find(file);
    if (known != m_Playable.end())
        return known->second;
    const bool playable = platform::CanPlayFile(path);
    m_Playable.emplace(file, playable);
    return playable;
}

void COrlidoCheck::CheckSound(const std::wstring& path)
{
    // Enough to hold a WAV header with a few extra chunks, and to tell whether any sound follows.
    constexpr std::size_t kHeaderBytes = 4096;
    std::string bytes;
    const bool read = platform::ReadFileBytes(path, kHeaderBytes, bytes);
    if (read && bytes.empty()) {
        Note(m_Pages, path,
             { L"is empty: the board plays a short beep for it.",
               L"är tom: tavlan spelar ett kort pip för den." });
    } else if (read && bytes.size() < kHeaderBytes && IsWavWithoutSound(bytes)) {
        Note(m_Pages, path,
             { L"holds no sound, only a WAV header: nothing is heard when its picture is chosen.",
               L"innehåller inget ljud, bara ett WAV-huvud: inget hörs när bilden väljs." });
    } else if (!CanPlay(path)) {
        Problem(m_Pages, path,
                { L"cannot be played: the board plays a short beep instead. Save it again as WAV "
                  L"or MP3.",
                  L"kan inte spelas: tavlan spelar ett kort pip i stället. Spara den igen som WAV "
                  L"eller MP3." });
    }
}

// The companion files of picture number, in the order the board tries them. Returns what
// the picture starts (the file's name), or empty when it starts nothing.
std::wstring COrlidoCheck::CheckActivities(const std::wstring& folder, int number)
{
    std::wstring activity;
    bool startsProgramOrMedia = false;
    for (const Rules::TCompanion& companion : Rules::Companions()) {
        const std::wstring file = FirstOpenable(folder, companion, number);
        if (file.empty())
            continue;
        if (companion.Activity != Rules::TActivity::WebAddress)
            startsProgramOrMedia = true;
        if (!activity.empty()) {
            Note(
                m_Pages, file,
                { L"is never used: picture " + Number(number) + L" starts " + activity + L" first.",
                  L"används aldrig: bild " + Number(number) + L" startar " + activity +
                      L" först." });
            continue;
        }
        activity = GetFileNamePart(file);
        switch (companion.Activity) {
        case Rules::TActivity::Program:
            CheckShortcut(m_Pages, file, true);
            break;
        case Rules::TActivity::Media:
            CheckMedia(file);
            break;
        case Rules::TActivity::WebAddress:
            CheckWebAddress(file);
            break;
        }
    }
    if (!startsProgramOrMedia)
        ++m_nPlainPictures;
    return activity;
}

void COrlidoCheck::CheckMedia(const std::wstring& path)
{
    if (!CanPlay(path)) {
        Problem(m_Pages, path,
                { L"cannot be played by the board's player: choosing its picture shows an error "
                  L"box. Convert it "
                  L"again (a film to .wmv, music to .mp3).",
                  L"kan inte spelas av tavlans spelare: att välja bilden visar en felruta. "
                  L"Konvertera den igen "
                  L"(en film till .wmv, musik till .mp3)." });
    }
}

void COrlidoCheck::CheckWebAddress(const std::wstring& path)
{
    ++m_nWebAddresses;
    // Read past what the board reads, to tell whether the address is cut.
    constexpr std::size_t kLookedAtBytes = 4096;
    std::string bytes;
    platform::ReadFileBytes(path, kLookedAtBytes, bytes);
    if (bytes.find_first_not_of(" \t\r\n") == std::string::npos) {
        Problem(m_Pages, path,
                { L"is empty: the web browser opens without an address. Write the address in it.",
                  L"är tom: webbläsaren öppnas utan adress. Skriv adressen i den." });
        return;
    }
    const std::string_view read = std::string_view(bytes).substr(0, Rules::WebAddressBytes);
    const std::wstring address = CTQProcessCreationBase::WebAddressFromText(read);
    if (!CTQProcessCreationBase::IsSafeWebAddress(address)) {
        Problem(m_Pages, path,
                { L"begins with \"-\": the browser would take it for an option, so the board does "
                  L"not start it. "
                  L"Write the whole address (https://...).",
                  L"börjar med \"-\": webbläsaren skulle ta det för ett val, så tavlan startar den "
                  L"inte. Skriv "
                  L"hela adressen (https://...)." });
    }
    const std::size_t firstLineEnd = std::min(bytes.find_first_of("\r\n"), bytes.size());
    if (firstLineEnd > Rules::WebAddressBytes) {
        Problem(
            m_Pages, path,
            { L"holds an address longer than the " + std::to_wstring(Rules::WebAddressBytes) +
                  L" bytes the board reads: the browser gets it cut short. Use a shorter address.",
              L"har en adress som är längre än de " + std::to_wstring(Rules::WebAddressBytes) +
                  L" byte som tavlan läser: webbläsaren får den avkortad. Använd en kortare "
                  L"adress." });
    }
    const std::string page = FileOfAddress(bytes);
    std::error_code ec;
    if (!page.empty() && !std::filesystem::exists(page, ec)) {
        const std::wstring shown = platform::DecodeText8(page);
        Problem(m_Pages, path,
                { L"names the page " + shown +
                      L", which does not exist: the web browser shows an error instead. "
                      L"Put the page there, or correct the address.",
                  L"anger sidan " + shown +
                      L", som inte finns: webbläsaren visar ett fel i stället. Lägg sidan "
                      L"där, eller rätta adressen." });
    }
}

// Whether the shortcut's program can be started here; says so when not, as a problem or
// as a note.
bool COrlidoCheck::CheckShortcut(std::vector<TLine>& to, const std::wstring& path, bool problem)
{
    // The launcher's own reading and command line, as a choice would build them.
    CTQProcessCreationBase launcher;
    std::wstring program;
    std::wstring workingDirectory;
    std::wstring arguments;
    launcher.ResolveShortcut(path, program, workingDirectory, arguments);
    if (!program.empty() && platform::CanStartProcess(program + L" " + arguments))
        return true;
    const std::wstring english = program.empty()
        ? L"names no program: it is no shortcut the board can read. Make a new one "
          L"(see the README)."
        : L"starts " + program +
            L", which is not installed here. Install it, or "
            L"change the shortcut.";
    const std::wstring swedish = program.empty()
        ? L"anger inget program: det är ingen genväg som tavlan kan läsa. Gör en ny "
          L"(se README)."
        : L"startar " + program +
            L", som inte finns installerat här. Installera det, "
            L"eller ändra genvägen.";
    if (problem)
        Problem(to, path, { english, swedish });
    else
        Note(to, path, { english, swedish });
    return false;
}

void COrlidoCheck::CheckCommonFiles(bool scanMode)
{
    struct TCommonSound {
        std::wstring Name;
        TBilingualText Use;  // what plays it
        bool ScanOnly;
    };
    std::vector<TCommonSound> sounds;
    for (std::size_t b = 0; b < Rules::AnswerBarWords.size(); ++b) {
        const std::wstring word = Rules::AnswerBarWords[b];
        sounds.push_back(
            { Rules::AnswerBarSound(b),
              { L"the answer bar's \"" + word + L"\"", L"svarsradens \"" + word + L"\"" },
              false });
    }
    sounds.push_back({ Rules::ChosenInScanSound,
                       { L"a choice in scan mode", L"ett val i skanningsläge" },
                       true });
    const std::wstring userData = Rules::UserDataFolder;
    for (const TCommonSound& sound : sounds) {
        const std::wstring path = m_strContentFolder + sound.Name;
        if (CanOpenFile(path)) {
            CheckSound(platform::ResolvePath(path));
            continue;
        }
        const TBilingualText text{ L"is missing: " + sound.Use.English +
                                       L" plays a short beep instead. Put " + sound.Name +
                                       L" beside " + userData + L".",
                                   L"saknas: " + sound.Use.Swedish +
                                       L" spelar ett kort pip i stället. Lägg " + sound.Name +
                                       L" bredvid " + userData + L"." };
        if (scanMode || !sound.ScanOnly)
            Problem(m_Common, path, text);
        else
            Note(m_Common, path, text);
    }

    const std::wstring browser = m_strContentFolder + Rules::WebBrowserShortcut;
    const std::wstring box = Rules::NoWebBrowserBox;
    if (CanOpenFile(browser)) {
        CheckShortcut(m_Common, platform::ResolvePath(browser), m_nWebAddresses > 0);
    } else if (m_nPlainPictures > 0) {
        Problem(m_Common, browser,
                { L"is missing: choosing any of the " + Number(m_nPlainPictures) +
                      L" pictures without a shortcut or a film first shows the box \"" + box +
                      L"\". Put a shortcut to the web browser here (see the README).",
                  L"saknas: att välja någon av de " + Number(m_nPlainPictures) +
                      L" bilderna utan genväg eller film visar först rutan \"" + box +
                      L"\". Lägg en genväg till webbläsaren här (se README)." });
    }
}
