// Images and sounds that a board names only by a web address, fetched with libcurl when the
// computer is online: HTTPS only (redirects too), a short timeout, a size limit. The first
// failure to reach the network switches fetching off for the rest of the import, so an
// offline import does not wait once per picture. libcurl is loaded on first use; without it
// nothing is fetched.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Fetches url into bytes (at most maxBytes); false with a short reason.
using TObfFetcher = std::function<bool(const std::string& url, std::size_t maxBytes,
                                       std::string& bytes, std::string& why)>;

class CTQObfFetch {
public:
    static constexpr long ConnectTimeoutSeconds = 5;
    static constexpr long TimeoutSeconds = 15;
    static constexpr int MaxFetches = 2000;

    // One fetcher for one import (it counts its fetches and remembers being offline).
    static TObfFetcher Make();
    static bool IsHttps(const std::string& url);
};
