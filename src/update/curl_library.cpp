// Opening libcurl and resolving its entry points by name.
#include "update/curl_library.h"

#include "platform/shared_library.h"

#include <mutex>

namespace update::curl {

namespace {

std::unique_ptr<Api> Load()
{
    // Either flavour of libcurl 4 has the same interface; the OpenSSL one first.
    platform::SharedLibrary library =
        platform::SharedLibrary::OpenFirst({"libcurl.so.4", "libcurl-gnutls.so.4"});
    if (!library.IsOpen())
        return nullptr;
    bool resolved = true;
    const auto find = [&]<typename T>(const char* name, T& entry) {
        entry = library.Find<T>(name);
        resolved = resolved && entry != nullptr;
    };
    auto api = std::make_unique<Api>();
    decltype(&curl_global_init) globalInit = nullptr;
    find("curl_global_init", globalInit);
    find("curl_easy_init", api->easyInit);
    find("curl_easy_cleanup", api->easyCleanup);
    find("curl_easy_setopt", api->easySetopt);
    find("curl_easy_getinfo", api->easyGetinfo);
    find("curl_multi_init", api->multiInit);
    find("curl_multi_cleanup", api->multiCleanup);
    find("curl_multi_add_handle", api->multiAddHandle);
    find("curl_multi_remove_handle", api->multiRemoveHandle);
    find("curl_multi_perform", api->multiPerform);
    find("curl_multi_poll", api->multiPoll);
    find("curl_multi_info_read", api->multiInfoRead);
    if (!resolved || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return nullptr; // closes the library again
    // Initialised: its TLS backend does not survive being unloaded.
    library.Keep();
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

} // namespace update::curl
