#pragma once

// The platform error codes that travel through mapping, cancellation and the network provider:
// 32-bit numbers, 0 meaning success. One table, so every layer speaks the same numbers.

#include <cstdint>

namespace platform {

using WinError = uint32_t;

inline constexpr WinError kNoError = 0;
inline constexpr WinError kErrorAccessDenied = 5;
inline constexpr WinError kErrorNotEnoughMemory = 8;
inline constexpr WinError kErrorInvalidParameter = 87;
inline constexpr WinError kErrorBadNetPath = 53;       // server unreachable
inline constexpr WinError kErrorBadNetName = 67;       // no such share
inline constexpr WinError kErrorAlreadyAssigned = 85;  // local name in use
inline constexpr WinError kErrorInvalidPassword = 86;
inline constexpr WinError kErrorMoreData = 234;
inline constexpr WinError kErrorNoMoreItems = 259;
inline constexpr WinError kErrorBadDevice = 1200;  // local name not a drive
inline constexpr WinError kErrorSessionCredentialConflict = 1219;
inline constexpr WinError kErrorNoSuchLogonSession = 1312;  // no credential to be had
inline constexpr WinError kErrorLogonFailure = 1326;
inline constexpr WinError kErrorNotConnected = 2250;
inline constexpr WinError kErrorFileNotFound = 2;  // per-user store: no such key or value
inline constexpr WinError kErrorNoNetwork = 1222;

}  // namespace platform
