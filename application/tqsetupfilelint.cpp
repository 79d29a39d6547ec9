#include "application/tqsetupfilelint.h"

#include "application/tqsetupfileparser.h"
#include "content/contentrules.h"
#include "platform/files.h"
#include "superlibraries/tqstandard/tqlanguage.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"

#include <algorithm>
#include <array>
#include <climits>

namespace {

// The bytes read beyond the parser's limit, to tell what the limit cuts off.
constexpr std::size_t kLookBeyondBytes = 64 * 1024;
// A blink period below this makes the half-period timer tick faster than timers can.
constexpr int kFastestBlinkPeriod = 20;

using TKey = CTQContentRules::TSettingKey;

const wchar_t* KeyName(TKey key)
{
    return CTQContentRules::SettingOf(key).Name;
}

struct TWord {
    std::wstring Text;
    bool AfterMark = false;     // begins right after a byte-order mark
    bool Unterminated = false;  // runs to the end of the text: the parser drops it
    bool Beyond = false;        // reaches the parser's byte limit: the parser never sees it whole
};

bool IsSeparator(wchar_t c)
{
    return c == L' ' || c == L'\r' || c == L'\n';
}

bool IsKey(const std::wstring& word)
{
    return CTQContentRules::FindSetting(word) != nullptr;
}

std::size_t EditDistance(const std::wstring& a, const std::wstring& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The key a "#"-word was meant to be: the same letters in another case, a key followed by a
// tab and more, or a key with one or two letters wrong. Empty when it looks like no key.
std::wstring MeantKey(const std::wstring& word)
{
    const std::wstring head = UpperCase(word.substr(0, word.find(L'\t')));
    for (const CTQContentRules::TSetting& setting : CTQContentRules::Settings()) {
        if (head == setting.Name)
            return setting.Name;
    }
    if (head.size() > 64)
        return {};
    for (const CTQContentRules::TSetting& setting : CTQContentRules::Settings()) {
        if (EditDistance(head, setting.Name) <= 2)
            return setting.Name;
    }
    return {};
}

// "%d" as the parser reads it; false when the word does not begin with a number.
bool ReadNumber(const std::wstring& word, int& value, bool& whole)
{
    std::size_t i = 0;
    while (i < word.size() && (word[i] == L' ' || (word[i] >= L'\t' && word[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < word.size() && (word[i] == L'+' || word[i] == L'-'))
        negative = word[i++] == L'-';
    if (i >= word.size() || word[i] < L'0' || word[i] > L'9')
        return false;
    long long number = 0;
    for (; i < word.size() && word[i] >= L'0' && word[i] <= L'9'; ++i)
        number = std::min(number * 10 + (word[i] - L'0'), static_cast<long long>(INT_MAX) + 1);
    if (negative)
        number = -number;
    value = static_cast<int>(
        std::clamp(number, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
    whole = i == word.size();
    return true;
}

bool IsUtf16(const std::string& bytes, bool& bigEndian)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 &&
        ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == 0xFE && at(1) == 0xFF))) {
        bigEndian = at(0) == 0xFE;
        return true;
    }
    // Without a mark: text whose first characters are ASCII with a zero byte beside each.
    if (bytes.size() < 4)
        return false;
    if (at(0) != 0 && at(1) == 0 && at(2) != 0 && at(3) == 0) {
        bigEndian = false;
        return true;
    }
    if (at(0) == 0 && at(1) != 0 && at(2) == 0 && at(3) != 0) {
        bigEndian = true;
        return true;
    }
    return false;
}

std::wstring DecodeUtf16(const std::string& bytes, bool bigEndian)
{
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned high = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        const unsigned low = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const wchar_t c = static_cast<wchar_t>(high << 8 | low);
        if (c == 0xFEFF && i < 2)
            continue;
        // Surrogate halves are kept apart: only the ASCII keys and numbers matter here.
        text += (c >= 0xD800 && c <= 0xDFFF) ? L'?' : c;
    }
    return text;
}

// Every word of the text, the last one too, with separators as the parser has them. The
// parser sees only the first limit characters (npos: all).
std::vector<TWord> SplitWords(const std::wstring& text, bool markBefore,
                              std::size_t limit = std::wstring::npos)
{
    std::vector<TWord> words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < text.size() && !IsSeparator(text[i]))
            ++i;
        words.push_back({ text.substr(start, i - start), markBefore && start == 0, i == text.size(),
                          i >= limit });
    }
    return words;
}

