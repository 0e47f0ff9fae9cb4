#pragma once

// The program's end of a sign-in in a browser (RFC 8252 section 7.3): a listener on
// 127.0.0.1 at a port the system picks, to which the authorization server sends the browser
// back with the code.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "transport/ByteStream.h"

namespace corvanteer {

// One request a browser made: what it asked for, and the connection to answer it on.
class LoopbackRequest {
public:
    LoopbackRequest(std::string target, std::unique_ptr<ByteStream> stream)
        : target_(std::move(target)), stream_(std::move(stream)) {}
    // The request target: "/?code=...&state=...".
    const std::string& Target() const { return target_; }
    std::string Path() const;
    std::string Query() const;  // after "?"; empty when none
    // Answers with a small HTML page (title and text HTML-escaped) and closes.
    void Answer(int status, const std::string& title, const std::string& text);

private:
    std::string target_;
    std::unique_ptr<ByteStream> stream_;
};

class LoopbackListener {
public:
    // Listens on 127.0.0.1; Listening() says whether that worked.
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool Listening() const { return fd_ >= 0; }
    int Port() const { return port_; }
    // "http://127.0.0.1:<port>/", the redirect address of the sign-in.
    std::string RedirectUri() const;

    // The next GET request, read within requestTimeoutMs of its connection (a request that
    // is not a GET within 8 KiB of header is answered 400 and skipped). nullopt when
    // timeoutMs passed or stop() returned true (asked every 200 ms).
    std::optional<LoopbackRequest> Next(int64_t timeoutMs, const std::function<bool()>& stop,
                                        int requestTimeoutMs = 10000);

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace corvanteer
