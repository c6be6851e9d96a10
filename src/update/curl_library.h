// libcurl, opened the first time a download needs it. The update check and the downloader check
// run at most once a day, so on most starts the window never maps a TLS stack, its proxy and
// Kerberos libraries (about 1.1 MB of resident memory).
#pragma once

#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <memory>

namespace update::curl {

// The entry points the downloads use, resolved from the installed libcurl 4.
struct Api {
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_multi_init) multiInit;
    decltype(&curl_multi_cleanup) multiCleanup;
    decltype(&curl_multi_add_handle) multiAddHandle;
    decltype(&curl_multi_remove_handle) multiRemoveHandle;
    decltype(&curl_multi_perform) multiPerform;
    decltype(&curl_multi_poll) multiPoll;
    decltype(&curl_multi_info_read) multiInfoRead;
};

// The library, loaded and initialised once for the whole process (it then stays); nullptr when
// no libcurl 4 is installed, and every download fails.
const Api* Library();

// Owners of the library's handles.
struct EasyDeleter {
    void operator()(CURL* easy) const { Library()->easyCleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { Library()->multiCleanup(multi); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;

} // namespace update::curl
