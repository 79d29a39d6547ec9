#include "content/obf/obfsource.h"

#include "content/obf/obfdataurl.h"
#include "content/obf/obfjson.h"
#include "platform/files.h"

#include <algorithm>

namespace {

constexpr const char* kManifest = "manifest.json";

bool IsZip(std::string_view bytes)
{
    return bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4) ||
        bytes.substr(0, 4) == std::string_view("PK\x05\x06", 4);
}

std::string Quoted(const std::string& text)
{
    return "\"" + text.substr(0, 80) + "\"";
}

}  // namespace

bool CTQObfSource::Open(const std::wstring& file, std::string& error)
{
    std::string head;
    if (!platform::IsFile(file) || !platform::ReadFileBytes(file, 4, head)) {
        error = "cannot be read";
        return false;
    }
    if (IsZip(head)) {
        if (!m_Zip.Open(file, error))
            return false;
        return OpenPackage(error);
    }
    std::string bytes;
    platform::ReadFileBytes(file, TObfLimits::MaxJsonBytes + 1, bytes);
    return OpenBytes(std::move(bytes), error);
}

bool CTQObfSource::OpenBytes(std::string bytes, std::string& error)
{
    if (IsZip(bytes)) {
        if (!m_Zip.OpenBytes(std::move(bytes), error))
            return false;
        return OpenPackage(error);
    }
    auto board = std::make_unique<TObfBoard>();
    if (!CTQObfJson::ReadBoard(bytes, *board, error))
        return false;
    m_pRoot = board.get();
    m_Boards.emplace("", std::move(board));
    return true;
}

bool CTQObfSource::OpenPackage(std::string& error)
{
    m_bPackage = true;
    if (m_Zip.Has(kManifest)) {
        std::string text;
        if (!m_Zip.Read(kManifest, TObfLimits::MaxJsonBytes, text, error))
            return false;
        if (!CTQObfJson::ReadManifest(text, m_Manifest, error)) {
            error = "manifest.json: " + error;
            return false;
        }
    } else {
        // Without a manifest, a package of exactly one board is that board.
        for (const std::string& name : m_Zip.Names()) {
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".obf") == 0) {
                if (!m_Manifest.Root.empty()) {
                    error = "the package has no manifest.json and more than one board";
                    return false;
                }
                m_Manifest.Root = name;
            }
        }
        if (m_Manifest.Root.empty()) {
            error = "the package has no manifest.json and no board";
            return false;
        }
    }
    for (const auto& [id, path] : m_Manifest.Boards) {
        if (!m_Zip.Has(path)) {
            error = "the manifest names board " + Quoted(id) + " at " + Quoted(path) +
                ", which is not in the package";
            return false;
        }
    }
    if (!m_Zip.Has(m_Manifest.Root)) {
        error = "the manifest's first board " + Quoted(m_Manifest.Root) + " is not in the package";
        return false;
    }
    std::string why;
    m_pRoot = Load(m_Manifest.Root, why);
    if (!m_pRoot) {
        error = why;
        return false;
    }
    return true;
}

const TObfBoard* CTQObfSource::Load(const std::string& path, std::string& why)
{
    const std::string key = CTQObfZipReader::Normalise(path);
    if (const auto found = m_Boards.find(key); found != m_Boards.end())
        return found->second.get();
    if (const auto broken = m_Broken.find(key); broken != m_Broken.end()) {
        why = broken->second;
        return nullptr;
    }
    std::string text;
    auto board = std::make_unique<TObfBoard>();
    if (!m_Zip.Read(key, TObfLimits::MaxJsonBytes, text, why) ||
        !CTQObfJson::ReadBoard(text, *board, why)) {
        why = key + ": " + why;
        m_Broken[key] = why;
        return nullptr;
    }
    return m_Boards.emplace(key, std::move(board)).first->second.get();
}

const TObfBoard* CTQObfSource::Follow(const TObfLink& link, std::string& why)
{
    if (!m_bPackage) {
        why = "it links to another board, which a single board file does not hold";
        return nullptr;
    }
    if (!link.Path.empty() && m_Zip.Has(link.Path))
        return Load(link.Path, why);
    if (const auto found = m_Manifest.Boards.find(link.Id);
        !link.Id.empty() && found != m_Manifest.Boards.end())
        return Load(found->second, why);
    if (link.Path.empty() && link.Id.empty() && (!link.Url.empty() || !link.DataUrl.empty()))
        why = "it links to a board on the web, which is not fetched";
    else
        why = "it links to board " + Quoted(link.Path.empty() ? link.Id : link.Path) +
            ", which is not in the package";
    return nullptr;
}

bool CTQObfSource::MediaBytes(const TObfMedia& media, std::string& bytes, std::string& contentType,
                              std::string& why)
{
    contentType = media.ContentType;
    if (!media.Data.empty())
        return CTQObfDataUrl::Decode(media.Data, contentType, bytes, why);
    if (!media.Path.empty()) {
        if (!m_bPackage) {
            why = "its file " + Quoted(media.Path) + " is outside the board file";
            return false;
        }
        return ReadFile(media.Path, TObfLimits::MaxMediaBytes, bytes, why);
    }
    if (!media.Url.empty()) {
        if (CTQObfDataUrl::IsDataUrl(media.Url))
            return CTQObfDataUrl::Decode(media.Url, contentType, bytes, why);
        std::string reason = "no fetching here";
        if (m_Fetcher && m_Fetcher(media.Url, TObfLimits::MaxMediaBytes, bytes, reason))
            return true;
        why = "it is on the web (" + media.Url.substr(0, 80) + ") and was not fetched: " + reason;
        return false;
    }
    why = media.HasSymbol ? "it is from a symbol set that is not in the file" : "it has no data";
    return false;
}

bool CTQObfSource::ReadFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                            std::string& why)
{
    if (!m_bPackage) {
        why = Quoted(path) + " is outside the board file";
        return false;
    }
    return m_Zip.Read(path, maxBytes, bytes, why);
}

std::vector<std::string> CTQObfSource::BoardsNotIn(const std::vector<const TObfBoard*>& used) const
{
    std::vector<std::string> left;
    for (const auto& [id, path] : m_Manifest.Boards) {
        const auto loaded = m_Boards.find(CTQObfZipReader::Normalise(path));
        if (loaded == m_Boards.end() ||
            std::find(used.begin(), used.end(), loaded->second.get()) == used.end())
            left.push_back(path);
    }
    return left;
}
