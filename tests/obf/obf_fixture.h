// Small Open Board Format fixtures for the import and export tests: packages written from a
// map of entries, tiny pictures and sounds made on the spot, a fake speech maker that records
// what it was asked to say, and the import run into a scratch folder.
#pragma once

#include "content/obf/obfimport.h"
#include "content/obf/obfzipwriter.h"
#include "platform/files.h"
#include "platform/pixels.h"
#include "tests/foundation/temp_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace obftest {

// A PNG of width x height whose pixel (x, y) is 0xFF000000 | (x * 40) << 16 | (y * 40) << 8 | seed.
inline std::string Png(int width, int height, int seed)
{
    platform::Image image;
    image.Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.Pixels()[y * width + x] = 0xFF000000u | std::uint32_t(x * 40) << 16 |
                std::uint32_t(y * 40) << 8 | std::uint32_t(seed);
    TempFolder folder;
    const std::wstring path = folder.Path("picture.png");
    platform::WritePng(image, path);
    return folder.Read("picture.png");
}

inline std::string Jpeg(int seed)
{
    platform::Image image;
    image.Create(16, 12);
    image.Fill(0xFF000000u | std::uint32_t(seed) * 0x010203u);
    std::string bytes;
    platform::EncodeJpeg(image, 90, bytes);
    return bytes;
}

// A WAV header and a few samples, different for each tag.
inline std::string Wav(const std::string& tag)
{
    return std::string("RIFF", 4) + std::string("\x30\0\0\0", 4) + "WAVE" + "fmt " + tag;
}

inline std::string Base64(const std::string& bytes)
{
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            n |= std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size())
            n |= std::uint32_t(static_cast<unsigned char>(bytes[i + 2]));
        text += alphabet[(n >> 18) & 63];
        text += alphabet[(n >> 12) & 63];
        text += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? alphabet[n & 63] : '=';
    }
    return text;
}

inline std::string DataUrl(const std::string& type, const std::string& bytes)
{
    return "data:" + type + ";base64," + Base64(bytes);
}

struct TSaid {
    std::string Text;
    std::string Locale;
};

// Records every request and writes a small WAV that names the text.
class FakeSpeech {
public:
    TObfSpeechMaker Maker()
    {
        return
            [this](const std::wstring& text, const std::string& locale, const std::wstring& path) {
                Said.push_back({ platform::ToUtf8(text), locale });
                if (OnSpeak)
                    OnSpeak();
                std::FILE* file = std::fopen(platform::ToUtf8(path).c_str(), "wb");
                if (!file)
                    return false;
                const std::string bytes = Wav(platform::ToUtf8(text));
                std::fwrite(bytes.data(), 1, bytes.size(), file);
                return std::fclose(file) == 0;
            };
    }
    bool Says(const std::string& text, const std::string& locale) const
    {
        for (const TSaid& said : Said)
            if (said.Text == text && said.Locale == locale)
                return true;
        return false;
    }
    std::vector<TSaid> Said;
    std::function<void()> OnSpeak;
};

class Fixture {
public:
    // Writes a package of the given entries; returns its path.
    std::wstring Package(const std::map<std::string, std::string>& entries,
                         const std::string& name = "board.obz")
    {
        const std::wstring path = Folder.Path(name);
        CTQObfZipWriter zip;
        std::string error;
        zip.Create(path, error);
        for (const auto& [entry, bytes] : entries)
            zip.AddBytes(entry, bytes, true, error);
        zip.Finish(error);
        return path;
    }
    std::wstring File(const std::string& name, const std::string& bytes)
    {
        return Folder.Write(name, bytes);
    }

    TObfImportResult Import(const std::wstring& file, const std::string& language = "",
                            bool replace = false)
    {
        TObfImportOptions options;
        options.File = file;
        options.Folder = Out();
        options.Replace = replace;
        options.Write.Speech = Speech.Maker();
        options.Write.Language = language;
        options.Write.BrowserCommand = "sh";
        options.Write.KeepPrograms = KeepPrograms;
        options.MaxPages = MaxPages;
        options.Fetch = Fetch;
        return CTQObfImport::Run(options);
    }

    std::wstring Out() const { return Folder.Path("out"); }
    std::filesystem::path OutPath() const { return Folder.Root / "out"; }
    bool Exists(const std::string& relative) const
    {
        return std::filesystem::exists(OutPath() / relative);
    }
    std::string Read(const std::string& relative) const { return Folder.Read("out/" + relative); }
    // The names in one of the imported folder's folders, sorted.
    std::vector<std::string> Names(const std::string& relative) const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(OutPath() / relative, ec))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Everything in the scratch folder's top level apart from the given names.
    std::vector<std::string> Leftovers(std::initializer_list<std::string> expected) const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Folder.Root)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                names.push_back(name);
        }
        return names;
    }

    TempFolder Folder;
    FakeSpeech Speech;
    TObfFetcher Fetch;  // none: nothing on the web is fetched
    int MaxPages = TObfLimits::MaxPages;
    bool KeepPrograms = false;  // the package's shortcuts are left out, as without --keep-programs
};

// Every file below root, by path relative to it, with its bytes.
inline std::map<std::string, std::string> Tree(const std::filesystem::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream stream(entry.path(), std::ios::binary);
        files[std::filesystem::relative(entry.path(), root).string()] =
            std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }
    return files;
}

}  // namespace obftest
