#include "superlibraries/tqstandard/tqlanguage.h"

#include <cstdlib>

bool IsSwedishLocale()
{
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return std::string(value).rfind("sv", 0) == 0;
    }
    return false;
}
