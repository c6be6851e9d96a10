// A shared library opened at run time, for a dependency only some runs need: its entry points
// are looked up by name, and it is closed again unless the caller keeps it.
#pragma once

#include <initializer_list>

namespace platform {

class SharedLibrary {
public:
    // The first of names (sonames, looked up as the dynamic linker does) that opens; not open
    // when none does.
    static SharedLibrary OpenFirst(std::initializer_list<const char*> names);

    SharedLibrary() = default;
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    bool IsOpen() const { return m_handle != nullptr; }
    // The entry point called name as a pointer of type T; nullptr when the library lacks it.
    template <typename T> T Find(const char* name) const
    {
        return reinterpret_cast<T>(Symbol(name));
    }
    // Leaves the library loaded for the rest of the process: one whose global state has been
    // set up must not be unloaded.
    void Keep() { m_handle = nullptr; }

private:
    void* Symbol(const char* name) const;

    void* m_handle = nullptr;
};

} // namespace platform
