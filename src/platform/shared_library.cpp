// dlopen and dlsym behind an owner that closes what it opened.
#include "platform/shared_library.h"

#include <dlfcn.h>

#include <utility>

namespace platform {

SharedLibrary SharedLibrary::OpenFirst(std::initializer_list<const char*> names)
{
    SharedLibrary library;
    for (const char* name : names) {
        library.m_handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (library.m_handle)
            break;
    }
    return library;
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr))
{
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept
{
    if (this != &other) {
        if (m_handle)
            dlclose(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

SharedLibrary::~SharedLibrary()
{
    if (m_handle)
        dlclose(m_handle);
}

void* SharedLibrary::Symbol(const char* name) const
{
    return m_handle ? dlsym(m_handle, name) : nullptr;
}

} // namespace platform
