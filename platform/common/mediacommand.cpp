#include "platform/common/mediacommand.h"

#include <cwctype>
#include <vector>

namespace platform {
namespace {

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

// Words split at spaces; a word that starts with a double quote runs to the next one and
// may hold spaces. False for an unclosed quote.
bool SplitWords(const std::wstring& text, std::vector<std::wstring>& words)
{
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == L' ' || text[at] == L'\t') {
            ++at;
            continue;
        }
        if (text[at] == L'"') {
            const std::size_t end = text.find(L'"', at + 1);
            if (end == std::wstring::npos)
                return false;
            words.push_back(text.substr(at + 1, end - at - 1));
            at = end + 1;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && text[end] != L' ' && text[end] != L'\t')
            ++end;
        words.push_back(text.substr(at, end - at));
        at = end;
    }
    return true;
}

}  // namespace

bool ParseMediaCommand(const std::wstring& text, MediaCommand& command)
{
    std::vector<std::wstring> words;
    if (!SplitWords(text, words) || words.size() < 2)
        return false;

    MediaCommand parsed;
    parsed.verb = Lower(words[0]);
    parsed.device = words[1];
    for (std::size_t i = 2; i < words.size(); i += 2) {
        if (i + 1 >= words.size())
            return false;
        const std::wstring key = Lower(words[i]);
        if (key == L"type")
            parsed.type = words[i + 1];
        else if (key == L"alias")
            parsed.alias = words[i + 1];
        else
            return false;
    }
    if (parsed.verb != L"open")
        parsed.alias = parsed.device;
    else if (parsed.alias.empty())
        parsed.alias = parsed.device;
    command = parsed;
    return true;
}

}  // namespace platform
