#pragma once

// The check for a newer version: the version list "/upgrades.txt" on the maker's web server
// names the published version of each product, one "product version" line each.

#include <string>
#include <string_view>

#include "support/AppPaths.h"
#include "support/Text.h"
#include "transport/HttpClient.h"

namespace corvanteer {

// Where the version list and the what's-new page live unless the caller names another base.
inline constexpr const char* kUpdateBaseUrl = "http://www.corvanteer.org";
inline constexpr const char* kVersionListPath = "/upgrades.txt";
inline constexpr const char* kWhatsNewPath = "/corvant/whatsnew.shtml";
// The product title lower-cased.
inline constexpr const char* kProductKey = "corvanteer";
inline constexpr const char* kUnknownVersion = "unknown";

// The rest, trimmed, of the first line that (lower-cased and trimmed) begins with the product
// key; "unknown" when there is none.
std::string PublishedVersion(const Lines& versionList, std::string_view productKey = kProductKey);

// True when published is neither empty nor "unknown", current is not empty, and comparing
// part by part from the left, as many parts as published has (missing parts and parts that
// are not numbers count 0), finds a greater published part before a smaller one.
bool IsNewerVersion(std::string_view published, std::string_view current);

// "A newer version has been found (v" + published + ")" when newer; otherwise
// "The latest version is " + published + "." followed, unless it is "unknown", by CR LF +
// "You already have the latest version.".
std::string UpdateMessage(std::string_view published, bool newer);

// base + "/corvant/whatsnew.shtml"
std::string WhatsNewUrl(std::string_view baseUrl = kUpdateBaseUrl);

// HTTP GET of the URL into the file (http:// or https://, following up to five redirects,
// at most 1 MiB, with the time-out for the whole transfer). True only for status 200; on any
// other outcome the file is removed and error says why.
bool HttpGetToFile(HttpClient& http, const std::string& url, const std::string& file, int timeoutMs,
                   std::string& error);

struct UpdateCheckResult {
    std::string published;  // "unknown" when the list could not be fetched or names no version
    bool newer = false;
    std::string message;     // UpdateMessage
    std::string fetchError;  // why the fetch failed, "" when it worked
};

// Fetches base + "/upgrades.txt" into application directory + "temp.txt", reads it, deletes
// it, and compares the published version with the current one. Never raises: a failed fetch
// gives "unknown".
UpdateCheckResult CheckForUpdate(HttpClient& http, const AppPaths& paths,
                                 std::string_view currentVersion,
                                 std::string_view baseUrl = kUpdateBaseUrl, int timeoutMs = 20000);

}  // namespace corvanteer
