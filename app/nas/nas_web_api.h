#pragma once

// The two requests the wizard makes to the NAS's web application over plain HTTP: the list of
// user names it knows, and the address of the web application carrying a user's sign-in.
//
// Threads: called on the user-interface thread, which each call blocks until the NAS answers or
// the limits end the request (never longer than `HttpLimits::total` per request, 60 s by
// default). Nothing is shown or logged here; callers decide what a 0 means to the user.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/nas/http_request.h"
#include "app/nas/nas_context.h"
#include "sdk/LBString.h"

namespace nas {

// Largest form body the sign-in request sends; a longer one is refused, not cut.
inline constexpr std::size_t kMaxLoginBodyBytes = 511;
// The answer is taken in reads of this size, each up to its first zero byte.
inline constexpr std::size_t kBodyChunkBytes = 511;

struct NasWebApiSettings {
    NasWebApiSettings() { login.connectRetries = 1; }
    // Port of the web application on the NAS; tests point it at a loopback server.
    uint16_t port = 80;
    HttpLimits users;  // get_users: connect 20 s, no retry
    HttpLimits login;  // validate_user: connect 20 s, one retry after 1 s
    // Wait between connection attempts; empty sleeps.
    RetryWait retryWait;
};

// Asks the NAS of `context.strAddress` for its user names. Returns 1 when it answered with a
// status of 200 to 299 and an XML document with a root element: then every child element of the
// root (whatever its name) with a non-empty "username" attribute adds that name to `users`, in
// document order, duplicates kept; 1 also when no name was found. Returns 0 for any failure of
// the request, another status, or an answer that is not XML or has no root element; `users` is
// then left as it was.
int GetUsers(const NasContext& context, std::vector<LBString>& users,
             const NasWebApiSettings& settings = {});

// Asks the NAS to sign in `context.strUserName` with `context.strPassword` and to return the
// address of its web application with a sign-in token. On status 200 `url` holds the answer
// (less leading white space); on another status "http://" and the NAS's address; after a failed
// request what arrived, usually nothing. Returns 1 only for status 200 with an answer that
// begins with "http://" in any case. A form body over kMaxLoginBodyBytes is not sent (result 0).
int GetWebAppUrl(const NasContext& context, LBString& url, const NasWebApiSettings& settings = {});

// Proves `password` for `user` through validate_user, as GetWebAppUrl asks it: 0 when the NAS
// accepted them (the answer GetWebAppUrl takes as 1), 1326 when it answered anything else, 53
// when no answer came.
int32_t ValidateUser(const NasContext& context, const LBString& user, const LBString& password,
                     const NasWebApiSettings& settings = {});

// --- The steps above, separately for tests and the fuzzer.

// The bytes of an answer as the NAS client takes them: in chunks of kBodyChunkBytes, each
// chunk ending at its first zero byte.
std::string TakeBodyChunks(std::string_view raw);

// Parses a get_users answer (UTF-8) and appends the names to `users`; 1 or 0 as GetUsers.
int ParseUserList(std::string_view xml, std::vector<LBString>& users);

// application/x-www-form-urlencoded value: letters, digits and "-._~" as they are, every other
// byte of the UTF-8 text as %XX.
std::string PercentEncodeFormValue(std::string_view utf8);

// "username=<user>&password=<password>&retToken=1", or nothing when longer than
// kMaxLoginBodyBytes.
std::optional<std::string> BuildLoginBody(const LBString& user, const LBString& password);

}  // namespace nas