// The parser's walk over the words, with the words it loses kept and reported.
class TWalk {
public:
    explicit TWalk(std::vector<TSetupFinding>& findings) : m_Findings(findings) { }

    void Run(const std::vector<TWord>& words)
    {
        for (std::size_t i = 0; i < words.size(); ++i) {
            const TWord& word = words[i];
            const std::wstring next =
                i + 1 < words.size() && words[i + 1].Text.front() != L'#' ? words[i + 1].Text : L"";
            if (word.Text.front() == L'#') {
                OnHashWord(word, next);
            } else if (!m_strKey.empty() && !m_bKeyLost) {
                OnValue(word);
            }
        }
    }

    // The values read for a key; key must be one of the content rules' settings.
    std::vector<std::wstring>& Values(const std::wstring& key)
    {
        return m_Values[static_cast<std::size_t>(CTQContentRules::FindSetting(key)->Key)];
    }

private:
    void OnHashWord(const TWord& word, const std::wstring& next)
    {
        m_strKey.clear();
        m_bKeyLost = false;
        if (IsKey(word.Text)) {
            if (word.Unterminated && !word.Beyond)
                return;  // a key without values loses nothing
            m_strKey = word.Text;
            if (word.AfterMark || word.Beyond) {
                m_bKeyLost = true;
                const auto kind =
                    word.Beyond ? TSetupFindingKind::CutByLimit : TSetupFindingKind::ByteOrderMark;
                m_Findings.push_back({ kind, word.Text, next, 0, word.Text });
            }
            return;
        }
        const std::wstring meant = MeantKey(word.Text);
        if (!meant.empty()) {
            const std::size_t tab = word.Text.find(L'\t');
            const std::wstring value = tab != std::wstring::npos ? word.Text.substr(tab + 1) : next;
            m_Findings.push_back({ TSetupFindingKind::MisspeltKey, meant, value, 0, word.Text });
        } else if (word.Text.size() > 1) {
            m_Findings.push_back({ TSetupFindingKind::UnknownWord, L"", word.Text, 0, word.Text });
        }
    }

    // A lost value matters only when it would have been the key's first: later ones are
    // not used anyway.
    void OnValue(const TWord& word)
    {
        if (word.Unterminated || word.Beyond) {
            const auto kind =
                word.Beyond ? TSetupFindingKind::CutByLimit : TSetupFindingKind::LostLastWord;
            if (Values(m_strKey).empty())
                m_Findings.push_back({ kind, m_strKey, word.Text, 0, word.Text });
            m_bKeyLost = true;
            return;
        }
        Values(m_strKey).push_back(word.Text);
    }

    std::vector<TSetupFinding>& m_Findings;
    std::wstring m_strKey;
    bool m_bKeyLost = false;
    std::array<std::vector<std::wstring>, CTQContentRules::SettingCount> m_Values;
};

void CheckMode(const std::vector<std::wstring>& values, std::vector<TSetupFinding>& findings)
{
    if (values.empty())
        return;
    const std::wstring& mode = values.front();
    const std::wstring scan = CTQContentRules::ScanMode;
    if (mode != scan && UpperCase(mode) == UpperCase(scan)) {
        findings.push_back(
            { TSetupFindingKind::ModeWrongCase, KeyName(TKey::MainMode), mode, 0, mode });
    } else if (mode != scan && mode != CTQContentRules::StandardMode) {
        findings.push_back(
            { TSetupFindingKind::UnknownMode, KeyName(TKey::MainMode), mode, 0, mode });
    }
}

