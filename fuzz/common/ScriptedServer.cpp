#include "common/ScriptedServer.h"

#include <algorithm>
#include <cstring>

#include "common/FuzzCheck.h"

namespace corvanteer::fuzz {

// Any call after Close is a client that lost track of its connection. A closed connection
// keeps answering "closed", as a socket does; a client that keeps asking spins for ever.
class ScriptedServer::Stream : public ByteStream {
public:
    explicit Stream(ScriptedServer& server) : server_(server) {}

    bool WriteAll(std::string_view bytes, int /*timeoutMs*/) override {
        FUZZ_CHECK(!closed_);
        server_.writes_.emplace_back(bytes);
        server_.sinceWrite_.clear();
        return !peerClosed_;
    }

    ReadResult ReadSome(char* buffer, std::size_t size, int /*timeoutMs*/) override {
        FUZZ_CHECK(!closed_);
        FUZZ_CHECK(size > 0);
        if (peerClosed_) {
            FUZZ_CHECK(++readsAfterEnd_ < kMostReadsAfterEnd);
            return {ReadStatus::Closed, 0};
        }
        size_t most = size;
        if (server_.nextControl_ < server_.control_.size()) {
            const auto step = static_cast<unsigned char>(server_.control_[server_.nextControl_++]);
            if (step == 0) {
                return {ReadStatus::TimedOut, 0};
            }
            most = std::min<size_t>(most, step);
        }
        const size_t left = server_.bytes_.size() - server_.sent_;
        if (left == 0) {
            peerClosed_ = true;
            return {ReadStatus::Closed, 0};
        }
        const size_t count = std::min(most, left);
        std::memcpy(buffer, server_.bytes_.data() + server_.sent_, count);
        server_.sinceWrite_.append(server_.bytes_, server_.sent_, count);
        server_.sent_ += count;
        return {ReadStatus::Data, count};
    }

    bool WaitReadable(int /*timeoutMs*/) override {
        FUZZ_CHECK(!closed_);
        return true;
    }

    void Close() override { closed_ = true; }

private:
    ScriptedServer& server_;
    static constexpr int kMostReadsAfterEnd = 100;

    bool closed_ = false;
    bool peerClosed_ = false;
    int readsAfterEnd_ = 0;
};

class ScriptedServer::ConnectorImpl : public StreamConnector {
public:
    explicit ConnectorImpl(ScriptedServer& server) : server_(server) {}

    std::unique_ptr<ByteStream> Open(const std::string& /*host*/, int /*port*/,
                                     int /*timeoutMs*/) override {
        ++server_.connections_;
        return std::make_unique<Stream>(server_);
    }

private:
    ScriptedServer& server_;
};

ScriptedServer::ScriptedServer(std::string serverBytes, std::string control)
    : bytes_(std::move(serverBytes)), control_(std::move(control)) {}

std::unique_ptr<StreamConnector> ScriptedServer::Connector() {
    return std::make_unique<ConnectorImpl>(*this);
}

}  // namespace corvanteer::fuzz
