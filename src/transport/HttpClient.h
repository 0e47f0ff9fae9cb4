#pragma once

// The HTTPS requests of the OAuth sign-in and token refresh, behind a small interface so
// tests can answer them without a network. CurlHttpClient is the real one.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanteer {

struct HttpRequest {
    std::string url;                   // an https:// address; nothing else is fetched
    std::string form;                  // the body, application/x-www-form-urlencoded (FormEncode)
    std::string caFile;                // PEM file of CAs trusted besides the system's; empty: none
    int timeoutMs = 30000;             // the whole exchange, connection included
    std::size_t maxBytes = 64 * 1024;  // the answer's body; a longer one is no answer
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