void CheckNumber(const CTQContentRules::TSetting& setting, const std::vector<std::wstring>& values,
                 std::vector<TSetupFinding>& findings)
{
    if (values.empty())
        return;
    const std::wstring key = setting.Name;
    const std::wstring& word = values.front();
    const int fallback = CTQContentRules::CorrectedTime(setting.Key, -1);
    int value = -1;
    bool whole = true;
    if (!ReadNumber(word, value, whole)) {
        findings.push_back({ TSetupFindingKind::NotANumber, key, word, fallback, word });
        return;
    }
    if (value < 0) {
        findings.push_back({ TSetupFindingKind::NegativeCorrected, key, word, fallback, word });
        return;
    }
    if (!whole)
        findings.push_back({ TSetupFindingKind::NumberCut, key, word, value, word });
    if (setting.Key == TKey::BlinkPeriod && value < kFastestBlinkPeriod)
        findings.push_back({ TSetupFindingKind::TooFast, key, word, value, word });
}

// A choice key takes its words exactly so; any other word leaves the board as without it.
void CheckChoice(const CTQContentRules::TSetting& setting, const std::vector<std::wstring>& values,
                 std::vector<TSetupFinding>& findings)
{
    if (values.empty())
        return;
    const std::wstring& word = values.front();
    if (word != setting.Choices[0] && word != setting.Choices[1])
        findings.push_back({ TSetupFindingKind::UnknownChoice, setting.Name, word, 0, word });
}

// Every value of #APPEARANCE is kept; of the other keys only the first counts.
void CheckLaterValues(const CTQContentRules::TSetting& setting,
                      const std::vector<std::wstring>& values, std::vector<TSetupFinding>& findings)
{
    if (values.size() > 1 && setting.Key != TKey::Appearance)
        findings.push_back(
            { TSetupFindingKind::LaterValueIgnored, setting.Name, values[1], 0, values.front() });
}

}  // namespace

CTQSetupFileLint::CTQSetupFileLint(const std::wstring& FileName)
{
    std::string bytes;
    if (platform::ReadFileBytes(FileName, CTQSetupFileParser::MaxFileBytes + kLookBeyondBytes,
                                bytes))
        Findings = Analyse(bytes);
}

std::vector<TSetupFinding> CTQSetupFileLint::Analyse(const std::string& bytes)
{
    std::vector<TSetupFinding> findings;
    bool bigEndian = false;
    if (IsUtf16(bytes, bigEndian)) {
        TWalk walk(findings);
        // Its last word counts as ended: the file is lost as a whole, not word by word.
        walk.Run(SplitWords(DecodeUtf16(bytes, bigEndian) + L"\n", false));
        // Every key it would have read is lost; what the walk found stands for nothing.
        std::vector<TSetupFinding> lost;
        for (const CTQContentRules::TSetting& setting : CTQContentRules::Settings()) {
            for (const std::wstring& value : walk.Values(setting.Name))
                lost.push_back({ TSetupFindingKind::Utf16, setting.Name, value, 0, setting.Name });
        }
        if (lost.empty())
            lost.push_back({ TSetupFindingKind::Utf16, L"", L"", 0, L"" });
        return lost;
    }

    // The parser reads up to the first NUL, and no further than its byte limit; the words
    // that reach the limit are read here to say what it cuts off.
    const std::string all = bytes.substr(0, bytes.find('\0'));
    const bool cut = all.size() > CTQSetupFileParser::MaxFileBytes;
    const bool mark = all.rfind("\xEF\xBB\xBF", 0) == 0;
    const auto decode = [mark](const std::string& part) {
        std::wstring text = platform::DecodeText8(part);
        if (mark)
            text.erase(0, text.rfind(L"\uFEFF", 0) == 0 ? 1 : 3);
        return text;
    };
    const std::size_t limit =
        cut ? decode(all.substr(0, CTQSetupFileParser::MaxFileBytes)).size() : std::wstring::npos;

    TWalk walk(findings);
    walk.Run(SplitWords(decode(all), mark, limit));
    CheckMode(walk.Values(KeyName(TKey::MainMode)), findings);
    for (const CTQContentRules::TSetting& setting : CTQContentRules::Settings()) {
        if (CTQContentRules::IsNumber(setting))
            CheckNumber(setting, walk.Values(setting.Name), findings);
        if (setting.Value == CTQContentRules::TSettingValue::Choice)
            CheckChoice(setting, walk.Values(setting.Name), findings);
        CheckLaterValues(setting, walk.Values(setting.Name), findings);
    }
    return findings;
}

