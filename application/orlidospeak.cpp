#include "application/orlidospeak.h"

#include "content/contentrules.h"
#include "content/contenttree.h"
#include "content/speech.h"
#include "platform/files.h"
#include "superlibraries/tqstandard/tqlanguage.h"

#include <climits>
#include <cstdlib>
#include <optional>
#include <utility>

namespace {

using Rules = CTQContentRules;

std::wstring WithoutExtension(const std::wstring& name)
{
    const std::size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

// A name as written on disk, in its characters: names copied from Windows may be
// Windows-1252 bytes rather than UTF-8.
std::wstring Readable(const std::wstring& name)
{
    return platform::DecodeText8(platform::ToUtf8(name));
}

// The folder's real path, for telling a page met twice through a link.
std::string RealPath(const std::wstring& folder)
{
    char buffer[PATH_MAX];
    const std::string utf8 = platform::ToUtf8(folder);
    return ::realpath(utf8.c_str(), buffer) ? std::string(buffer) : utf8;
}

}  // namespace

COrlidoSpeak::COrlidoSpeak(std::wstring contentFolder, TOptions options, bool swedish)
    : m_strContentFolder(std::move(contentFolder)), m_Options(std::move(options)),
      m_bSwedish(swedish)
{
    if (m_strContentFolder.empty() || m_strContentFolder.back() != L'/')
        m_strContentFolder += L'/';
}

std::wstring COrlidoSpeak::TextOfPictureName(const std::wstring& fileName)
{
    const std::wstring stem = WithoutExtension(Readable(fileName));
    if (stem.size() <= 1 + Rules::NumberDigits)
        return {};
    std::wstring words = stem.substr(1 + Rules::NumberDigits);
    for (wchar_t& c : words) {
        if (c == L'_')
            c = L' ';
    }
    return CTQSpeech::SpokenText(words);
}

std::wstring COrlidoSpeak::TextOfCommonSound(const std::wstring& fileName)
{
    return Rules::CommonSoundWords(fileName);
}

int COrlidoSpeak::Run(std::FILE* out, std::FILE* err)
{
    // The folder as it is on disk, so that the paths found in it begin with it.
    m_strContentFolder =
        platform::ResolvePath(m_strContentFolder.substr(0, m_strContentFolder.size() - 1)) + L"/";
    const std::wstring userData = m_strContentFolder + Rules::UserDataFolder;
    if (!platform::IsFolder(userData)) {
        const TBilingualText text{
            L"holds no UserData folder, so it is no content folder: nothing was made.",
            L"har ingen mapp UserData, så det är ingen innehållsmapp: inget gjordes."
        };
        std::fprintf(err, "orlido: %s: %s\n",
                     platform::ToUtf8(Readable(m_strContentFolder)).c_str(),
                     platform::ToUtf8(text.In(m_bSwedish)).c_str());
        return 1;
    }
    bool ok = false;
    std::string error;
    std::optional<CTQSpeech> speech;
    if (m_Options.Command.empty())
        speech.emplace(m_Options.Voice.empty() ? CTQSpeech::DefaultVoice : m_Options.Voice, ok,
                       error);
    else
        speech.emplace(CTQSpeech::FromCommand(m_Options.Command, ok, error));
    if (!ok) {
        std::fprintf(err, "orlido: %s\n", error.c_str());
        return 1;
    }

    SpeakCommonSounds(*speech, out);
    SpeakPage(*speech, CTQContentTree::FirstPageFolder(m_strContentFolder), 1, out);

    const TBilingualText summary{
        std::to_wstring(m_nMade) + L" made, " + std::to_wstring(m_nFailed) + L" not made.",
        std::to_wstring(m_nMade) + L" gjorda, " + std::to_wstring(m_nFailed) + L" inte gjorda."
    };
    std::fprintf(out, "%s\n", platform::ToUtf8(summary.In(m_bSwedish)).c_str());
    return m_nFailed > 0 ? 1 : 0;
}

void COrlidoSpeak::SpeakCommonSounds(const CTQSpeech& speech, std::FILE* out)
{
    for (const Rules::TCommonSound& sound : Rules::CommonSounds()) {
        const std::wstring path = m_strContentFolder + sound.FileName;
        if (!platform::IsFile(path))
            Make(speech, sound.Words, path, out);
    }
}

void COrlidoSpeak::SpeakPage(const CTQSpeech& speech, const std::wstring& folder, int level,
                             std::FILE* out)
{
    const CTQContentTree::TPage page = CTQContentTree::ReadPage(folder);
    if (!page.Exists || !m_VisitedPages.insert(RealPath(page.Folder)).second)
        return;
    for (const CTQContentTree::TPicture& picture : page.Pictures) {
        if (picture.SoundName.empty())
            SpeakPicture(speech, page.Folder, picture, out);
    }
    if (level >= Rules::MaxLevels)
        return;
    for (const CTQContentTree::TPicture& picture : page.Pictures) {
        if (picture.LeadsTo == CTQContentTree::TLeadsTo::SubPage)
            SpeakPage(speech, page.Folder + L"/" + picture.LeadsToName, level + 1, out);
    }
}

void COrlidoSpeak::SpeakPicture(const CTQSpeech& speech, const std::wstring& folder,
                                const CTQContentTree::TPicture& picture, std::FILE* out)
{
    const std::wstring numbered = Rules::NumberedName(Rules::PictureLetter, picture.Number);
    const std::wstring sound = folder + L"/" + numbered + Rules::WaveExtension;
    std::wstring text = CTQSpeech::SpokenText(picture.Caption);
    if (text.empty())
        text = TextOfPictureName(picture.PictureName);
    if (text.empty()) {
        const std::wstring name = Readable(picture.PictureName);
        const std::wstring example =
            numbered + L" Mat" + name.substr(WithoutExtension(name).size());
        NotMade(
            sound,
            TBilingualText{
                name +
                    L" has no caption and no words after its number, so there is nothing to say. "
                    L"Record a sound, write a caption, or name the picture like \"" +
                    example + L"\".",
                name +
                    L" har ingen bildtext och inga ord efter numret, så det finns inget att säga. "
                    L"Spela in ett ljud, skriv en bildtext, eller döp bilden som \"" +
                    example + L"\"." }
                .In(m_bSwedish),
            out);
        return;
    }
    Make(speech, text, sound, out);
}

void COrlidoSpeak::Make(const CTQSpeech& speech, const std::wstring& text, const std::wstring& path,
                        std::FILE* out)
{
    std::string error;
    if (!speech.MakeSoundFile(text, path, error)) {
        NotMade(path, platform::FromUtf8(error), out);
        return;
    }
    ++m_nMade;
    const TBilingualText label{ L"made: ", L"gjord: " };
    std::fprintf(out, "%s%s: \"%s\"\n", platform::ToUtf8(label.In(m_bSwedish)).c_str(),
                 platform::ToUtf8(Shown(path)).c_str(), platform::ToUtf8(text).c_str());
}

void COrlidoSpeak::NotMade(const std::wstring& path, const std::wstring& why, std::FILE* out)
{
    ++m_nFailed;
    const TBilingualText label{ L"not made: ", L"inte gjord: " };
    std::fprintf(out, "%s%s: %s\n", platform::ToUtf8(label.In(m_bSwedish)).c_str(),
                 platform::ToUtf8(Shown(path)).c_str(), platform::ToUtf8(why).c_str());
}

// A path as the carer sees it: from the content folder on, in its characters.
std::wstring COrlidoSpeak::Shown(const std::wstring& path) const
{
    std::wstring shown = path;
    if (shown.rfind(m_strContentFolder, 0) == 0)
        shown = shown.substr(m_strContentFolder.size());
    return Readable(shown);
}
