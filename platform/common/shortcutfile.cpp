#include "platform/common/shortcutfile.h"

#include "platform/common/commandline.h"
#include "platform/files.h"

#include <array>
#include <cstdint>
#include <optional>

namespace platform {

namespace {

// --- Binary Shell Link ---------------------------------------------------------------------

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::array<unsigned char, 16> kLinkClsid = { 0x01, 0x14, 0x02, 0x00, 0x00, 0x00,
                                                       0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                                                       0x00, 0x00, 0x00, 0x46 };

constexpr std::uint32_t HasLinkTargetIDList = 0x1;
constexpr std::uint32_t HasLinkInfo = 0x2;
constexpr std::uint32_t HasName = 0x4;
constexpr std::uint32_t HasRelativePath = 0x8;
constexpr std::uint32_t HasWorkingDir = 0x10;
constexpr std::uint32_t HasArguments = 0x20;
constexpr std::uint32_t HasIconLocation = 0x40;
constexpr std::uint32_t IsUnicode = 0x80;
constexpr std::uint32_t ForceNoLinkInfo = 0x100;

constexpr std::uint32_t VolumeIDAndLocalBasePath = 0x1;
constexpr std::uint32_t CommonNetworkRelativeLinkAndPathSuffix = 0x2;

constexpr std::uint32_t kEnvironmentBlockSignature = 0xA0000001;
constexpr std::uint32_t kEnvironmentBlockSize = 0x314;

// A window on the file's bytes; every read is checked against its end.
class Bytes {
public:
    explicit Bytes(std::string_view data) : m_data(data) { }

    std::size_t Size() const { return m_data.size(); }

    std::optional<std::uint32_t> U16(std::size_t at) const
    {
        if (at > m_data.size() || m_data.size() - at < 2)
            return std::nullopt;
        return static_cast<std::uint32_t>(Byte(at) | (Byte(at + 1) << 8));
    }

    std::optional<std::uint32_t> U32(std::size_t at) const
    {
        if (at > m_data.size() || m_data.size() - at < 4)
            return std::nullopt;
        return Byte(at) | (Byte(at + 1) << 8) | (Byte(at + 2) << 16) | (Byte(at + 3) << 24);
    }

    // The part [at, at + length), or nullopt when it does not lie inside.
    std::optional<Bytes> Part(std::size_t at, std::size_t length) const
    {
        if (at > m_data.size() || m_data.size() - at < length)
            return std::nullopt;
        return Bytes(m_data.substr(at, length));
    }

    // A zero-terminated 8-bit string at at (Windows-1252); empty when at lies outside.
    // Without a terminator the string ends with the window.
    std::wstring AnsiString(std::size_t at) const
    {
        if (at >= m_data.size())
            return {};
        const std::string_view rest = m_data.substr(at);
        return DecodeCp1252(rest.substr(0, rest.find('\0')));
    }

    // A zero-terminated UTF-16 string at at; empty when at lies outside.
    std::wstring UnicodeString(std::size_t at) const
    {
        std::wstring units;
        for (std::size_t i = at; i + 1 < m_data.size(); i += 2) {
            const auto unit = static_cast<wchar_t>(Byte(i) | (Byte(i + 1) << 8));
            if (unit == 0)
                break;
            units += unit;
        }
        return FromUtf16(units);
    }

    std::string_view View() const { return m_data; }

