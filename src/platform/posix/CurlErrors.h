// WinINet's error numbers for libcurl's results (table in README.md here).
#pragma once

#include <curl/curl.h>

#include <cstdint>

namespace PosixBackEnd {

constexpr std::uint32_t ErrorNotEnoughMemory = 8;
constexpr std::uint32_t ErrorInvalidHandle = 6;
constexpr std::uint32_t ErrorInvalidParameter = 87;
constexpr std::uint32_t ErrorInternetTimeout = 12002;
constexpr std::uint32_t ErrorInternetInvalidUrl = 12005;
constexpr std::uint32_t ErrorInternetUnrecognizedScheme = 12006;
constexpr std::uint32_t ErrorInternetNameNotResolved = 12007;
constexpr std::uint32_t ErrorInternetInvalidOption = 12009;
constexpr std::uint32_t ErrorInternetOperationCancelled = 12017;
constexpr std::uint32_t ErrorInternetCannotConnect = 12029;
constexpr std::uint32_t ErrorInternetConnectionAborted = 12030;
constexpr std::uint32_t ErrorInternetInvalidCa = 12045;
constexpr std::uint32_t ErrorHttpInvalidServerResponse = 12152;
constexpr std::uint32_t ErrorInternetSecurityChannelError = 12157;

std::uint32_t WinInetError(CURLcode code);

}  // namespace PosixBackEnd
