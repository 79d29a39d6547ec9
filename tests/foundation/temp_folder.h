// A scratch folder for one test, removed with everything in it when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/files.h"

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orlido-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            Root = pattern;
        }
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(Root, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Writes bytes to a path relative to the folder, making the folders on the way.
    std::wstring Write(const std::string& relative, std::string_view bytes) const
    {
        const std::filesystem::path path = Root / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return platform::FromUtf8(path.string());
    }
    std::wstring MakeFolder(const std::string& relative) const
    {
        std::filesystem::create_directories(Root / relative);
        return platform::FromUtf8((Root / relative).string());
    }
    std::wstring Path(const std::string& relative = "") const
    {
        return platform::FromUtf8((relative.empty() ? Root : Root / relative).string());
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream stream(Root / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(stream),
                           std::istreambuf_iterator<char>());
    }

    std::filesystem::path Root;
};

// Makes the folder the working directory for the life of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& folder)
        : Saved(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~WorkingDirectory() { std::filesystem::current_path(Saved); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path Saved;
};