    // UTF-16 code units (one per wchar_t) to code points; a lone surrogate becomes U+FFFD.
    static std::wstring FromUtf16(const std::wstring& units)
    {
        std::wstring text;
        for (std::size_t i = 0; i < units.size(); ++i) {
            const auto unit = static_cast<std::uint32_t>(units[i]);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size()) {
                const auto low = static_cast<std::uint32_t>(units[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    text +=
                        static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
            text += (unit >= 0xD800 && unit <= 0xDFFF) ? L'\xFFFD' : static_cast<wchar_t>(unit);
        }
        return text;
    }

private:
    std::uint32_t Byte(std::size_t at) const { return static_cast<unsigned char>(m_data[at]); }

    std::string_view m_data;
};

// The string of one offset field of the link information: the Unicode one when the
// header has it and it gives a string, else the 8-bit one. Offsets are from the
// structure's start.
std::wstring LinkInfoString(const Bytes& info, std::size_t ansiField,
                            std::optional<std::size_t> unicodeField)
{
    if (unicodeField) {
        const auto offset = info.U32(*unicodeField);
        if (offset && *offset != 0) {
            if (std::wstring text = info.UnicodeString(*offset); !text.empty())
                return text;
        }
    }
    const auto offset = info.U32(ansiField);
    if (!offset || *offset == 0)
        return {};
    return info.AnsiString(*offset);
}

// The target path of a LinkInfo structure: the local base path plus the common suffix, or
// the network share name, a "\" and the suffix.
std::wstring TargetFromLinkInfo(const Bytes& info)
{
    const auto headerSize = info.U32(4);
    const auto flags = info.U32(8);
    if (!headerSize || !flags)
        return {};
    const bool hasUnicode = *headerSize >= 0x24;
    const std::wstring suffix =
        LinkInfoString(info, 24, hasUnicode ? std::optional<std::size_t>(32) : std::nullopt);

    if (*flags & VolumeIDAndLocalBasePath) {
        const std::wstring base =
            LinkInfoString(info, 16, hasUnicode ? std::optional<std::size_t>(28) : std::nullopt);
        if (!base.empty())
            return base + suffix;
    }
    if (*flags & CommonNetworkRelativeLinkAndPathSuffix) {
        const auto networkOffset = info.U32(20);
        const auto networkSize = networkOffset ? info.U32(*networkOffset) : std::nullopt;
        const auto network = networkSize ? info.Part(*networkOffset, *networkSize) : std::nullopt;
        if (network) {
            const auto nameOffset = network->U32(8);
            const bool hasUnicodeName = nameOffset && *nameOffset > 0x14;
            const std::wstring share = LinkInfoString(
                *network, 8, hasUnicodeName ? std::optional<std::size_t>(20) : std::nullopt);
            if (!share.empty())
                return suffix.empty() ? share : share + L"\\" + suffix;
        }
    }
    return {};
}

// The target of the environment-variable block (a path such as "%windir%\notepad.exe").
std::wstring TargetFromExtraData(const Bytes& file, std::size_t at)
{
    while (true) {
        const auto size = file.U32(at);
        if (!size || *size < 8)
            return {};
        const auto block = file.Part(at, *size);
        if (!block)
            return {};
        if (block->U32(4) == kEnvironmentBlockSignature && *size >= kEnvironmentBlockSize) {
            std::wstring target = block->Part(268, 520)->UnicodeString(0);
            if (target.empty())
                target = block->Part(8, 260)->AnsiString(0);
            return target;
        }
        at += *size;
    }
}

}  // namespace

bool ParseShellLink(std::string_view data, ShortcutData& shortcut)
{
    const Bytes file(data);
    if (file.U32(0) != kHeaderSize || file.Size() < kHeaderSize)
        return false;
    for (std::size_t i = 0; i < kLinkClsid.size(); ++i) {
        if (static_cast<unsigned char>(data[4 + i]) != kLinkClsid[i])
            return false;
    }
    shortcut = ShortcutData{};
    const std::uint32_t flags = *file.U32(20);
    std::size_t at = kHeaderSize;

    if (flags & HasLinkTargetIDList) {
        const auto idListSize = file.U16(at);
        if (!idListSize)
            return true;
        at += 2 + *idListSize;
    }
    if ((flags & HasLinkInfo) && !(flags & ForceNoLinkInfo)) {
        const auto infoSize = file.U32(at);
        const auto info = infoSize ? file.Part(at, *infoSize) : std::nullopt;
        if (!info)
            return true;  // later parts cannot be found
        shortcut.target = TargetFromLinkInfo(*info);
        at += *infoSize;
    }

    // The string data, in the order of their flags; each is a count of characters and then
    // the characters.
    const bool unicode = flags & IsUnicode;
    std::wstring relativePath;
    for (const std::uint32_t flag :
         { HasName, HasRelativePath, HasWorkingDir, HasArguments, HasIconLocation }) {
        if (!(flags & flag))
            continue;
        const auto count = file.U16(at);
        const std::size_t length = count ? *count * (unicode ? 2u : 1u) : 0;
        const auto text = count ? file.Part(at + 2, length) : std::nullopt;
        if (!text)
            return true;  // cut short: what was read so far stands
        const std::wstring value = unicode ? text->UnicodeString(0) : text->AnsiString(0);
        if (flag == HasRelativePath)
            relativePath = value;
        else if (flag == HasWorkingDir)
            shortcut.workingDirectory = value;
        else if (flag == HasArguments)
            shortcut.arguments = value;
        at += 2 + length;
    }

    if (shortcut.target.empty())
        shortcut.target = TargetFromExtraData(file, at);
    if (shortcut.target.empty())
        shortcut.target = relativePath;
    return true;
}

// --- Desktop entry -------------------------------------------------------------------------

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The arguments from first on as one Windows command-line tail.
std::wstring QuotedTail(const std::vector<std::wstring>& argv, std::size_t first)
{
    std::wstring tail;
    for (std::size_t i = first; i < argv.size(); ++i) {
        if (!tail.empty())
            tail += L' ';
        tail += QuoteWindowsArgument(argv[i]);
    }
    return tail;
}

std::wstring JoinTails(const std::wstring& first, const std::wstring& second)
{
    if (first.empty())
        return second;
    if (second.empty())
        return first;
    return first + L" " + second;
}

std::wstring Trim(std::wstring_view text)
{
    const auto first = text.find_first_not_of(L" \t\r");
    if (first == std::wstring_view::npos)
        return {};
    const auto last = text.find_last_not_of(L" \t\r");
    return std::wstring(text.substr(first, last - first + 1));
}

// Undoes the escapes of a desktop-entry string value: \s \n \t \r \\ (other pairs stay).
std::wstring UnescapeValue(std::wstring_view value)
{
    std::wstring out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != L'\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const wchar_t next = value[i + 1];
        switch (next) {
        case L's':
            out += L' ';
            break;
        case L'n':
            out += L'\n';
            break;
        case L't':
            out += L'\t';
            break;
        case L'r':
            out += L'\r';
            break;
        case L'\\':
            out += L'\\';
            break;
        default:
            out += L'\\';
            out += next;
            break;
        }
        ++i;
    }
    return out;
}

// Drops field codes; "%%" is a "%". Returns whether any code was dropped.
bool DropFieldCodes(std::wstring& argument)
{
    std::wstring out;
    bool dropped = false;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] == L'%' && i + 1 < argument.size()) {
            if (argument[i + 1] == L'%')
                out += L'%';
            else
                dropped = true;
            ++i;
        } else {
            out += argument[i];
        }
    }
    argument = std::move(out);
    return dropped;
}

