// Opening libcurl with dlopen and resolving its entry points by name.
#include "update/curl_library.h"

#include <dlfcn.h>

#include <mutex>

namespace curl {

namespace {

template <typename T> bool Resolve(void* library, const char* name, T& entry)
{
    entry = reinterpret_cast<T>(dlsym(library, name));
    return entry != nullptr;
}

std::unique_ptr<Api> Load()
{
    // Either flavour of libcurl 4 has the same interface; the OpenSSL one first.
    void* library = nullptr;
    for (const char* name : {"libcurl.so.4", "libcurl-gnutls.so.4"}) {
        library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (library)
            break;
    }
    if (!library)
        return nullptr;
    auto api = std::make_unique<Api>();
    decltype(&curl_global_init) globalInit = nullptr;
    const bool resolved = Resolve(library, "curl_global_init", globalInit) &&
                          Resolve(library, "curl_easy_init", api->easyInit) &&
                          Resolve(library, "curl_easy_cleanup", api->easyCleanup) &&
                          Resolve(library, "curl_easy_setopt", api->easySetopt) &&
                          Resolve(library, "curl_easy_getinfo", api->easyGetinfo) &&
                          Resolve(library, "curl_multi_init", api->multiInit) &&
                          Resolve(library, "curl_multi_cleanup", api->multiCleanup) &&
                          Resolve(library, "curl_multi_add_handle", api->multiAddHandle) &&
                          Resolve(library, "curl_multi_remove_handle", api->multiRemoveHandle) &&
                          Resolve(library, "curl_multi_perform", api->multiPerform) &&
                          Resolve(library, "curl_multi_poll", api->multiPoll) &&
                          Resolve(library, "curl_multi_info_read", api->multiInfoRead);
    // A library once initialised is never closed: its TLS backend does not survive unloading.
    if (!resolved || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        dlclose(library);
        return nullptr;
    }
    return api;
}

} // namespace

const Api* Library()
{
    static std::once_flag once;
    static std::unique_ptr<Api> api;
    std::call_once(once, [] { api = Load(); });
    return api.get();
}

} // namespace curl
