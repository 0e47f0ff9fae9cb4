#pragma once

// HTTP through libcurl: certificates and host names checked, TLS 1.2 at least, no scheme but
// those the request allows, redirects only as far as it allows, every answer bounded in size
// and time.

#include "transport/HttpClient.h"

namespace corvanteer {

class CurlHttpClient final : public HttpClient {
public:
    // The CA file of a request is added to the system's CAs (OpenSSL's default store), as the
    // mail connections do with TlsCAFile, so a test CA or a company CA can sign the server.
    HttpResponse Get(const HttpRequest& request) override;
    HttpResponse PostForm(const HttpRequest& request) override;
};

}  // namespace corvanteer
