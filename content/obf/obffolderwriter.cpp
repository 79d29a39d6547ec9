#include "content/obf/obffolderwriter.h"

#include "content/contentrules.h"
#include "content/obf/obfpicture.h"
#include "content/obf/obfsource.h"
#include "platform/files.h"
#include "platform/common/shortcutfile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace {

constexpr std::uint32_t kLabelColour = 0xFFFFF6D5u;  // a pale card for pictures made of words
constexpr std::uint32_t kMoreColour = 0xFFD8E4F0u;
constexpr const char* kMore = "Mer";
constexpr const char* kHomeLocale = "sv";
constexpr std::size_t kNameCharacters = 40;

// "en_US" and "en-us" name the same locale.
std::string LocaleKey(std::string_view locale)
{
    std::string key = platform::AsciiLower(locale);
    std::replace(key.begin(), key.end(), '_', '-');
    return key.substr(0, key.find('.'));
}

std::string CutUtf8(const std::string& text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

using Rules = CTQContentRules;

std::wstring Numbered(wchar_t letter, int number)
{
    return Rules::NumberedName(letter, number);
}

bool IsMediaExtension(const std::wstring& extension)
{
    return std::find(Rules::MediaExtensions.begin(), Rules::MediaExtensions.end(), extension) !=
        Rules::MediaExtensions.end();
}

std::wstring Extension(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return platform::FromUtf8(platform::AsciiLower(path.substr(dot)));
}

bool IsWebAddress(const std::string& url)
{
    const std::string lower = platform::AsciiLower(url);
    return lower.rfind("https://", 0) == 0 || lower.rfind("http://", 0) == 0;
}

// A name text from this program's own export: used as it is when it is a plain name.
bool IsPlainNameText(const std::wstring& text)
{
    if (text.size() > 200)
        return false;
    return std::none_of(text.begin(), text.end(),
                        [](wchar_t c) { return c < 0x20 || c == L'/' || c == L'\\'; });
}

// The command a shortcut starts, as a carer reads it; "" when it is no shortcut the board
// can read (and so could not start either).
std::string CommandOf(std::string_view bytes)
{
    platform::ShortcutData shortcut;
    if (!platform::ParseShortcut(bytes, shortcut))
        return {};
    std::wstring command = shortcut.target;
    for (const std::wstring* part : { &shortcut.arguments, &shortcut.argumentsAfterAddress })
        if (!part->empty())
            command += L" " + *part;
    return platform::ToUtf8(command);
}

}  // namespace

CTQObfFolderWriter::CTQObfFolderWriter(CTQObfSource& source,
                                       const std::vector<TObfPlannedPage>& pages,
                                       TObfWriteOptions options)
    : m_Source(source), m_Pages(pages), m_Options(std::move(options))
{
}

std::wstring CTQObfFolderWriter::NameText(const std::string& label)
{
    std::wstring text;
    for (const wchar_t c : platform::FromUtf8(label)) {
        if (c < 0x20 || c == 0x7F ||
            std::wstring_view(L"/\\:*?\"<>|").find(c) != std::wstring_view::npos) {
            if (!text.empty() && text.back() != L' ')
                text.push_back(L' ');
            continue;
        }
        if (c == L' ' && (text.empty() || text.back() == L' '))
            continue;
        text.push_back(c);
    }
    if (text.size() > kNameCharacters)
        text.resize(kNameCharacters);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return text.empty() ? text : L" " + text;
}