bool LooksLikeDesktopEntry(std::string_view bytes)
{
    if (bytes.substr(0, 3) == kUtf8ByteOrderMark)
        bytes.remove_prefix(3);
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (!line.empty() && line.front() != '#')
            return line == "[Desktop Entry]";
        if (end == std::string_view::npos)
            break;
        bytes.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace

std::vector<std::wstring> SplitDesktopExec(std::wstring_view value, std::size_t* addressAt)
{
    const std::wstring line = UnescapeValue(value);
    std::vector<std::wstring> argv;
    if (addressAt)
        *addressAt = std::wstring::npos;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i == line.size())
            break;
        std::wstring argument;
        bool quotedPart = false;
        wchar_t quote = 0;  // the quote character of the part being read, 0 outside quotes
        for (; i < line.size(); ++i) {
            const wchar_t c = line[i];
            if (quote == L'\'') {
                // Single quotes take everything literally, as a shell does.
                if (c == L'\'')
                    quote = 0;
                else
                    argument += c;
            } else if (quote == L'"') {
                if (c == L'"') {
                    quote = 0;
                } else if (c == L'\\' && i + 1 < line.size() &&
                           std::wstring_view(L"\"`$\\").find(line[i + 1]) !=
                               std::wstring_view::npos) {
                    argument += line[++i];
                } else {
                    argument += c;
                }
            } else if (c == L'"' || c == L'\'') {
                quote = c;
                quotedPart = true;
            } else if (c == L' ' || c == L'\t') {
                break;
            } else {
                argument += c;
            }
        }
        if (!quotedPart && (argument == L"%u" || argument == L"%U")) {
            if (addressAt && *addressAt == std::wstring::npos)
                *addressAt = argv.size();
            continue;
        }
        // A quoted argument holds no field codes; in an unquoted one they are dropped, and
        // an argument that was only field codes goes with them.
        if (quotedPart || !DropFieldCodes(argument) || !argument.empty())
            argv.push_back(std::move(argument));
    }
    return argv;
}

