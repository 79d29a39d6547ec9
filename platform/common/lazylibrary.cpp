#include "platform/common/lazylibrary.h"

#include "platform/files.h"

#include <dlfcn.h>

#include <cstdio>

namespace platform {

LazyLibrary::LazyLibrary(const char* name, const char* subject, const char* consequence,
                         bool toStderr)
    : m_name(name), m_subject(subject), m_consequence(consequence), m_toStderr(toStderr)
{
}

void* LazyLibrary::Handle()
{
    std::call_once(m_once, [this] {
        m_handle = ::dlopen(m_name, RTLD_NOW | RTLD_LOCAL);
        if (m_handle)
            return;
        const char* why = ::dlerror();
        const std::string line = std::string(m_subject) + ": " + m_name + " could not be loaded (" +
            (why ? why : "unknown") + ")" + m_consequence + "\n";
        if (m_toStderr)
            std::fputs(line.c_str(), stderr);
        Trace(FromUtf8(line));
    });
    return m_handle;
}

void* LazyLibrary::Symbol(const char* symbol)
{
    void* handle = Handle();
    return handle ? ::dlsym(handle, symbol) : nullptr;
}

}  // namespace platform
