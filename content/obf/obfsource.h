// The file an import reads: one board (.obf) or a package (.obz or .zip, told apart by its
// first bytes, not its name). It opens the first board, follows `load_board` links to the
// package's other boards (each read once, on first use) and hands out the bytes of images,
// sounds and this program's own files, each within its limit.
#pragma once

#include "content/obf/obfboard.h"
#include "content/obf/obffetch.h"
#include "content/obf/obfzipreader.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CTQObfSource {
public:
    // False with a one-line reason when the file is missing, broken or breaks a limit: not
    // JSON, not a board, a damaged zip, a manifest naming boards the package lacks.
    bool Open(const std::wstring& file, std::string& error);
    bool OpenBytes(std::string bytes, std::string& error);

    // How images and sounds given only by a web address are fetched; none by default.
    void SetFetcher(TObfFetcher fetcher) { m_Fetcher = std::move(fetcher); }

    const TObfBoard& Root() const { return *m_pRoot; }
    bool IsPackage() const { return m_bPackage; }
    const TObfManifest& Manifest() const { return m_Manifest; }

    // The board a link leads to; nullptr with the reason when it cannot be followed.
    const TObfBoard* Follow(const TObfLink& link, std::string& why);
    // The bytes of an image or sound (data, then path, then url), within the media limit.
    bool MediaBytes(const TObfMedia& media, std::string& bytes, std::string& contentType,
                    std::string& why);
    // The paths of the manifest's boards that are not among used.
    std::vector<std::string> BoardsNotIn(const std::vector<const TObfBoard*>& used) const;
    // A file of the package, within maxBytes.
    bool ReadFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                  std::string& why);

private:
    bool OpenPackage(std::string& error);
    const TObfBoard* Load(const std::string& path, std::string& why);

    CTQObfZipReader m_Zip;
    bool m_bPackage = false;
    TObfManifest m_Manifest;
    const TObfBoard* m_pRoot = nullptr;
    std::map<std::string, std::unique_ptr<TObfBoard>> m_Boards;  // by normalised path
    std::map<std::string, std::string> m_Broken;                 // path -> why
    TObfFetcher m_Fetcher;
};
