#pragma once

// The NAS web application's two calls that a sign-in client makes:
//   GET  /index.php/mv_global/get_users      → <users><user username="alice"/>...</users>
//   POST /index.php/mv_login/validate_user   username=..&password=..&retToken=1
//        → 200 with "http://<nas>/hearthlink/?token=<hex>" on a good password

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nassim {

inline constexpr std::string_view kGetUsersPath = "/index.php/mv_global/get_users";
inline constexpr std::string_view kValidateUserPath = "/index.php/mv_login/validate_user";

// The user list document, users in the order given.
std::string usersDocument(const std::vector<std::string>& users);

// application/x-www-form-urlencoded: fields split on "&", names and values split on the first
// "=", "+" is a space and %XX a byte. A field that appears twice keeps its first value. Malformed
// escapes stay as they are.
std::map<std::string, std::string> parseForm(std::string_view body);
std::string percentDecode(std::string_view text);

enum class LoginOutcome { Accepted, WrongPassword, UnknownUser, MissingField };

// Checks a validate_user form against the configured users and passwords (a user without a
// configured password has the empty password).
LoginOutcome checkLogin(const std::map<std::string, std::string>& form,
                        const std::vector<std::string>& users,
                        const std::map<std::string, std::string>& passwords);

std::string_view loginOutcomeName(LoginOutcome outcome);

}  // namespace nassim
