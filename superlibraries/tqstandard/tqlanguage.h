// The language of what the board and its tools tell a person: Swedish or English, and a
// text written in both so that each message is written in one place with its translation.
#pragma once

#include <string>

// A text in English and in Swedish.
struct TBilingualText {
    std::wstring English;
    std::wstring Swedish;

    const std::wstring& In(bool swedish) const { return swedish ? Swedish : English; }
};

// Swedish when the first set of LC_ALL, LC_MESSAGES and LANG names a Swedish locale.
bool IsSwedishLocale();