bool ParseDesktopEntry(std::string_view bytes, ShortcutData& shortcut)
{
    if (!LooksLikeDesktopEntry(bytes))
        return false;
    shortcut = ShortcutData{};
    // Editors on Windows may save the file with a byte-order mark; it is no part of the text.
    if (bytes.substr(0, 3) == kUtf8ByteOrderMark)
        bytes.remove_prefix(3);
    const std::wstring text = DecodeText8(bytes);
    bool inEntryGroup = false;
    std::wstring exec;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = Trim(std::wstring_view(text).substr(at, end - at));
        at = end + 1;
        if (line.empty() || line.front() == L'#')
            continue;
        if (line.front() == L'[') {
            inEntryGroup = line == L"[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find(L'=');
        if (!inEntryGroup || equals == std::wstring::npos)
            continue;
        const std::wstring key = Trim(std::wstring_view(line).substr(0, equals));
        const std::wstring value = Trim(std::wstring_view(line).substr(equals + 1));
        if (key == L"Exec")
            exec = value;
        else if (key == L"Path")
            shortcut.workingDirectory = UnescapeValue(value);
    }

    std::size_t addressAt = std::wstring::npos;
    std::vector<std::wstring> argv = SplitDesktopExec(exec, &addressAt);
    if (argv.empty())
        return true;
    shortcut.target = argv.front();
    if (addressAt == std::wstring::npos || addressAt == 0) {
        shortcut.arguments = QuotedTail(argv, 1);
        return true;
    }
    shortcut.hasAddressField = true;
    shortcut.argumentsAfterAddress = QuotedTail(argv, addressAt);
    argv.resize(addressAt);
    shortcut.arguments = QuotedTail(argv, 1);
    return true;
}

std::wstring ArgumentsWithAddress(const ShortcutData& shortcut, const std::wstring& address)
{
    const std::wstring withAddress = JoinTails(shortcut.arguments, QuoteWindowsArgument(address));
    return shortcut.hasAddressField ? JoinTails(withAddress, shortcut.argumentsAfterAddress)
                                    : withAddress;
}

std::wstring ArgumentsWithoutAddress(const ShortcutData& shortcut)
{
    return JoinTails(shortcut.arguments, shortcut.argumentsAfterAddress);
}

bool ParseShortcut(std::string_view bytes, ShortcutData& shortcut)
{
    return ParseShellLink(bytes, shortcut) || ParseDesktopEntry(bytes, shortcut);
}

}  // namespace platform
