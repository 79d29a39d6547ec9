// Writes a zip package: entries from memory or from files, kept as they are (stored) when
// they are compressed already, deflated otherwise. The package is written to a temporary
// name beside the target and renamed into place by Finish, so an interrupted export never
// leaves half a package under the target's name.
#pragma once

#include <list>
#include <string>

struct zip;
struct zip_source;

class CTQObfZipWriter {
public:
    CTQObfZipWriter();
    ~CTQObfZipWriter();  // discards an unfinished package
    CTQObfZipWriter(const CTQObfZipWriter&) = delete;
    CTQObfZipWriter& operator=(const CTQObfZipWriter&) = delete;

    bool Create(const std::wstring& target, std::string& error);
    bool AddBytes(const std::string& name, std::string bytes, bool compress, std::string& error);
    bool AddFile(const std::string& name, const std::wstring& path, bool compress,
                 std::string& error);
    bool Finish(std::string& error);

private:
    // Adds the source under name (it is freed when it cannot be added), stored or deflated.
    bool Add(const std::string& name, zip_source* source, bool compress, std::string& error);

    zip* m_pZip = nullptr;
    std::wstring m_strTarget;
    std::string m_strTemporary;
    std::list<std::string> m_Buffers;  // alive until the package is written
};
