#include "oauth/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "support/Text.h"
#include "transport/TcpStream.h"

namespace corvanteer {

namespace {

constexpr std::size_t kMaxRequestHeader = 8 * 1024;
constexpr int kStopCheckMs = 200;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        default:
            return "Error";
    }
}

// The request target of "GET <target> HTTP/1.x"; nullopt for anything else.
std::optional<std::string> GetTarget(const std::string& header) {
    const std::string line = header.substr(0, header.find("\r\n"));
    const SplitResult parts = SplitString(line, " ");
    if (parts.count != 3 || parts.Part(1) != "GET" || !StartsWith(parts.Part(3), "HTTP/1.") ||
        !StartsWith(parts.Part(2), "/")) {
        return std::nullopt;
    }
    return parts.Part(2);
}

}  // namespace

std::string LoopbackRequest::Path() const {
    return target_.substr(0, target_.find('?'));
}

std::string LoopbackRequest::Query() const {
    const std::size_t mark = target_.find('?');
    return mark == std::string::npos ? std::string() : target_.substr(mark + 1);
}

void LoopbackRequest::Answer(int status, const std::string& title, const std::string& text) {
    const std::string body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                             HtmlEscape(title) + "</title></head><body><h1>" + HtmlEscape(title) +
                             "</h1><p>" + HtmlEscape(text) + "</p></body></html>\n";
    const std::string response = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                                 "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                                 std::to_string(body.size()) +
                                 "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
    if (stream_) {
        stream_->WriteAll(response, 5000);
        stream_->Close();
        stream_.reset();
    }
}

LoopbackListener::LoopbackListener() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 8) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        close(fd);
        return;
    }
    fd_ = fd;
    port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::string LoopbackListener::RedirectUri() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::optional<LoopbackRequest> LoopbackListener::Next(int64_t timeoutMs,
                                                      const std::function<bool()>& stop,
                                                      int requestTimeoutMs) {
    if (fd_ < 0) {
        return std::nullopt;
    }
    const int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        if (stop && stop()) {
            return std::nullopt;
        }
        const int64_t left = deadline - NowMs();
        if (left <= 0) {
            return std::nullopt;
        }
        pollfd entry{fd_, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(std::min<int64_t>(left, kStopCheckMs)));
        if (ready <= 0) {
            continue;  // a time slice passed, or a signal came
        }
        const int connection = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        auto stream = std::make_unique<TcpStream>(connection);
        std::string header;
        const int64_t requestEnd = NowMs() + requestTimeoutMs;
        char buffer[2048];
        while (header.find("\r\n\r\n") == std::string::npos && header.size() <= kMaxRequestHeader &&
               NowMs() < requestEnd) {
            const ReadResult read =
                stream->ReadSome(buffer, sizeof buffer,
                                 static_cast<int>(std::max<int64_t>(1, requestEnd - NowMs())));
            if (read.status != ReadStatus::Data) {
                break;
            }
            header.append(buffer, read.count);
        }
        const std::optional<std::string> target =
            header.find("\r\n\r\n") == std::string::npos ? std::nullopt : GetTarget(header);
        LoopbackRequest request(target.value_or(""), std::move(stream));
        if (!target) {
            request.Answer(400, "Bad request", "This address only takes the sign-in's answer.");
            continue;
        }
        return request;
    }
}

}  // namespace corvanteer