std::wstring CTQObfFolderWriter::SoundExtension(std::string_view bytes, bool video)
{
    if (bytes.size() >= 12 && bytes.substr(0, 4) == "RIFF" && bytes.substr(8, 4) == "WAVE")
        return L".wav";
    if (bytes.substr(0, 3) == "ID3")
        return L".mp3";
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        (static_cast<unsigned char>(bytes[1]) & 0xE0) == 0xE0)
        return L".mp3";
    if (bytes.substr(0, 8) == std::string_view("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8))
        return video ? L".wmv" : L".wma";
    return {};
}

bool CTQObfFolderWriter::Write(const std::wstring& contentFolder, std::string& error)
{
    m_strContentFolder = contentFolder;
    std::error_code ec;
    std::filesystem::create_directory(
        platform::ToUtf8(contentFolder + L"/" + Rules::UserDataFolder), ec);
    if (ec) {
        error = "cannot make UserData: " + ec.message();
        return false;
    }
    if (!m_Pages.empty() &&
        !WritePage(
            0, contentFolder + L"/" + Rules::UserDataFolder + L"/" + Numbered(Rules::PageLetter, 1),
            error))
        return false;
    return WriteCommonFiles(contentFolder, error);
}

bool CTQObfFolderWriter::WritePage(int page, const std::wstring& folder, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directory(platform::ToUtf8(folder), ec);
    if (ec) {
        error = platform::ToUtf8(folder) + ": " + ec.message();
        return false;
    }
    const TObfPlannedPage& planned = m_Pages[std::size_t(page)];
    for (std::size_t i = 0; i < planned.Pictures.size(); ++i) {
        const int number = int(i) + 1;
        if (!WritePicture(planned.Pictures[i], folder, number, error))
            return false;
        if (planned.Pictures[i].SubPage >= 0 &&
            !WritePage(planned.Pictures[i].SubPage,
                       folder + L"/" + Numbered(Rules::PageLetter, number), error))
            return false;
    }
    return true;
}

CTQObfFolderWriter::TLabel CTQObfFolderWriter::LabelOf(const TObfBoard& board,
                                                       const TObfButton* button) const
{
    if (!button)
        return { kMore, kMore, kHomeLocale };
    TLabel label{ button->Label,
                  button->Vocalization.empty() ? button->Label : button->Vocalization,
                  board.Locale.empty() ? kHomeLocale : board.Locale };
    // The user's language where the board's strings have it: exactly, else the language alone.
    const std::string wanted = LocaleKey(m_Options.Language);
    const std::map<std::string, std::string>* table = nullptr;
    std::string tableLocale;
    for (int pass = 0; pass < 2 && !table && !wanted.empty(); ++pass) {
        for (const auto& [locale, strings] : board.Strings) {
            const std::string key = LocaleKey(locale);
            const bool match = pass == 0
                ? key == wanted
                : key.substr(0, key.find('-')) == wanted.substr(0, wanted.find('-'));
            if (match) {
                table = &strings;
                tableLocale = locale;
                break;
            }
        }
    }
    if (!table)
        return label;
    bool translated = false;
    for (std::string* text : { &label.Text, &label.Spoken }) {
        const auto found = table->find(*text);
        if (found != table->end()) {
            *text = found->second;
            translated = true;
        }
    }
    if (translated)
        label.Locale = tableLocale;
    return label;
}

bool CTQObfFolderWriter::WritePicture(const TObfPlannedPicture& planned, const std::wstring& folder,
                                      int number, std::string& error)
{
    const TObfBoard& board = *planned.Board;
    const TObfButton* button = planned.Button;
    const TLabel label = LabelOf(board, button);
    const std::wstring stem = folder + L"/" + Numbered(Rules::PictureLetter, number);
    const bool ours = button && button->NameText;
    std::wstring nameText = NameText(label.Text);
    if (ours && IsPlainNameText(platform::FromUtf8(*button->NameText)))
        nameText = platform::FromUtf8(*button->NameText);
    const std::wstring base = stem + nameText;

    bool drawn = false;
    if (!WritePictureFile(board, button, label, base, drawn, error))
        return false;
    if (ours && !button->CaptionPath.empty()) {
        std::string bytes;
        std::string why;
        if (m_Source.ReadFile(button->CaptionPath, TObfLimits::MaxSmallFileBytes, bytes, why)) {
            if (!WriteBytes(base + Rules::CaptionExtension, bytes, error))
                return false;
        } else {
            m_Notes.push_back("left out: " + CTQObfPlan::Describe(board, *button) +
                              ": its caption: " + why);
        }
    } else if (!ours && !drawn && !label.Text.empty()) {
        // The label becomes the caption the board writes on the picture; a picture made of
        // the label's words needs none.
        if (!WriteBytes(base + Rules::CaptionExtension, CutUtf8(label.Text, Rules::CaptionBytes),
                        error))
            return false;
    }
    if (!WriteSound(board, button, label, stem, error))
        return false;
    if (button && !WriteActivities(board, *button, folder, number, error))
        return false;
    ++m_nPictures;
    return true;
}

bool CTQObfFolderWriter::WritePictureFile(const TObfBoard& board, const TObfButton* button,
                                          const TLabel& label, const std::wstring& base,
                                          bool& drawn, std::string& error)
{
    drawn = false;
    if (button && !button->ImageId.empty()) {
        const auto key = std::make_pair(&board, button->ImageId);
        if (const auto made = m_MadePictures.find(key); made != m_MadePictures.end())
            return CopyMade(made->second, base + made->second.substr(made->second.rfind(L'.')),
                            error);
        std::string why;
        if (const auto failed = m_PictureFailures.find(key); failed != m_PictureFailures.end()) {
            why = failed->second;
        } else {
            const auto media = board.Images.find(button->ImageId);
            std::string bytes;
            std::string contentType;
            TObfPicture picture;
            if (media == board.Images.end()) {
                why = "its image " + button->ImageId.substr(0, 40) + " is not on the board";
            } else if (m_Source.MediaBytes(media->second, bytes, contentType, why) &&
                       CTQObfPicture::Prepare(std::move(bytes), picture, why)) {
                if (!CTQObfPicture::Write(picture, base)) {
                    error = platform::ToUtf8(base) + ": cannot be written";
                    return false;
                }
                const std::wstring path = base + picture.Extension;
                std::error_code ec;
                m_nWrittenBytes += std::filesystem::file_size(platform::ToUtf8(path), ec);
                m_MadePictures[key] = path;
                return true;
            }
            m_PictureFailures[key] = why;
        }
        if (!m_Told[button])
            m_Notes.push_back("replaced: " + CTQObfPlan::Describe(board, *button) +
                              ": its picture: " + why + "; the label is drawn instead");
        m_Told[button] = true;
    }
    const std::uint32_t colour =
        button ? CTQObfPicture::ParseColour(button->BackgroundColor, kLabelColour) : kMoreColour;
    const platform::Image image =
        CTQObfPicture::LabelPicture(platform::FromUtf8(label.Text), colour);
    if (!platform::WritePng(image, base + L".png")) {
        error = platform::ToUtf8(base) + ".png: cannot be written";
        return false;
    }
    drawn = true;
    return true;
}

bool CTQObfFolderWriter::WriteSound(const TObfBoard& board, const TObfButton* button,
                                    const TLabel& label, const std::wstring& stem,
                                    std::string& error)
{
    if (button && !button->SoundId.empty()) {
        const auto key = std::make_pair(&board, button->SoundId);
        if (const auto made = m_MadeSounds.find(key); made != m_MadeSounds.end())
            return CopyMade(made->second, stem + made->second.substr(made->second.rfind(L'.')),
                            error);
        const auto media = board.Sounds.find(button->SoundId);
        std::string bytes;
        std::string contentType;
        std::string why = "it is not on the board";
        if (media != board.Sounds.end() &&
            m_Source.MediaBytes(media->second, bytes, contentType, why)) {
            const bool video = platform::AsciiLower(contentType).rfind("video/", 0) == 0 ||
                Extension(media->second.Path) == Rules::FilmExtension;
            const std::wstring extension = SoundExtension(bytes, video);
            if (!extension.empty()) {
                if (!WriteBytes(stem + extension, bytes, error))
                    return false;
                m_MadeSounds[key] = stem + extension;
                return true;
            }
            why = "a kind of sound the board cannot play (" +
                (contentType.empty() ? "unknown" : contentType.substr(0, 40)) + ")";
        }
        m_Notes.push_back("replaced: " + CTQObfPlan::Describe(board, *button) +
                          ": its sound: " + why + "; spoken instead");
    }
    const std::wstring path = stem + L".wav";
    if (label.Spoken.empty()) {
        m_Silent.push_back(platform::ToUtf8(path) + ": the button has no words to speak");
    } else if (!Speak(label.Spoken, label.Locale, path)) {
        m_Silent.push_back(platform::ToUtf8(path) + ": speech could not say \"" +
                           label.Spoken.substr(0, 60) + "\"");
    }
    return true;
}

bool CTQObfFolderWriter::Speak(const std::string& text, const std::string& locale,
                               const std::wstring& path)
{
    const auto key = std::make_pair(locale, text);
    if (const auto made = m_Spoken.find(key); made != m_Spoken.end()) {
        std::string ignored;
        return CopyMade(made->second, path, ignored);
    }
    if (!m_Options.Speech || !m_Options.Speech(platform::FromUtf8(text), locale, path))
        return false;
    std::error_code ec;
    m_nWrittenBytes += std::filesystem::file_size(platform::ToUtf8(path), ec);
    ++m_nSpoken;
    m_Spoken[key] = path;
    return true;
}

bool CTQObfFolderWriter::WriteActivities(const TObfBoard& board, const TObfButton& button,
                                         const std::wstring& folder, int number, std::string& error)
{
    const std::string who = CTQObfPlan::Describe(board, button);
    for (const std::string& action : button.Actions) {
        m_Notes.push_back("replaced: " + who + ": its action " + action.substr(0, 40) +
                          " is not something the board does; it is a plain picture");
    }
    struct TFile {
        const std::string& From;
        std::wstring To;
        std::size_t MaxBytes;
        bool Program;
    };
    std::vector<TFile> files;
    const std::wstring webAddressFile =
        folder + L"/" + Numbered(Rules::WebAddressLetter, number) + Rules::WebAddressExtension;
    if (!button.ShortcutPath.empty())
        files.push_back(
            { button.ShortcutPath,
              folder + L"/" + Numbered(Rules::PictureLetter, number) + Rules::ShortcutExtension,
              TObfLimits::MaxSmallFileBytes, true });
    if (!button.MediaPath.empty()) {
        const std::wstring extension = Extension(button.MediaPath);
        if (IsMediaExtension(extension))
            files.push_back({ button.MediaPath,
                              folder + L"/" + Numbered(Rules::MediaLetter, number) + extension,
                              TObfLimits::MaxActivityFileBytes, false });
        else
            m_Notes.push_back("left out: " + who +
                              ": its film or music is of a kind the board does not play");
    }
    if (!button.WebAddressPath.empty())
        files.push_back(
            { button.WebAddressPath, webAddressFile, TObfLimits::MaxSmallFileBytes, false });
    for (const TFile& file : files) {
        std::string bytes;
        std::string why;
        if (!m_Source.ReadFile(file.From, file.MaxBytes, bytes, why)) {
            m_Notes.push_back("left out: " + who + ": " + why);
            continue;
        }
        if (file.Program) {
            if (!WriteProgram(file.To, bytes, &board, &button, error))
                return false;
            continue;
        }
        // The browser gets the address as its argument: only a web page or a file: page.
        const std::string address =
            platform::AsciiLower(platform::ToUtf8(platform::DecodeText8(bytes)));
        const std::size_t start = address.find_first_not_of(" \t\r\n");
        if (file.To == webAddressFile &&
            (start == std::string::npos ||
             !(IsWebAddress(address.substr(start)) || address.compare(start, 5, "file:") == 0))) {
            m_Notes.push_back("left out: " + who +
                              ": its web-address file holds no http, https or file: address");
            continue;
        }
        if (!WriteBytes(file.To, bytes, error))
            return false;
    }
    if (button.WebAddressPath.empty() && !button.Url.empty()) {
        if (!IsWebAddress(button.Url))
            m_Notes.push_back("left out: " + who +
                              ": its address is no web address (http or https)");
        else if (button.Url.size() > Rules::WebAddressBytes)
            m_Notes.push_back("left out: " + who + ": its web address is longer than the " +
                              std::to_string(Rules::WebAddressBytes) + " bytes the board reads");
        else if (!WriteBytes(webAddressFile, button.Url, error))
            return false;
    }
    return true;
}

bool CTQObfFolderWriter::WriteCommonFiles(const std::wstring& contentFolder, std::string& error)
{
    // The package's own common sound, else its words spoken.
    const auto& common = m_Source.Manifest().CommonFiles;
    for (const Rules::TCommonSound& sound : Rules::CommonSounds()) {
        const std::string name = platform::ToUtf8(sound.FileName);
        const std::string words = platform::ToUtf8(sound.Words);
        const std::wstring path = contentFolder + L"/" + sound.FileName;
        std::string bytes;
        std::string why;
        if (const auto found = common.find(name); found != common.end() &&
            m_Source.ReadFile(found->second, TObfLimits::MaxMediaBytes, bytes, why)) {
            if (!WriteBytes(path, bytes, error))
                return false;
        } else if (!Speak(words, kHomeLocale, path)) {
            m_Silent.push_back(name + ": speech could not say \"" + words + "\"");
        }
    }
    // The package's own browser shortcut when the carer keeps programs; the system's browser
    // otherwise, or when the package has none.
    const std::wstring browser = contentFolder + L"/" + Rules::WebBrowserShortcut;
    const std::string browserName = platform::ToUtf8(Rules::WebBrowserShortcut);
    std::string bytes;
    std::string why;
    if (const auto found = common.find(browserName); found != common.end() &&
        m_Source.ReadFile(found->second, TObfLimits::MaxSmallFileBytes, bytes, why)) {
        if (!WriteProgram(browser, bytes, nullptr, nullptr, error))
            return false;
        if (m_Options.KeepPrograms)
            return true;
    }
    return WriteBytes(browser,
                      "[Desktop Entry]\nType=Application\nName=Webbläsare\nExec=" +
                          m_Options.BrowserCommand + " %u\n",
                      error);
}

bool CTQObfFolderWriter::WriteProgram(const std::wstring& path, std::string_view bytes,
                                      const TObfBoard* board, const TObfButton* button,
                                      std::string& error)
{
    TObfProgram program{ platform::ToUtf8(path.substr(m_strContentFolder.size() + 1)), !button,
                         board ? CTQObfPlan::NameOf(*board) : std::string(),
                         button ? CTQObfPlan::NameOf(*button) : std::string(), CommandOf(bytes) };
    if (!m_Options.KeepPrograms) {
        m_LeftOutPrograms.push_back(std::move(program));
        return true;
    }
    if (!WriteBytes(path, bytes, error))
        return false;
    m_KeptPrograms.push_back(std::move(program));
    return true;
}

bool CTQObfFolderWriter::WriteBytes(const std::wstring& path, std::string_view bytes,
                                    std::string& error)
{
    m_nWrittenBytes += bytes.size();
    if (m_nWrittenBytes > TObfLimits::MaxWrittenBytes) {
        error = "refused: the content would take more than " +
            std::to_string(TObfLimits::MaxWrittenBytes / (1024 * 1024)) + " MiB";
        return false;
    }
    std::FILE* file = std::fopen(platform::ToUtf8(path).c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if ((file && std::fclose(file) != 0) || !written) {
        error = platform::ToUtf8(path) + ": cannot be written";
        return false;
    }
    return true;
}

bool CTQObfFolderWriter::CopyMade(const std::wstring& from, const std::wstring& to,
                                  std::string& error)
{
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(platform::ToUtf8(from), ec);
    m_nWrittenBytes += ec ? 0 : size;
    if (m_nWrittenBytes > TObfLimits::MaxWrittenBytes) {
        error = "refused: the content would take more than " +
            std::to_string(TObfLimits::MaxWrittenBytes / (1024 * 1024)) + " MiB";
        return false;
    }
    if (!std::filesystem::copy_file(platform::ToUtf8(from), platform::ToUtf8(to), ec)) {
        error = platform::ToUtf8(to) + ": cannot be written: " + ec.message();
        return false;
    }
    return true;
}
