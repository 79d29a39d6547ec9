#include "content/obf/obfexport.h"

#include "content/contentrules.h"
#include "content/obf/obfjson.h"
#include "content/obf/obfpicture.h"
#include "content/obf/obfzipwriter.h"
#include "platform/files.h"
#include "platform/pixels.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebuttonpanel.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

using Rules = CTQContentRules;

std::wstring Numbered(wchar_t letter, int number)
{
    return Rules::NumberedName(letter, number);
}

std::string ExtensionOf(const std::wstring& path)
{
    const std::string utf8 = platform::ToUtf8(path);
    const std::size_t dot = utf8.rfind('.');
    return dot == std::string::npos ? std::string() : platform::AsciiLower(utf8.substr(dot));
}

std::string ContentType(const std::string& extension)
{
    if (extension == ".jpg")
        return "image/jpeg";
    if (extension == ".png")
        return "image/png";
    if (extension == ".bmp")
        return "image/bmp";
    if (extension == ".wav")
        return "audio/wav";
    if (extension == ".mp3")
        return "audio/mpeg";
    if (extension == ".wma")
        return "audio/x-ms-wma";
    if (extension == ".wmv")
        return "video/x-ms-wmv";
    return "application/octet-stream";
}

// The first of the extensions that names a file beside stem, resolved; "" for none.
std::wstring FirstFile(const std::wstring& stem, const std::vector<const wchar_t*>& extensions)
{
    for (const wchar_t* extension : extensions) {
        if (CanOpenFile(stem + extension))
            return platform::ResolvePath(stem + extension);
    }
    return {};
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    return text.substr(start);
}

}  // namespace

CTQObfExport::CTQObfExport(CTQObfZipWriter& zip, TObfExportResult& result)
    : m_Zip(zip), m_Result(result)
{
}

TObfExportResult CTQObfExport::Run(const std::wstring& contentFolder, const std::wstring& file)
{
    TObfExportResult result;
    result.ExitCode = 2;
    const std::wstring first =
        contentFolder + L"/" + Rules::UserDataFolder + L"/" + Numbered(Rules::PageLetter, 1);
    if (!CTQImageButtonPanel::HasPictures(first + L"/B")) {
        result.Error = platform::ToUtf8(contentFolder) +
            ": has no first page (UserData/L00001 with picture B00001)";
        return result;
    }
    CTQObfZipWriter zip;
    std::string error;
    if (!zip.Create(file, error)) {
        result.Error = error;
        return result;
    }
    CTQObfExport exporter(zip, result);
    const std::string root = exporter.AddPage(platform::ResolvePath(first), "Orlido", 1, error);
    if (root.empty() || !exporter.AddCommonFiles(contentFolder, exporter.m_Manifest, error)) {
        result.Error = error;
        return result;
    }
    exporter.m_Manifest.Root = exporter.m_Manifest.Boards[root];
    if (!zip.AddBytes("manifest.json", CTQObfJson::WriteManifest(exporter.m_Manifest), true,
                      error) ||
        !zip.Finish(error)) {
        result.Error = error;
        return result;
    }
    result.ExitCode = 0;
    return result;
}

std::string CTQObfExport::AddFile(const std::wstring& path, const std::string& folder,
                                  bool compress, std::string& error)
{
    const std::string name = folder + "/" + std::to_string(++m_nFiles) + ExtensionOf(path);
    return m_Zip.AddFile(name, path, compress, error) ? name : std::string();
}

std::string CTQObfExport::AddPage(const std::wstring& folder, const std::string& name, int level,
                                  std::string& error)
{
    std::error_code ec;
    const std::string real = std::filesystem::canonical(platform::ToUtf8(folder), ec).string();
    if (std::find(m_Path.begin(), m_Path.end(), real) != m_Path.end()) {
        m_Result.Notes.push_back("left out: " + platform::ToUtf8(folder) +
                                 ": it is a folder on its own way from the first page (a loop)");
        return "loop";
    }
    m_Path.push_back(real);
    TObfBoard board;
    board.Id = std::to_string(m_Manifest.Boards.size() + 1);
    board.Name = name;
    board.Locale = "sv";
    const std::string path = "boards/" + board.Id + ".obf";
    m_Manifest.Boards[board.Id] = path;
    const std::wstring prefix = folder + L"/B";
    const int count = CTQImageButtonPanel::CountPictures(prefix, Rules::MaxPicturesOnPage);
    if (CTQImageButtonPanel::CountPictures(prefix, Rules::MaxPicturesOnPage + 1) >
        Rules::MaxPicturesOnPage)
        m_Result.Notes.push_back("left out: " + platform::ToUtf8(folder) +
                                 ": the pictures after the twelfth, which the board never shows");
    for (int number = 1; number <= count; ++number) {
        std::wstring picture;
        CTQImageButtonPanel::FindPicture(prefix, number, picture);
        if (!AddPicture(folder, number, platform::ResolvePath(picture), board, error))
            return {};
        TObfButton& button = board.Buttons.back();
        const std::wstring sub = folder + L"/" + Numbered(Rules::PageLetter, number);
        if (platform::IsFolder(sub) && CTQImageButtonPanel::HasPictures(sub + L"/B")) {
            if (level + 1 > Rules::MaxLevels) {
                m_Result.Notes.push_back("left out: " + platform::ToUtf8(sub) +
                                         ": deeper than the board goes");
                continue;
            }
            const std::string label = button.Label;
            const std::string id = AddPage(platform::ResolvePath(sub), label, level + 1, error);
            if (id.empty())
                return {};
            if (id != "loop")
                board.Buttons[std::size_t(number - 1)].LoadBoard =
                    TObfLink{ id, m_Manifest.Boards[id], {}, {} };
        }
    }
    for (std::size_t i = 0; i < board.Buttons.size(); ++i)
        board.Shown.push_back(i);
    board.Columns = Rules::PageColumns;
    board.Rows = Rules::PageRows(count);
    m_Path.pop_back();
    ++m_Result.Boards;
    return m_Zip.AddBytes(path, CTQObfJson::WriteBoard(board), true, error) ? board.Id
                                                                            : std::string();
}

