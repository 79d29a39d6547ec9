// The media player's command texts, taken apart the same way by both backends:
// a verb, the device (a quoted or plain path for "open", otherwise the alias) and the
// "type" and "alias" words of "open".
#pragma once

#include <string>

namespace platform {

struct MediaCommand {
    std::wstring verb;    // "open", "play", "close", lower case
    std::wstring device;  // the file for "open" (quotes removed), the alias otherwise
    std::wstring type;    // after "type"; may be empty
    std::wstring alias;   // after "alias"; for "play" and "close" the device itself
};

// False for an empty text, an unclosed quote, a word without its value, or an unknown word.
bool ParseMediaCommand(const std::wstring& text, MediaCommand& command);

// MCI's error numbers, as far as the board tells them apart.
constexpr int kMediaErrorUnknownCommand = 261;
constexpr int kMediaErrorAliasInUse = 289;
constexpr int kMediaErrorUnknownAlias = 263;
constexpr int kMediaErrorCannotOpen = 275;
constexpr int kMediaErrorNoPlayer = 296;

}  // namespace platform
