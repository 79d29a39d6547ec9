#include "editor/editortext.h"

#include "superlibraries/tqstandard/tqlanguage.h"

QString Tr(const char* english, const char* swedish)
{
    static const bool swedishDesktop = IsSwedishLocale();
    return QString::fromUtf8(swedishDesktop ? swedish : english);
}
