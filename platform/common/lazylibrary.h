#pragma once

#include <mutex>
#include <string>

namespace platform {

// A shared library the board is not linked with, opened on the first Symbol call (once,
// from whichever thread comes first). When it cannot be opened, one line says so in the
// trace, and on stderr too when the user would otherwise not know why something is off:
// "<subject>: <name> could not be loaded (<reason>)<consequence>". Every symbol is then null.
class LazyLibrary {
public:
    LazyLibrary(const char* name, const char* subject, const char* consequence, bool toStderr);
    LazyLibrary(const LazyLibrary&) = delete;
    LazyLibrary& operator=(const LazyLibrary&) = delete;

    void* Symbol(const char* symbol);

private:
    void* Handle();

    const char* m_name;
    const char* m_subject;
    const char* m_consequence;
    bool m_toStderr;
    std::once_flag m_once;
    void* m_handle = nullptr;
};

}  // namespace platform

// Defines the C function `name`, as the library's own header declares it, to forward to the
// same symbol of a lazily loaded library. symbolOf(#name) gives the symbol's address,
// resolved once on the first call; without the library or the symbol the call gives
// fallback (empty for a void function). ret may carry a calling convention.
#define ORLIDO_LAZY_FORWARD(symbolOf, ret, name, params, args, fallback)                           \
    extern "C" ret name params                                                                     \
    {                                                                                              \
        static const auto real = reinterpret_cast<decltype(&name)>(symbolOf(#name));               \
        if (!real)                                                                                 \
            return fallback;                                                                       \
        return real args;                                                                          \
    }
