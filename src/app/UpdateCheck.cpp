#include "app/UpdateCheck.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>

#include "support/Files.h"

namespace corvanteer {

namespace {

constexpr int kMaxRedirects = 5;
constexpr std::size_t kMaxListBytes = 1 << 20;  // a version list is a few lines

// Part n (0-based) of a dotted version as a number; missing parts and parts that are not
// whole numbers count 0.
int VersionPart(const SplitResult& parts, int index) {
    return StrToIntDef(parts.Part(index + 1), 0);
}

std::string TrimBase(std::string_view baseUrl) {
    std::string base(Trim(baseUrl));
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base;
}

}  // namespace

std::string PublishedVersion(const Lines& versionList, std::string_view productKey) {
    const std::string key = LowerCase(productKey);
    for (const std::string& line : versionList) {
        std::string text = Trim(LowerCase(line));
        if (StartsWith(text, key)) {
            return Trim(std::string_view(text).substr(key.size()));
        }
    }
    return kUnknownVersion;
}

bool IsNewerVersion(std::string_view published, std::string_view current) {
    if (published.empty() || published == kUnknownVersion || current.empty()) {
        return false;
    }
    const SplitResult newParts = SplitString(published, ".");
    const SplitResult oldParts = SplitString(current, ".");
    for (int i = 0; i < newParts.count; ++i) {
        const int a = VersionPart(newParts, i);
        const int b = VersionPart(oldParts, i);
        if (a != b) {
            return a > b;
        }
    }
    return false;
}

std::string UpdateMessage(std::string_view published, bool newer) {
    if (newer) {
        return "A newer version has been found (v" + std::string(published) + ")";
    }
    std::string message = "The latest version is " + std::string(published) + ".";
    if (published != kUnknownVersion) {
        message += "\r\nYou already have the latest version.";
    }
    return message;
}

std::string WhatsNewUrl(std::string_view baseUrl) {
    return TrimBase(baseUrl) + kWhatsNewPath;
}

bool HttpGetToFile(HttpClient& http, const std::string& url, const std::string& file, int timeoutMs,
                   std::string& error) {
    HttpRequest request;
    request.url = url;
    request.plainHttp = true;
    request.maxRedirects = kMaxRedirects;
    request.maxBytes = kMaxListBytes;
    request.timeoutMs = timeoutMs;
    const HttpResponse response = http.Get(request);
    if (!response.answered()) {
        error = response.error;
    } else if (response.status != 200) {
        error = "the server answered with status " + std::to_string(response.status);
    } else {
        try {
            WriteFileAtomic(file, response.body);  // the user's alone, as every file we write
            return true;
        } catch (const std::exception& failure) {
            error = failure.what();
        }
    }
    DeleteFileIfExists(file);  // an error page is no version list
    return false;
}

UpdateCheckResult CheckForUpdate(HttpClient& http, const AppPaths& paths,
                                 std::string_view currentVersion, std::string_view baseUrl,
                                 int timeoutMs) {
    UpdateCheckResult result;
    const std::string target = paths.appDir + "temp.txt";
    Lines lines;
    if (HttpGetToFile(http, TrimBase(baseUrl) + kVersionListPath, target, timeoutMs,
                      result.fetchError)) {
        try {
            lines = ReadLines(target);
        } catch (const std::exception& error) {
            result.fetchError = error.what();
        }
    }
    DeleteFileIfExists(target);
    result.published = PublishedVersion(lines);
    result.newer = IsNewerVersion(result.published, currentVersion);
    result.message = UpdateMessage(result.published, result.newer);
    return result;
}

}  // namespace corvanteer
