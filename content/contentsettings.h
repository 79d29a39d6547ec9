// Writes the settings file the way the board's settings reader reads it: each key from the
// content rules' table on a line of its own, "#SCANPERIOD 3000", UTF-8 without a byte-order
// mark and with a line end after the last word. Lines the editor does not set (other keys,
// notes) are kept as they are. The file is complete under a hidden name before it replaces
// the old one.
#pragma once

#include "content/contentrules.h"

#include <map>
#include <string>

class CTQContentSettings {
public:
    using TValues = std::map<CTQContentRules::TSettingKey, std::wstring>;

    // The new text of the file: existing holds its old bytes (empty for none).
    static std::string Text(const std::string& existing, const TValues& values);
    // Writes values into the file at path. False when it cannot be written.
    static bool Write(const std::wstring& path, const TValues& values);
};
