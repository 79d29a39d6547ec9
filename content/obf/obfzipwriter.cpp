#include "content/obf/obfzipwriter.h"

#include "platform/files.h"

#include <zip.h>

#include <cstdio>
#include <unistd.h>

CTQObfZipWriter::CTQObfZipWriter() = default;

CTQObfZipWriter::~CTQObfZipWriter()
{
    if (m_pZip) {
        zip_discard(m_pZip);
        std::remove(m_strTemporary.c_str());
    }
}

bool CTQObfZipWriter::Create(const std::wstring& target, std::string& error)
{
    m_strTarget = target;
    m_strTemporary = platform::ToUtf8(target) + ".part" + std::to_string(::getpid());
    int code = 0;
    m_pZip = zip_open(m_strTemporary.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!m_pZip) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, code);
        error = platform::ToUtf8(target) + ": cannot be written: " + zip_error_strerror(&zipError);
        zip_error_fini(&zipError);
        return false;
    }
    return true;
}

bool CTQObfZipWriter::Add(const std::string& name, zip_source* source, bool compress,
                          std::string& error)
{
    const zip_int64_t index =
        zip_file_add(m_pZip, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        error = std::string("cannot add to the package: ") + zip_strerror(m_pZip);
        return false;
    }
    zip_set_file_compression(m_pZip, zip_uint64_t(index), compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                             0);
    return true;
}

bool CTQObfZipWriter::AddBytes(const std::string& name, std::string bytes, bool compress,
                               std::string& error)
{
    m_Buffers.push_back(std::move(bytes));
    const std::string& kept = m_Buffers.back();
    zip_source_t* source = zip_source_buffer(m_pZip, kept.data(), kept.size(), 0);
    if (!source) {
        error = std::string("cannot add to the package: ") + zip_strerror(m_pZip);
        return false;
    }
    return Add(name, source, compress, error);
}

bool CTQObfZipWriter::AddFile(const std::string& name, const std::wstring& path, bool compress,
                              std::string& error)
{
    zip_source_t* source =
        zip_source_file(m_pZip, platform::ToUtf8(platform::ResolvePath(path)).c_str(), 0, -1);
    if (!source) {
        error = platform::ToUtf8(path) + ": cannot be read: " + zip_strerror(m_pZip);
        return false;
    }
    return Add(name, source, compress, error);
}

bool CTQObfZipWriter::Finish(std::string& error)
{
    if (zip_close(m_pZip) != 0) {
        error = platform::ToUtf8(m_strTarget) + ": cannot be written: " + zip_strerror(m_pZip);
        return false;
    }
    m_pZip = nullptr;
    m_Buffers.clear();
    if (std::rename(m_strTemporary.c_str(), platform::ToUtf8(m_strTarget).c_str()) != 0) {
        error = platform::ToUtf8(m_strTarget) + ": cannot be written";
        std::remove(m_strTemporary.c_str());
        return false;
    }
    return true;
}
