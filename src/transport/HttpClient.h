#pragma once

// The program's HTTP requests (the OAuth sign-in and token refresh, the update check's version
// list), behind a small interface so tests can answer them without a network. CurlHttpClient
// is the real one.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanteer {

struct HttpRequest {
    std::string url;                   // an https:// address unless plainHttp allows http://
    std::string form;                  // PostForm's body, x-www-form-urlencoded (FormEncode)
    std::string caFile;                // PEM file of CAs trusted besides the system's; empty: none
    int timeoutMs = 30000;             // the whole exchange, connection included
    std::size_t maxBytes = 64 * 1024;  // the answer's body; a longer one is no answer
    // Where a request may lead. By default https:// alone and no redirect followed (a token
    // endpoint never moves); the version list is a plain http:// address that may.
    bool plainHttp = false;  // http:// allowed besides https://
    int maxRedirects = 0;    // redirects followed, each to an allowed scheme only
};

struct HttpResponse {
    long status = 0;    // the HTTP status; 0 when no answer came
    std::string body;   // the answer's body, whatever its status
    std::string error;  // why no answer came, in the program's words; empty when one came

    bool answered() const { return status != 0; }
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // GETs the address. Never raises; a failure is a response without status.
    virtual HttpResponse Get(const HttpRequest& request) = 0;
    // POSTs the form, asking for JSON. Never raises; a failure is a response without status.
    // The form (which holds secrets) never appears in the error text.
    virtual HttpResponse PostForm(const HttpRequest& request) = 0;
};

// Percent-encodes everything but RFC 3986's unreserved characters.
std::string UrlEncode(std::string_view text);
// "name=value&..." with both sides encoded.
std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields);
// The value of a query parameter in "a=1&b=2" (after the "?" of an address), decoded ("+" as a
// blank); empty when absent.
std::string QueryValue(std::string_view query, std::string_view name);
// "https://host[:port]" of an address, for messages that must not carry its query.
std::string UrlOrigin(std::string_view url);

}  // namespace corvanteer