bool CTQObfExport::AddPicture(const std::wstring& folder, int number, const std::wstring& picture,
                              TObfBoard& board, std::string& error)
{
    TObfButton button;
    button.Id = std::to_string(number);
    const std::wstring fileName = GetFileNamePart(picture);
    const std::size_t dot = fileName.rfind(L'.');
    const std::wstring nameText =
        fileName.substr(6, dot == std::wstring::npos || dot < 6 ? std::wstring::npos : dot - 6);
    button.NameText = platform::ToUtf8(nameText);

    const std::string extension = ExtensionOf(picture);
    TObfMedia image;
    image.Id = "i" + std::to_string(m_nFiles + 1);
    image.Path = AddFile(picture, "images", extension == ".bmp", error);
    if (image.Path.empty())
        return false;
    image.ContentType = ContentType(extension);
    platform::PictureSize(picture, image.Width, image.Height);
    button.ImageId = image.Id;
    board.Images[image.Id] = image;

    // The label is what the board writes on the picture, else the name's text.
    const std::wstring base = picture.substr(0, picture.rfind(L'.'));
    const std::wstring caption = FirstFile(base, { Rules::CaptionExtension });
    if (!caption.empty()) {
        button.CaptionPath = AddFile(caption, "captions", true, error);
        if (button.CaptionPath.empty())
            return false;
        std::wstring text = CTQImageButton::ReadText(caption);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
            text.pop_back();
        button.Label = platform::ToUtf8(text);
    } else {
        button.Label = Trimmed(platform::ToUtf8(nameText));
    }

    const std::wstring sound = CTQImageButton::FindSoundPath(picture);
    if (!sound.empty()) {
        const std::wstring real = platform::ResolvePath(sound);
        TObfMedia media;
        media.Id = "s" + std::to_string(m_nFiles + 1);
        media.Path = AddFile(real, "sounds", ExtensionOf(real) == ".wav", error);
        if (media.Path.empty())
            return false;
        media.ContentType = ContentType(ExtensionOf(real));
        button.SoundId = media.Id;
        board.Sounds[media.Id] = media;
    }

    // Every companion the picture has travels, also one the board would not start because
    // another comes first: the round trip keeps the folder as it was.
    std::wstring shortcut;
    std::wstring media;
    std::wstring web;
    for (const Rules::TCompanion& companion : Rules::Companions()) {
        const std::wstring stem = folder + L"/" + Numbered(companion.Letter, number);
        const std::vector<const wchar_t*> extensions(
            companion.Extensions, companion.Extensions + companion.ExtensionCount);
        const std::wstring found = FirstFile(stem, extensions);
        if (companion.Activity == Rules::TActivity::Program)
            shortcut = found;
        if (companion.Activity == Rules::TActivity::Media)
            media = found;
        if (companion.Activity == Rules::TActivity::WebAddress)
            web = found;
    }
    if (!shortcut.empty() &&
        (button.ShortcutPath = AddFile(shortcut, "programs", true, error)).empty())
        return false;
    if (!media.empty() && (button.MediaPath = AddFile(media, "media", false, error)).empty())
        return false;
    if (!web.empty()) {
        if ((button.WebAddressPath = AddFile(web, "addresses", true, error)).empty())
            return false;
        std::string address;
        platform::ReadFileBytes(web, Rules::WebAddressBytes, address);
        address = Trimmed(platform::ToUtf8(platform::DecodeText8(address)));
        if (address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0)
            button.Url = address;
    }
    board.Buttons.push_back(std::move(button));
    ++m_Result.Pictures;
    return true;
}

bool CTQObfExport::AddCommonFiles(const std::wstring& contentFolder, TObfManifest& manifest,
                                  std::string& error)
{
    std::vector<std::wstring> names;
    for (std::size_t i = 0; i < Rules::AnswerBarWords.size(); ++i)
        names.push_back(Rules::AnswerBarSound(i));
    names.push_back(Rules::ChosenInScanSound);
    names.push_back(Rules::WebBrowserShortcut);
    for (const std::wstring& name : names) {
        const std::wstring path = contentFolder + L"/" + name;
        if (!CanOpenFile(path))
            continue;
        const std::string added = AddFile(platform::ResolvePath(path), "common", true, error);
        if (added.empty())
            return false;
        manifest.CommonFiles[platform::ToUtf8(name)] = added;
    }
    return true;
}

void CTQObfExport::Print(const std::wstring& contentFolder, const std::wstring& file,
                         const TObfExportResult& result, std::FILE* out)
{
    if (result.ExitCode != 0) {
        std::fprintf(out, "orlido: %s\n", result.Error.c_str());
        return;
    }
    std::fprintf(out, "Exported %s into %s: %d boards, %d pictures.\n",
                 platform::ToUtf8(contentFolder).c_str(), platform::ToUtf8(file).c_str(),
                 result.Boards, result.Pictures);
    for (const std::string& note : result.Notes)
        std::fprintf(out, "%s\n", note.c_str());
}
