#include "transport/CurlHttpClient.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <mutex>

#include "support/Text.h"

namespace corvanteer {

namespace {

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Transfer {
    std::string body;
    std::size_t maxBytes = 0;
    bool tooLong = false;
    const std::string* caFile = nullptr;
    bool caLoaded = true;
};

size_t Collect(char* data, size_t size, size_t count, void* target) {
    auto* transfer = static_cast<Transfer*>(target);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->maxBytes) {
        transfer->tooLong = true;
        return 0;  // ends the transfer
    }
    transfer->body.append(data, bytes);
    return bytes;
}

// Adds the extra CA file to the store OpenSSL already filled with the system's CAs.
CURLcode AddCaFile(CURL*, void* sslContext, void* target) {
    auto* transfer = static_cast<Transfer*>(target);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (store == nullptr || X509_STORE_load_file(store, transfer->caFile->c_str()) != 1) {
        transfer->caLoaded = false;
        return CURLE_SSL_CACERT_BADFILE;
    }
    return CURLE_OK;
}

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Both methods: the scheme, the CA file, the limits and the reading of the answer are one.
HttpResponse Perform(const HttpRequest& request, bool post) {
    HttpResponse response;
    const std::string where = UrlOrigin(request.url);
    const bool https = StartsWithText(request.url, "https://");
    if (!https && !(request.plainHttp && StartsWithText(request.url, "http://"))) {
        response.error = std::string("refused to ") + (post ? "send to " : "fetch ") + where +
                         ": not an " + (request.plainHttp ? "http:// or https://" : "https://") +
                         " address";
        return response;
    }
    // Checked before connecting: the TLS set-up that loads it only runs once a server answers.
    if (!request.caFile.empty() && !std::ifstream(request.caFile).good()) {
        response.error = "cannot read the CA file " + request.caFile;
        return response;
    }
    InitOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        response.error = post ? "cannot start an HTTPS request" : "cannot start an HTTP request";
        return response;
    }
    std::unique_ptr<curl_slist, ListDeleter> headers;
    if (post) {
        headers.reset(curl_slist_append(nullptr, "Accept: application/json"));
        headers.reset(curl_slist_append(headers.release(),
                                        "Content-Type: application/x-www-form-urlencoded"));
    }
    Transfer transfer;
    transfer.maxBytes = request.maxBytes;
    transfer.caFile = &request.caFile;
    char errorText[CURL_ERROR_SIZE] = {};
    const char* schemes = request.plainHttp ? "http,https" : "https";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, schemes);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, schemes);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, request.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(request.maxRedirects));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::min(request.timeoutMs, 15000)));
    // An announced length over the limit ends the transfer before the body comes.
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBytes));
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Corvanteer");
    if (post) {
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.form.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.form.size()));
    }
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    if (!request.caFile.empty()) {
        if (curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, AddCaFile) != CURLE_OK) {
            response.error = "this libcurl cannot add the CA file " + request.caFile;
            return response;
        }
        curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, &transfer);
    }
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) {
        if (transfer.tooLong || code == CURLE_FILESIZE_EXCEEDED) {
            response.error = "the answer of " + where + " is too long";
        } else if (!transfer.caLoaded) {
            response.error = "cannot read the CA file " + request.caFile;
        } else {
            response.error = "no answer from " + where + ": " +
                             (errorText[0] != '\0' ? errorText : curl_easy_strerror(code));
        }
        return response;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(transfer.body);
    if (response.status == 0) {
        response.error = "no answer from " + where;
    }
    return response;
}

}  // namespace

HttpResponse CurlHttpClient::Get(const HttpRequest& request) {
    return Perform(request, false);
}

HttpResponse CurlHttpClient::PostForm(const HttpRequest& request) {
    return Perform(request, true);
}

}  // namespace corvanteer
