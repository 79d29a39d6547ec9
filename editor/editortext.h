// The editor's words in the desktop's language: Swedish when the locale is Swedish,
// English otherwise, each text written once with its translation.
#pragma once

#include <QString>

// The text in the desktop's language.
QString Tr(const char* english, const char* swedish);
