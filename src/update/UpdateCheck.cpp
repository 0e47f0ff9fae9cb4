#include "update/UpdateCheck.h"

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

constexpr long kMaxRedirects = 5;
constexpr curl_off_t kMaxListBytes = 1 << 20;

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

size_t WriteToFile(char* data, size_t size, size_t count, void* target) {
    return std::fwrite(data, size, count, static_cast<std::FILE*>(target)) * size;
}

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
    // The version comes from a web server: shown without control bytes, on one short line.
    const std::string shown = OneLineText(published, 100);
    if (newer) {
        return "A newer version has been found (v" + shown + ")";
    }
    std::string message = "The latest version is " + shown + ".";
    if (published != kUnknownVersion) {
        message += "\r\nYou already have the latest version.";
    }
    return message;
}

std::string WhatsNewUrl(std::string_view baseUrl) {
    return TrimBase(baseUrl) + kWhatsNewPath;
}

bool HttpGetToFile(const std::string& url, const std::string& file, long timeoutSeconds,
                   std::string& error) {
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        error = "the HTTP client could not be started";
        return false;
    }
    long status = 0;
    CURLcode result = CURLE_OK;
    {
        // Like every file the program writes, the user's alone (fopen would follow the umask).
        const int fd =
            ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kPrivateFileMode);
        if (fd >= 0) {
            ::fchmod(fd, kPrivateFileMode);
        }
        std::unique_ptr<std::FILE, FileCloser> out(fd >= 0 ? ::fdopen(fd, "wb") : nullptr);
        if (!out) {
            if (fd >= 0) {
                ::close(fd);
            }
            error = "cannot write " + file;
            return false;
        }
        char errorText[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, timeoutSeconds);
        curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, timeoutSeconds);
        curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
        // A version list is a few lines; a redirect may lead to HTTP(S) only.
        curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, kMaxListBytes);
#if LIBCURL_VERSION_NUM >= 0x075500
        curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#endif
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, WriteToFile);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, out.get());
        curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorText);
        result = curl_easy_perform(curl.get());
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
        if (result != CURLE_OK) {
            error = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);
        }
        if (std::fflush(out.get()) != 0 && result == CURLE_OK) {
            error = "cannot write " + file;
            result = CURLE_WRITE_ERROR;
        }
    }
    if (result == CURLE_OK && status != 200) {
        error = "the server answered with status " + std::to_string(status);
    }
    if (result != CURLE_OK || status != 200) {
        DeleteFileIfExists(file);  // an error page is no version list
        return false;
    }
    return true;
}

UpdateCheckResult CheckForUpdate(const AppPaths& paths, std::string_view currentVersion,
                                 std::string_view baseUrl, long timeoutSeconds) {
    UpdateCheckResult result;
    const std::string target = paths.appDir + "temp.txt";
    Lines lines;
    if (HttpGetToFile(TrimBase(baseUrl) + kVersionListPath, target, timeoutSeconds,
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
