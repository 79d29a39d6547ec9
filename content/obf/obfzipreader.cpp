#include "content/obf/obfzipreader.h"

#include "content/obf/obfboard.h"
#include "platform/files.h"

#include <zip.h>

#include <sys/stat.h>

namespace {

std::string ZipError(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

bool IsLink(zip_t* archive, zip_uint64_t index)
{
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        return false;
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

}  // namespace

CTQObfZipReader::CTQObfZipReader() = default;

CTQObfZipReader::~CTQObfZipReader()
{
    Close();
}

void CTQObfZipReader::Close()
{
    if (m_pZip)
        zip_discard(m_pZip);
    m_pZip = nullptr;
    m_Entries.clear();
}

bool CTQObfZipReader::Open(const std::wstring& path, std::string& error)
{
    Close();
    int code = 0;
    m_pZip = zip_open(platform::ToUtf8(path).c_str(), ZIP_RDONLY, &code);
    if (!m_pZip) {
        error = "not a readable zip package: " + ZipError(code);
        return false;
    }
    return CheckEntries(error);
}

bool CTQObfZipReader::OpenBytes(std::string bytes, std::string& error)
{
    Close();
    m_Bytes = std::move(bytes);
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_buffer_create(m_Bytes.data(), m_Bytes.size(), 0, &zipError);
    if (source)
        m_pZip = zip_open_from_source(source, ZIP_RDONLY, &zipError);
    if (!m_pZip) {
        error = std::string("not a readable zip package: ") + zip_error_strerror(&zipError);
        if (source)
            zip_source_free(source);
        zip_error_fini(&zipError);
        return false;
    }
    zip_error_fini(&zipError);
    return CheckEntries(error);
}

bool CTQObfZipReader::CheckEntries(std::string& error)
{
    const zip_int64_t count = zip_get_num_entries(m_pZip, 0);
    if (count < 0 || std::uint64_t(count) > TObfLimits::MaxEntries) {
        error = "refused: more than " + std::to_string(TObfLimits::MaxEntries) +
            " files in the package";
        Close();
        return false;
    }
    std::uint64_t unpacked = 0;
    for (zip_uint64_t i = 0; i < zip_uint64_t(count); ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(m_pZip, i, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME)) {
            error = "damaged: entry " + std::to_string(i + 1) + " cannot be read";
            Close();
            return false;
        }
        const std::string name = stat.name;
        if (!IsSafeName(name)) {
            error = "refused: the entry \"" + name.substr(0, 80) +
                "\" would be unpacked outside its folder";
            Close();
            return false;
        }
        if (IsLink(m_pZip, i)) {
            error = "refused: the entry \"" + name.substr(0, 80) + "\" is a symbolic link";
            Close();
            return false;
        }
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
            error = "refused: the entry \"" + name.substr(0, 80) + "\" is encrypted";
            Close();
            return false;
        }
        unpacked += stat.size;
        if (unpacked > TObfLimits::MaxUnpackedBytes) {
            error = "refused: the package unpacks to more than " +
                std::to_string(TObfLimits::MaxUnpackedBytes / (1024 * 1024)) + " MiB";
            Close();
            return false;
        }
        if (stat.size >= TObfLimits::RatioCheckedFrom &&
            stat.size / std::max<zip_uint64_t>(stat.comp_size, 1) > TObfLimits::MaxRatio) {
            error = "refused: the entry \"" + name.substr(0, 80) + "\" unpacks to more than " +
                std::to_string(TObfLimits::MaxRatio) + " times its packed size";
            Close();
            return false;
        }
        if (!name.empty() && name.back() != '/')
            m_Entries.emplace(Normalise(name), i);
    }
    return true;
}

std::string CTQObfZipReader::Normalise(std::string_view name)
{
    std::string normal;
    std::string part;
    const auto flush = [&] {
        if (!part.empty() && part != ".")
            normal += (normal.empty() ? "" : "/") + part;
        part.clear();
    };
    for (const char c : name) {
        if (c == '/' || c == '\\')
            flush();
        else
            part.push_back(c);
    }
    flush();
    return normal;
}

bool CTQObfZipReader::IsSafeName(std::string_view name)
{
    if (name.empty() || name.front() == '/' || name.front() == '\\')
        return false;
    if (name.size() >= 2 && name[1] == ':')
        return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && static_cast<unsigned char>(name[i]) < 0x20)
            return false;
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            if (name.substr(start, i - start) == "..")
                return false;
            start = i + 1;
        }
    }
    return true;
}

bool CTQObfZipReader::Has(std::string_view name) const
{
    return m_Entries.count(Normalise(name)) > 0;
}

std::vector<std::string> CTQObfZipReader::Names() const
{
    std::vector<std::string> names;
    for (const auto& [name, index] : m_Entries)
        names.push_back(name);
    return names;
}

std::uint64_t CTQObfZipReader::Size(std::string_view name) const
{
    const auto found = m_Entries.find(Normalise(name));
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (found == m_Entries.end() || zip_stat_index(m_pZip, found->second, 0, &stat) != 0)
        return 0;
    return stat.size;
}

bool CTQObfZipReader::Read(std::string_view name, std::size_t maxBytes, std::string& bytes,
                           std::string& error)
{
    bytes.clear();
    const auto found = m_Entries.find(Normalise(name));
    if (!m_pZip || found == m_Entries.end()) {
        error = "\"" + std::string(name.substr(0, 80)) + "\" is not in the package";
        return false;
    }
    const std::uint64_t declared = Size(name);
    if (declared > maxBytes) {
        error = "\"" + std::string(name.substr(0, 80)) + "\" is larger than " +
            std::to_string(maxBytes) + " bytes";
        return false;
    }
    zip_file_t* file = zip_fopen_index(m_pZip, found->second, 0);
    if (!file) {
        error = "\"" + std::string(name.substr(0, 80)) +
            "\" cannot be unpacked: " + zip_strerror(m_pZip);
        return false;
    }
    bytes.resize(std::size_t(declared));
    std::size_t total = 0;
    char extra = 0;
    bool ok = true;
    while (total < bytes.size()) {
        const zip_int64_t got = zip_fread(file, bytes.data() + total, bytes.size() - total);
        if (got <= 0) {
            ok = false;
            break;
        }
        total += std::size_t(got);
    }
    // Nothing may follow the declared size.
    if (ok && zip_fread(file, &extra, 1) != 0)
        ok = false;
    if (!ok)
        error =
            "\"" + std::string(name.substr(0, 80)) + "\" is damaged: " + zip_file_strerror(file);
    zip_fclose(file);
    if (!ok)
        bytes.clear();
    return ok;
}
