// Reads an Open Board Format package (.obz, a zip) from a stranger without trusting it. When
// the package is opened, every entry is checked and the whole package refused if one fails:
// a name with "..", an absolute name or a drive letter, a symbolic link, an encrypted entry,
// more entries than TObfLimits::MaxEntries, more unpacked bytes than MaxUnpackedBytes, or an
// entry above RatioCheckedFrom bytes that unpacks to more than MaxRatio times its packed
// size. Reading an entry stops at its declared size and at the caller's limit.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct zip;

class CTQObfZipReader {
public:
    CTQObfZipReader();
    ~CTQObfZipReader();
    CTQObfZipReader(const CTQObfZipReader&) = delete;
    CTQObfZipReader& operator=(const CTQObfZipReader&) = delete;

    // False with a one-line reason when the file is no zip, is damaged or breaks a limit.
    bool Open(const std::wstring& path, std::string& error);
    // The same over bytes in memory, which the reader keeps.
    bool OpenBytes(std::string bytes, std::string& error);

    // Entries are looked up by their normalised name (see Normalise).
    bool Has(std::string_view name) const;
    std::vector<std::string> Names() const;
    // The entry's bytes; false with a reason when it is missing, damaged or above maxBytes.
    bool Read(std::string_view name, std::size_t maxBytes, std::string& bytes, std::string& error);
    // The entry's unpacked size as the package declares it; 0 when missing.
    std::uint64_t Size(std::string_view name) const;

    // "./a\b//c" -> "a/b/c": the form names are compared in. Nothing else is resolved.
    static std::string Normalise(std::string_view name);
    // Whether a name may be unpacked anywhere: not empty, not absolute, no drive letter, no
    // ".." part, no control character.
    static bool IsSafeName(std::string_view name);

private:
    bool CheckEntries(std::string& error);
    void Close();

    zip* m_pZip = nullptr;
    std::string m_Bytes;
    std::map<std::string, std::uint64_t> m_Entries;  // normalised name -> index
};
