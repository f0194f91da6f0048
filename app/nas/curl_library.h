#pragma once

// libcurl's functions, from the library loaded on first use: only the calls to the NAS's web
// application need it, after a device is chosen, so the wizard starts without mapping libcurl and
// the TLS, Kerberos, LDAP and SSH libraries that come with it.

// The type-checking macros would turn a call through the table into a call of the library's own
// function.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

namespace nas {

#define DS_CURL_FUNCTIONS(X) \
    X(curl_global_init)      \
    X(curl_easy_init)        \
    X(curl_easy_cleanup)     \
    X(curl_easy_setopt)      \
    X(curl_easy_perform)     \
    X(curl_easy_getinfo)     \
    X(curl_easy_strerror)    \
    X(curl_slist_append)     \
    X(curl_slist_free_all)   \
    X(curl_url)              \
    X(curl_url_set)          \
    X(curl_url_get)          \
    X(curl_url_cleanup)      \
    X(curl_free)

struct CurlLibrary {
#define DS_DECLARE_FUNCTION(name) decltype(&::name) name = nullptr;
    DS_CURL_FUNCTIONS(DS_DECLARE_FUNCTION)
#undef DS_DECLARE_FUNCTION
};

// The functions, loading libcurl on the first call; null when it cannot be loaded (traced once).
// Any thread.
const CurlLibrary* curlLibrary();

}  // namespace nas
