// The 127.0.0.N addresses of fixtures on fixed ports (80, 443): one per test,
// so that suites run side by side never compete for an address.
#pragma once

namespace FixedAddress {
constexpr int ExchangeGet = 31;
constexpr int ExchangePost = 32;
constexpr int HttpsDefaultPort = 33;
}  // namespace FixedAddress