bool CTQSetupFileLint::IsLost(TSetupFindingKind kind)
{
    switch (kind) {
    case TSetupFindingKind::Utf16:
    case TSetupFindingKind::ByteOrderMark:
    case TSetupFindingKind::LostLastWord:
    case TSetupFindingKind::CutByLimit:
    case TSetupFindingKind::MisspeltKey:
    case TSetupFindingKind::ModeWrongCase:
        return true;
    default:
        return false;
    }
}

bool CTQSetupFileLint::IsProblem(TSetupFindingKind kind)
{
    return IsLost(kind) || kind == TSetupFindingKind::UnknownMode ||
        kind == TSetupFindingKind::NegativeCorrected || kind == TSetupFindingKind::NotANumber ||
        kind == TSetupFindingKind::UnknownChoice;
}

namespace {

bool IsCount(const std::wstring& key)
{
    const CTQContentRules::TSetting* setting = CTQContentRules::FindSetting(key);
    return setting && setting->Value == CTQContentRules::TSettingValue::Count;
}

std::wstring Setting(const TSetupFinding& f)
{
    if (f.Key.empty())
        return f.Value;
    return f.Value.empty() ? f.Key : f.Key + L" " + f.Value;
}

TBilingualText DescribeInBoth(const TSetupFinding& f)
{
    const std::wstring setting = Setting(f);
    const std::wstring quoted = L"\"" + setting + L"\"";
    const std::wstring used = std::to_wstring(f.Used);
    const std::wstring limit = std::to_wstring(CTQSetupFileParser::MaxFileBytes);
    const std::wstring usualBlink =
        std::to_wstring(CTQContentRules::SettingOf(TKey::BlinkPeriod).Default);
    switch (f.Kind) {
    case TSetupFindingKind::Utf16:
        return { (f.Key.empty() ? L"no setting is read" : quoted + L" is not read") +
                     L": the file is saved as UTF-16 (Unicode), which the board cannot read. Save "
                     L"it as UTF-8 or "
                     L"ANSI text (Notepad: Save as, Encoding).",
                 (f.Key.empty() ? L"ingen inställning läses" : quoted + L" läses inte") +
                     L": filen är sparad som UTF-16 (Unicode), som tavlan inte kan läsa. Spara den "
                     L"som UTF-8 eller "
                     L"ANSI (Anteckningar: Spara som, Kodning)." };
    case TSetupFindingKind::ByteOrderMark:
        return { quoted +
                     L" is not read: a byte-order mark (BOM) stands before it. Begin the file with "
                     L"an empty "
                     L"line, or save it as UTF-8 without BOM or as ANSI text.",
                 quoted +
                     L" läses inte: ett byte-order-märke (BOM) står före. Börja filen med en tom "
                     L"rad, eller "
                     L"spara den som UTF-8 utan BOM eller som ANSI." };
    case TSetupFindingKind::LostLastWord:
        return { quoted +
                     L" is not read: the last word of the file needs a line end after it. Press "
                     L"Enter after " +
                     f.Value + L" and save.",
                 quoted +
                     L" läses inte: filens sista ord måste följas av en radbrytning. Tryck Enter "
                     L"efter " +
                     f.Value + L" och spara." };
    case TSetupFindingKind::CutByLimit:
        return {
            quoted + L" is not read: only the first " + limit +
                L" bytes of the file are read. Move the setting to the top, or shorten the file.",
            quoted + L" läses inte: bara filens första " + limit +
                L" byte läses. Flytta inställningen överst, eller korta filen."
        };
    case TSetupFindingKind::MisspeltKey:
        return {
            L"\"" + f.Word + L"\" is not read: the key is written " + f.Key +
                L", in capitals, followed by a space or a line end. Write it exactly so.",
            L"\"" + f.Word + L"\" läses inte: nyckeln skrivs " + f.Key +
                L", med versaler, följd av mellanslag eller radbrytning. Skriv den precis så."
        };
    case TSetupFindingKind::ModeWrongCase:
        return { quoted +
                     L": the board starts in standard mode, because only \"Scan\" with a capital S "
                     L"selects "
                     L"scan mode. Write Scan.",
                 quoted +
                     L": tavlan startar i standardläge, eftersom bara \"Scan\" med stort S väljer "
                     L"skanning. "
                     L"Skriv Scan." };
    case TSetupFindingKind::UnknownMode:
        return {
            quoted + L" is no mode: the board starts in standard mode. Write Scan or Standard.",
            quoted + L" är inget läge: tavlan startar i standardläge. Skriv Scan eller Standard."
        };
    case TSetupFindingKind::NegativeCorrected:
    case TSetupFindingKind::NotANumber:
        if (IsCount(f.Key))
            return { quoted + L" is no usable number: " + used +
                         L" is used instead (0: for ever). Write a whole "
                         L"number, such as 3.",
                     quoted + L" är inget användbart tal: " + used +
                         L" används i stället (0: hela tiden). Skriv "
                         L"ett heltal, till exempel 3." };
        return { quoted + L" is no usable time: " + used +
                     L" ms is used instead. Write a time in milliseconds, "
                     L"such as " +
                     used + L".",
                 quoted + L" är ingen användbar tid: " + used +
                     L" ms används i stället. Skriv en tid i "
                     L"millisekunder, till exempel " +
                     used + L"." };
    case TSetupFindingKind::NumberCut:
        return { quoted + L" is read as " + used + L". Write only the digits.",
                 quoted + L" läses som " + used + L". Skriv bara siffrorna." };
    case TSetupFindingKind::LaterValueIgnored:
        return { quoted + L" is ignored: only the first value of a key counts (" + f.Word +
                     L"). Remove the others.",
                 quoted + L" används inte: bara nyckelns första värde gäller (" + f.Word +
                     L"). Ta bort de andra." };
    case TSetupFindingKind::TooFast:
        return {
            quoted +
                L": the highlight blinks every 10 ms at most; a blink period under 20 ms does not "
                L"blink "
                L"faster. " +
                usualBlink + L" is usual.",
            quoted +
                L": markeringen blinkar högst var 10:e ms; en blinkperiod under 20 ms blinkar inte "
                L"fortare. " +
                usualBlink + L" är vanligt."
        };
    case TSetupFindingKind::UnknownChoice: {
        const CTQContentRules::TSetting& choice = *CTQContentRules::FindSetting(f.Key);
        const std::wstring first = choice.Choices[0];
        const std::wstring second = choice.Choices[1];
        return { quoted + L" is not understood: the board works as without " + f.Key + L". Write " +
                     first + L" or " + second + L", exactly so.",
                 quoted + L" förstås inte: tavlan fungerar som utan " + f.Key + L". Skriv " +
                     first + L" eller " + second + L", precis så." };
    }
    case TSetupFindingKind::UnknownWord:
        return {
            L"\"" + f.Value +
                L"\" is no setting: it and the words after it are ignored up to the next setting "
                L"(fine for a comment).",
            L"\"" + f.Value +
                L"\" är ingen inställning: den och orden efter den hoppas över fram till nästa "
                L"inställning (bra för en kommentar)."
        };
    }
    return { setting, setting };
}

}  // namespace

std::wstring CTQSetupFileLint::Describe(const TSetupFinding& finding, bool swedish)
{
    return DescribeInBoth(finding).In(swedish);
}
