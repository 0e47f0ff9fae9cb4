#include "FakePop3Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <utility>

namespace corvanteer::testing {
namespace {

constexpr int kSliceMs = 20;    // how often waits look at the stop flag
constexpr int kIdleMs = 15000;  // a client silent this long is dropped

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// The text as a multi-line reply's lines: a dot before every line that begins with one, and
// the final ".".
std::string Stuffed(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 50 + 8);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == '.') {
            out += '.';
        }
        out += c;
        lineStart = c == '\n';
    }
    if (!out.empty() && !lineStart) {
        out += "\r\n";
    }
    return out + ".\r\n";
}

// The header (up to and with its empty line) and so many lines of the body.
std::string TopOf(std::string_view text, int lines) {
    std::size_t end = text.find("\r\n\r\n");
    end = end == std::string_view::npos ? text.size() : end + 4;
    for (int i = 0; i < lines && end < text.size(); ++i) {
        const std::size_t next = text.find("\r\n", end);
        end = next == std::string_view::npos ? text.size() : next + 2;
    }
    return std::string(text.substr(0, end));
}

// Word index (0-based) of a command line.
std::string Word(const std::string& line, int index) {
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = line.find(' ', start);
        if (start == std::string::npos) {
            return {};
        }
        ++start;
    }
    return line.substr(start, line.find(' ', start) - start);
}

}  // namespace

FakePop3Server::FakePop3Server(std::vector<std::string> messages, Options options)
    : options_(std::move(options)), random_(options_.seed) {
    for (std::size_t i = 0; i < messages.size(); ++i) {
        mailbox_.push_back({std::move(messages[i]), "uid-" + std::to_string(i + 1), false});
    }
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listenFd_, 4) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::abort();  // a test machine without loopback sockets
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FakePop3Server::~FakePop3Server() {
    stop_ = true;
    thread_.join();
    close(listenFd_);
}

std::vector<std::string> FakePop3Server::Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> left;
    for (const Stored& stored : mailbox_) {
        if (!stored.gone) {
            left.push_back(stored.text);
        }
    }
    return left;
}

std::vector<std::string> FakePop3Server::Commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

int FakePop3Server::CommandsAhead() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ahead_;
}

void FakePop3Server::Serve() {
    bool first = true;
    while (!stop_) {
        pollfd wait{listenFd_, POLLIN, 0};
        if (poll(&wait, 1, kSliceMs) <= 0) {
            continue;
        }
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        Session(fd, first);
        first = false;
        close(fd);
    }
}

bool FakePop3Server::SendReply(int fd, const std::string& reply) {
    if (options_.pieceBytes == 0) {
        if (options_.pauseMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.pauseMs));
        }
        return SendAll(fd, reply);
    }
    std::string_view rest = reply;
    while (!rest.empty()) {
        const std::size_t piece = std::min(
            rest.size(), 1 + static_cast<std::size_t>(rand_r(&random_)) % options_.pieceBytes);
        if (options_.pauseMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.pauseMs));
        }
        if (!SendAll(fd, rest.substr(0, piece))) {
            return false;
        }
        rest.remove_prefix(piece);
    }
    return true;
}

void FakePop3Server::Session(int fd, bool first) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back("CONNECT");
    }
    if (!SendReply(fd, "+OK fake POP3 ready\r\n")) {
        return;
    }
    std::vector<std::size_t> view;  // the mailbox as this session numbers it
    std::vector<bool> marked;
    bool authorised = false;
    int walkReplies = 0;
    std::string pending;
    int idleMs = 0;
    while (!stop_ && idleMs < kIdleMs) {
        const std::size_t cut = pending.find("\r\n");
        if (cut == std::string::npos) {
            pollfd wait{fd, POLLIN, 0};
            if (poll(&wait, 1, kSliceMs) <= 0) {
                idleMs += kSliceMs;
                continue;
            }
            char buffer[4096];
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return;  // the client went: nothing marked is deleted
            }
            pending.append(buffer, static_cast<std::size_t>(got));
            idleMs = 0;
            continue;
        }
        const std::string line = pending.substr(0, cut);
        pending.erase(0, cut + 2);
        bool quit = false;
        std::string reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(line);
            if (!pending.empty()) {
                ++ahead_;
            }
            reply = Answer(line, view, marked, authorised, quit);
        }
        if (!SendReply(fd, reply) || quit) {
            return;
        }
        const std::string verb = Word(line, 0);
        if (verb == "TOP" || verb == "RETR" || verb == "DELE") {
            if (first && ++walkReplies == options_.dropAfter) {
                shutdown(fd, SHUT_RDWR);
                return;
            }
        }
    }
}

