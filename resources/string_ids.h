#pragma once

// Identifiers of the program's compiled-in resources: the string table (resources/strings.tsv)
// and the translation dictionary (resources/dictionary.tsv). Keep in step with strings.tsv;
// the resources test checks every id against its text.

#include <cstdint>

namespace resources {

// The merged translation dictionary, resource type "Dictionary".
inline constexpr std::uint32_t IDR_DICTIONARY = 148;

// Wizard string table.
inline constexpr std::uint32_t IDS_DISCOVER = 148;                 // "Discover"
inline constexpr std::uint32_t IDS_SCANNING_SECONDS = 149;         // "Scanning: %d seconds"
inline constexpr std::uint32_t IDS_NO_DRIVE_FOUND = 150;           // "No network drive found"
inline constexpr std::uint32_t IDS_FIREWALL_HINT = 152;            // "Firewalls may prevent ..."
inline constexpr std::uint32_t IDS_SEARCH_AGAIN = 153;             // "Search again"
inline constexpr std::uint32_t IDS_FOUND_ONE_DRIVE = 156;          // "Found 1 network drive."
inline constexpr std::uint32_t IDS_FOUND_DRIVES = 157;             // "%d network drive(s) ..."
inline constexpr std::uint32_t IDS_HEARTHLINK = 158;               // "Hearthlink"
inline constexpr std::uint32_t IDS_MULTIPLE_USERS = 159;           // "The Drive Scout has ..."
inline constexpr std::uint32_t IDS_SELECT_USER = 160;              // "Select a user and sign in."
inline constexpr std::uint32_t IDS_WRONG_PASSWORD = 161;           // "Wrong Password"
inline constexpr std::uint32_t IDS_LOGGED_IN_AS = 162;             // "You are logged in as \"%s\""
inline constexpr std::uint32_t IDS_DRIVES_ASSIGNED = 163;          // "Computer drive(s) ..."
inline constexpr std::uint32_t IDS_CLICK_DONE = 164;               // "Click \"Done\" ... %s."
inline constexpr std::uint32_t IDS_NOT_LOGGED_IN = 165;            // "Because you are not ..."
inline constexpr std::uint32_t IDS_SIGN_IN = 166;                  // "Sign in"
inline constexpr std::uint32_t IDS_ASSIGN = 167;                   // "Assign"
inline constexpr std::uint32_t IDS_DONE = 168;                     // "Done"
inline constexpr std::uint32_t IDS_SKIP = 169;                     // "Skip"
inline constexpr std::uint32_t IDS_SELECT_DIFFERENT_DRIVE = 170;   // "Select a different drive"
inline constexpr std::uint32_t IDS_CONGRATULATIONS = 172;          // "Congratulations! ..."
inline constexpr std::uint32_t IDS_USERNAME = 175;                 // "Username"
inline constexpr std::uint32_t IDS_PASSWORD = 176;                 // "Password"
inline constexpr std::uint32_t IDS_SIGN_IN_PRIVATE_HINT = 177;     // "If you don't sign in, ..."
inline constexpr std::uint32_t IDS_CHECK_POWER_AND_NETWORK = 180;  // "Make sure that Homevault ..."
inline constexpr std::uint32_t IDS_SIGN_OUT_OTHER_USER = 182;      // "This NAS is already ..."
inline constexpr std::uint32_t IDS_SIGN_OUT_FAILED = 184;          // "Sorry, we were unable ..."

// Message-box buttons.
inline constexpr std::uint32_t IDS_BUTTON_OK = 200;   // "OK"
inline constexpr std::uint32_t IDS_BUTTON_YES = 201;  // "&Yes"
inline constexpr std::uint32_t IDS_BUTTON_NO = 202;   // "&No"

// Version texts (file description and comment of the program).
inline constexpr std::uint32_t IDS_FILE_DESCRIPTION = 210;  // "Drive Scout network drive wizard"
inline constexpr std::uint32_t IDS_PRODUCT_COMMENT = 211;   // "Finds Homevault ..."

}  // namespace resources
