#include "content/contentsettings.h"

#include "platform/files.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Rules = CTQContentRules;

// The words of a line as the board's reader splits them (spaces and line ends).
std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : line + " ") {
        if (c == ' ' || c == '\r' || c == '\n') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

bool NamesAKeySet(const std::string& line, const CTQContentSettings::TValues& values)
{
    for (const std::string& word : Words(line)) {
        const Rules::TSetting* setting = Rules::FindSetting(platform::DecodeText8(word));
        if (setting != nullptr && values.count(setting->Key) != 0)
            return true;
    }
    return false;
}

}  // namespace

std::string CTQContentSettings::Text(const std::string& existing, const TValues& values)
{
    std::string old = existing;
    // A byte-order mark hides the first key from the board's reader.
    if (old.rfind("\xEF\xBB\xBF", 0) == 0)
        old.erase(0, 3);
    std::string text;
    std::size_t start = 0;
    while (start < old.size()) {
        std::size_t end = old.find('\n', start);
        end = end == std::string::npos ? old.size() : end + 1;
        std::string line = old.substr(start, end - start);
        start = end;
        if (NamesAKeySet(line, values))
            continue;
        if (line.back() != '\n')
            line += '\n';
        text += line;
    }
    for (const Rules::TSetting& setting : Rules::Settings()) {
        const auto value = values.find(setting.Key);
        if (value == values.end())
            continue;
        text += platform::ToUtf8(std::wstring(setting.Name) + L" " + value->second) + "\n";
    }
    return text;
}

bool CTQContentSettings::Write(const std::wstring& path, const TValues& values)
{
    std::string existing;
    platform::ReadFileBytes(path, Rules::SetupFileBytes, existing);
    const std::string text = Text(existing, values);
    const std::string target = platform::ToUtf8(platform::ResolvePath(path));
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ignored);
    const std::string temp = target + ".orlido-new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}
