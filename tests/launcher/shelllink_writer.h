// Writes binary Shell Link files (.lnk) by the published format, as Windows makes them:
// the 76-byte header, an optional ID list, the link information with a local base path
// (8-bit, and UTF-16 when asked), the string data and an optional environment block.
// Tests use it to make good links and then cut or damage them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace linkwriter {

struct Link {
    bool unicode = true;                            // the string data in UTF-16, else 8-bit
    std::optional<std::string> idList = {};         // raw bytes of an ID list
    std::optional<std::string> localBasePath = {};  // 8-bit bytes (Windows-1252)
    std::string commonPathSuffix = {};              // 8-bit bytes
    std::optional<std::u16string> localBasePathUnicode = {};  // makes the 0x24-byte header
    std::optional<std::string> networkShare = {};  // 8-bit; a network link instead of a local one
    std::optional<std::u16string> name = {};
    std::optional<std::u16string> relativePath = {};
    std::optional<std::u16string> workingDir = {};
    std::optional<std::u16string> arguments = {};
    std::optional<std::u16string> iconLocation = {};
    std::optional<std::u16string> environmentTarget = {};  // the environment-variable block
};

inline void PutU16(std::string& out, std::uint32_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

inline void PutU32(std::string& out, std::uint32_t value)
{
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

inline void SetU32(std::string& out, std::size_t at, std::uint32_t value)
{
    std::string bytes;
    PutU32(bytes, value);
    out.replace(at, 4, bytes);
}

inline std::string Utf16Bytes(const std::u16string& text)
{
    std::string out;
    for (const char16_t unit : text)
        PutU16(out, unit);
    return out;
}

// 8-bit string data take the low byte of each unit: tests use Windows-1252 code units.
inline std::string AnsiBytes(const std::u16string& text)
{
    std::string out;
    for (const char16_t unit : text)
        out += static_cast<char>(unit & 0xFF);
    return out;
}

inline std::string LinkInfo(const Link& link)
{
    const bool withUnicode = link.localBasePathUnicode.has_value();
    const std::uint32_t headerSize = withUnicode ? 0x24 : 0x1C;
    std::string info(headerSize, '\0');
    SetU32(info, 4, headerSize);
    if (link.networkShare) {
        SetU32(info, 8, 0x2);
        SetU32(info, 20, static_cast<std::uint32_t>(info.size()));
        std::string network;
        PutU32(network, 0);        // size, set below
        PutU32(network, 0x2);      // ValidNetType
        PutU32(network, 0x14);     // NetNameOffset
        PutU32(network, 0);        // DeviceNameOffset
        PutU32(network, 0x20000);  // provider
        network += *link.networkShare + '\0';
        SetU32(network, 0, static_cast<std::uint32_t>(network.size()));
        info += network;
    } else {
        SetU32(info, 8, 0x1);
        SetU32(info, 12, static_cast<std::uint32_t>(info.size()));
        std::string volume;
        PutU32(volume, 0x11);  // VolumeIDSize
        PutU32(volume, 3);     // fixed drive
        PutU32(volume, 0x1234);
        PutU32(volume, 0x10);  // label offset
        volume += '\0';
        info += volume;
        SetU32(info, 16, static_cast<std::uint32_t>(info.size()));
        info += link.localBasePath.value_or("") + '\0';
    }
    SetU32(info, 24, static_cast<std::uint32_t>(info.size()));
    info += link.commonPathSuffix + '\0';
    if (withUnicode) {
        SetU32(info, 28, static_cast<std::uint32_t>(info.size()));
        info += Utf16Bytes(*link.localBasePathUnicode) + std::string(2, '\0');
        SetU32(info, 32, static_cast<std::uint32_t>(info.size()));
        info += std::string(2, '\0');
    }
    SetU32(info, 0, static_cast<std::uint32_t>(info.size()));
    return info;
}

inline std::string Write(const Link& link)
{
    std::uint32_t flags = 0;
    const bool hasLinkInfo = link.localBasePath || link.localBasePathUnicode || link.networkShare;
    if (link.idList)
        flags |= 0x1;
    if (hasLinkInfo)
        flags |= 0x2;
    if (link.name)
        flags |= 0x4;
    if (link.relativePath)
        flags |= 0x8;
    if (link.workingDir)
        flags |= 0x10;
    if (link.arguments)
        flags |= 0x20;
    if (link.iconLocation)
        flags |= 0x40;
    if (link.unicode)
        flags |= 0x80;

    std::string out;
    PutU32(out, 0x4C);
    out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    PutU32(out, flags);
    PutU32(out, 0x20);             // file attributes: archive
    out += std::string(24, '\0');  // three file times
    PutU32(out, 0);                // file size
    PutU32(out, 0);                // icon index
    PutU32(out, 1);                // show normal
    PutU16(out, 0);                // hot key
    out += std::string(10, '\0');  // reserved

    if (link.idList) {
        PutU16(out, static_cast<std::uint32_t>(link.idList->size()));
        out += *link.idList;
    }
    if (hasLinkInfo)
        out += LinkInfo(link);
    for (const auto* text : { &link.name, &link.relativePath, &link.workingDir, &link.arguments,
                              &link.iconLocation }) {
        if (!*text)
            continue;
        PutU16(out, static_cast<std::uint32_t>((*text)->size()));
        out += link.unicode ? Utf16Bytes(**text) : AnsiBytes(**text);
    }
    if (link.environmentTarget) {
        std::string block;
        PutU32(block, 0x314);
        PutU32(block, 0xA0000001);
        std::string ansi = AnsiBytes(*link.environmentTarget);
        ansi.resize(260, '\0');
        std::string wide = Utf16Bytes(*link.environmentTarget);
        wide.resize(520, '\0');
        out += block + ansi + wide;
    }
    PutU32(out, 0);  // terminal block
    return out;
}

}  // namespace linkwriter