std::string FakePop3Server::Answer(const std::string& line, std::vector<std::size_t>& view,
                                   std::vector<bool>& marked, bool& authorised, bool& quit) {
    const std::string verb = Word(line, 0);
    const int number = std::atoi(Word(line, 1).c_str());
    const bool known = authorised && number >= 1 && number <= static_cast<int>(view.size()) &&
                       !marked[static_cast<std::size_t>(number - 1)];
    auto text = [&](int n) -> const std::string& {
        return mailbox_[view[static_cast<std::size_t>(n - 1)]].text;
    };
    auto listedSize = [&](int n) {
        const auto lie = options_.listedSizes.find(n);
        return lie != options_.listedSizes.end() ? lie->second
                                                 : static_cast<int64_t>(text(n).size());
    };
    if (verb == "CAPA") {
        return std::string("+OK\r\nUSER\r\nTOP\r\n") + (options_.uidl ? "UIDL\r\n" : "") +
               (options_.pipelining ? "PIPELINING\r\n" : "") + ".\r\n";
    }
    if (verb == "USER") {
        return "+OK\r\n";
    }
    if (verb == "PASS") {
        if (Word(line, 1) != options_.password) {
            return "-ERR wrong password\r\n";
        }
        authorised = true;
        view.clear();
        for (std::size_t i = 0; i < mailbox_.size(); ++i) {
            if (!mailbox_[i].gone) {
                view.push_back(i);
            }
        }
        marked.assign(view.size(), false);
        return "+OK logged in\r\n";
    }
    if (verb == "QUIT") {
        quit = true;
        for (std::size_t i = 0; i < view.size(); ++i) {
            if (marked[i]) {
                mailbox_[view[i]].gone = true;
            }
        }
        return "+OK bye\r\n";
    }
    if (!authorised) {
        return "-ERR log in first\r\n";
    }
    if (verb == "STAT") {
        int64_t size = 0;
        for (std::size_t n = 1; n <= view.size(); ++n) {
            size += static_cast<int64_t>(text(static_cast<int>(n)).size());
        }
        return "+OK " + std::to_string(view.size()) + " " + std::to_string(size) + "\r\n";
    }
    if ((verb == "LIST" || verb == "UIDL") && Word(line, 1).empty()) {
        if (verb == "UIDL" && !options_.uidl) {
            return "-ERR no UIDL here\r\n";
        }
        std::string reply = "+OK\r\n";
        for (int n = 1; n <= static_cast<int>(view.size()); ++n) {
            if (!marked[static_cast<std::size_t>(n - 1)]) {
                reply += std::to_string(n) + " " +
                         (verb == "LIST" ? std::to_string(listedSize(n))
                                         : mailbox_[view[static_cast<std::size_t>(n - 1)]].uid) +
                         "\r\n";
            }
        }
        return reply + ".\r\n";
    }
    if (!known) {
        return "-ERR no such message\r\n";
    }
    if (verb == "LIST") {
        return "+OK " + std::to_string(number) + " " + std::to_string(listedSize(number)) + "\r\n";
    }
    if (verb == "TOP") {
        return "+OK\r\n" + Stuffed(TopOf(text(number), std::atoi(Word(line, 2).c_str())));
    }
    if (verb == "RETR") {
        return "+OK " + std::to_string(text(number).size()) + " octets\r\n" + Stuffed(text(number));
    }
    if (verb == "DELE") {
        marked[static_cast<std::size_t>(number - 1)] = true;
        if (options_.deleteAtOnce) {
            mailbox_[view[static_cast<std::size_t>(number - 1)]].gone = true;
        }
        return "+OK deleted\r\n";
    }
    return "-ERR unknown command\r\n";
}

}  // namespace corvanteer::testing
