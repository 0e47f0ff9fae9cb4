#pragma once

// The server's side of the mail clients' connection, played from a fuzz input: the bytes the
// server sends, cut into reads as control bytes say (with time-outs among them), and a record
// of everything the client writes. The record outlives the streams the client closes.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "transport/ByteStream.h"

namespace corvanteer::fuzz {

class ScriptedServer {
public:
    // Each control byte decides one read: 0 is a time-out, any other value the most bytes
    // that read hands over. When the control bytes run out, reads hand over what the caller's
    // buffer takes. After the last byte every read reports the connection closed.
    ScriptedServer(std::string serverBytes, std::string control);

    // One write of the client, whole.
    const std::vector<std::string>& Writes() const { return writes_; }
    // What the server handed over since the client's last write.
    const std::string& SinceLastWrite() const { return sinceWrite_; }
    int Connections() const { return connections_; }

    std::unique_ptr<StreamConnector> Connector();

private:
    class Stream;
    class ConnectorImpl;

    std::string bytes_;
    std::string control_;
    size_t sent_ = 0;
    size_t nextControl_ = 0;
    std::vector<std::string> writes_;
    std::string sinceWrite_;
    int connections_ = 0;
};

}  // namespace corvanteer::fuzz
