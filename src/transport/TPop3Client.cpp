#include "transport/TPop3Client.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <utility>

#include "support/ConnectionSecurity.h"
#include "support/Text.h"
#include "transport/LoginSafety.h"
#include "transport/OAuthLogin.h"
#include "transport/Pop3Replies.h"
#include "transport/Sasl.h"
#include "transport/TBase64.h"
#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

// A one-line response longer than this is a lying or broken server, not a reply. A TOP or
// RETR response may exceed the message size by as much, for its status line and stuffing.
constexpr std::size_t kMaxLineResponse = 64 * 1024;
// A listing (CAPA, LIST, UIDL) may have this much for each message besides.
constexpr std::size_t kMaxListingLine = 128;
constexpr std::size_t kMaxListing = 256 * 1024 * 1024;
// The most a message's buffer is made ready for from its listed size before it arrives.
constexpr int64_t kMaxReserve = 256 * 1024 * 1024;

// The octets of a "+OK n size" LIST reply; nullopt when there is no number. A size too
// large for the type is as large as it gets (it is over any limit).
std::optional<int64_t> ListedSize(std::string_view response) {
    SplitResult parts = SplitString(response, " ");
    const std::string text = Trim(parts.Part(3));
    int64_t size = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error == std::errc::result_out_of_range) {
        return std::numeric_limits<int64_t>::max();
    }
    if (error != std::errc() || end != text.data() + text.size() || size < 0) {
        return std::nullopt;
    }
    return size;
}

bool IsPositive(std::string_view response) {
    return StartsWith(response, "+OK");
}

// A reply that is one line and nothing more: bytes after the STLS answer would be taken
// into the protected conversation, so a server (or someone in between) sending them is
// refused.
bool IsOneLine(std::string_view response) {
    return response.find("\r\n") == response.size() - 2;
}

// The lines of a positive multi-line response between its status line and its final ".".
Lines ListedLines(const std::string& response) {
    Lines lines = TextToLines(response);
    if (lines.size() < 2) {
        return {};
    }
    return Lines(lines.begin() + 1, lines.end() - 1);
}

bool Lists(const Lines& capabilities, std::string_view keyword) {
    for (const std::string& line : capabilities) {
        if (SameText(Trim(SplitString(line, " ").Part(1)), keyword)) {
            return true;
        }
    }
    return false;
}

// RFC 2449's limit on a command line, CR LF included; a longer AUTH goes in two lines.
constexpr std::size_t kMaxCommandLine = 255;
// Challenges a token login answers before it counts as refused.
constexpr int kMaxChallenges = 4;

std::string Base64(std::string_view text) {
    std::string encoded;
    TBase64().Encode(text, encoded);
    return encoded;
}

// A continuation of an AUTH exchange ("+ " and a Base64 challenge), not "+OK".
bool IsChallenge(std::string_view reply) {
    return StartsWith(reply, "+") && !IsPositive(reply);
}

}  // namespace

TPop3Client::TPop3Client() : TPop3Client(std::make_unique<TcpConnector>()) {}

TPop3Client::TPop3Client(std::unique_ptr<StreamConnector> connector)
    : connector_(std::move(connector)) {}

TPop3Client::~TPop3Client() = default;

void TPop3Client::CloseConnection() {
    if (stream_) {
        stream_->Close();
        stream_.reset();
    }
    // Commands still in flight get failed replies from ReadNext.
    outgoing_.clear();
    reader_.Forget();
}

ReplyStatus TPop3Client::ReadReply(ReadAs read, std::string& status, std::string& content,
                                   int64_t reserve) {
    status.clear();
    content.clear();
    lastStatus_ = ReplyStatus::Closed;
    if (!stream_) {
        return lastStatus_;
    }
    ReplyLimits limits{FirstByteTimeoutMs, ReadTimeoutMs, 0, clock_, ReplyTotalMs};
    if (read == ReadAs::Line) {
        LineSink sink(status, kMaxLineResponse);
        lastStatus_ = reader_.ReadInto(*stream_, limits, sink);
    } else {
        limits.readMs = MultiLineReadTimeoutMs;
        limits.windowMs = SlowReplyWindowMs;
        limits.windowMinBytes = SlowReplyMinBytes;
        MultiLineSink::Limits lines;
        lines.unstuff = read != ReadAs::Top;
        if (read == ReadAs::MultiLine) {
            const auto count = static_cast<std::size_t>(std::max(MessageCount, 0));
            lines.maxOctets = std::min(kMaxListing, kMaxLineResponse + kMaxListingLine * count);
        } else if (MaxMessageSize > 0) {
            lines.maxOctets = static_cast<std::size_t>(MaxMessageSize);
        }
        if (read == ReadAs::Top) {
            lines.keepOctets = kMaxHeaderOctets;
        }
        if (reserve > 0) {
            content.reserve(static_cast<std::size_t>(std::min<int64_t>(reserve, kMaxReserve)));
        }
        MultiLineSink sink(status, content, lines);
        lastStatus_ = reader_.ReadInto(*stream_, limits, sink);
        if (lastStatus_ == ReplyStatus::TooLong) {
            LastMessageSize = static_cast<int64_t>(sink.Octets());
        }
    }
    if (lastStatus_ != ReplyStatus::Complete) {
        // A partial response must not pass for a positive one, and what is still on its way
        // would be taken for the next command's reply.
        status.clear();
        content.clear();
        content.shrink_to_fit();
        CloseConnection();
    }
    return lastStatus_;
}

void TPop3Client::ReadResponse(bool multiLine, std::string& response) {
    ResponseDone = false;
    std::string content;
    ReadReply(multiLine ? ReadAs::MultiLine : ReadAs::Line, response, content);
    if (multiLine && !response.empty() && response.front() != '-') {
        response += content;
        response += ".\r\n";
    }
    ResponseDone = true;
}

void TPop3Client::Queue(std::string_view command, InFlight entry) {
    outgoing_ += command;
    inFlight_.push_back(std::move(entry));
}

Pop3Reply TPop3Client::ReadNext(std::string* statusLine) {
    InFlight entry = std::move(inFlight_.front());
    inFlight_.pop_front();
    Pop3Reply reply;
    reply.command = entry.command;
    sendFailed_ = false;
    if (stream_ && !outgoing_.empty()) {
        if (!stream_->WriteAll(outgoing_, SendTimeoutMs)) {
            sendFailed_ = true;
            lastStatus_ = ReplyStatus::Closed;
            CloseConnection();
        }
        outgoing_.clear();
    }
    ResponseDone = false;
    std::string status;
    int64_t reserve = 0;
    if (entry.read == ReadAs::Retrieve) {
        auto listed = listedSizes_.find(entry.command.number);
        reserve = listed == listedSizes_.end() ? 0 : listed->second;
    }
    const ReplyStatus read = ReadReply(entry.read, status, reply.message, reserve);
    ResponseDone = true;
    reply.tooBig = read == ReplyStatus::TooLong && entry.read != ReadAs::Line;
    reply.size = reply.tooBig ? LastMessageSize : 0;
    reply.positive = IsPositive(status);
    if (reply.positive) {
        if (entry.read == ReadAs::Top) {
            // The header, then (TopLines) the body lines: Body keeps those.
            const std::size_t blank =
                StartsWith(reply.message, "\r\n") ? 0 : reply.message.find("\r\n\r\n");
            const std::size_t headerEnd =
                blank == std::string::npos ? reply.message.size() : blank + (blank == 0 ? 0 : 2);
            reply.header = TextToLines(std::string_view(reply.message).substr(0, headerEnd));
            reply.header.emplace_back();
            reply.message.erase(0,
                                blank == std::string::npos ? reply.message.size() : headerEnd + 2);
        }
    } else {
        reply.error = Failed(entry.what, status);
        reply.message = status;
    }
    if (statusLine != nullptr) {
        *statusLine = std::move(status);
    }
    return reply;
}

Pop3Reply TPop3Client::Await(std::string* statusLine) {
    while (inFlight_.size() > 1) {
        early_.push_back(ReadNext());
    }
    return ReadNext(statusLine);
}

std::string TPop3Client::Exchange(std::string_view command, bool multiLine) {
    const std::string verb(command.substr(0, command.find_first_of(" \r")));
    Queue(command, {multiLine ? ReadAs::MultiLine : ReadAs::Line, {}, verb});
    std::string response;
    Pop3Reply reply = Await(&response);
    if (reply.positive && multiLine) {
        response += reply.message;
        response += ".\r\n";
    }
    return response;
}

std::string TPop3Client::Where() const {
    return HostAddress + ":" + std::to_string(Port);
}

MailError TPop3Client::Failed(const std::string& what, const std::string& response) const {
    if (!response.empty()) {
        // The server's first line only: a refusal is one line, and a multi-line reply here
        // would be a message, not a reason.
        return ServerSaid(MailFailure::Refused, Where() + " refused " + what,
                          response.substr(0, response.find("\r\n")));
    }
    if (sendFailed_) {
        return Fail(MailFailure::Connection,
                    "the connection to " + Where() + " broke while sending " + what);
    }
    switch (lastStatus_) {
        case ReplyStatus::NoData:
            return Fail(MailFailure::Timeout, "no reply to " + what + " from " + Where() +
                                                  " within " +
                                                  std::to_string(FirstByteTimeoutMs / 1000) + " s");
        case ReplyStatus::Stalled:
            return Fail(MailFailure::Timeout,
                        "the reply to " + what + " from " + Where() + " stopped arriving");
        case ReplyStatus::TooSlow:
            return Fail(MailFailure::Timeout,
                        "the reply to " + what + " from " + Where() + " did not end in time");
        case ReplyStatus::TooLong:
            return Fail(MailFailure::Connection,
                        "the reply to " + what + " from " + Where() + " is too long");
        default:
            return Fail(MailFailure::Connection, stream_ || lastStatus_ == ReplyStatus::Closed
                                                     ? Where() + " closed the connection"
                                                     : "not connected to " + Where());
    }
}

std::optional<Lines> TPop3Client::Capabilities() {
    const std::string response = Exchange("CAPA\r\n", true);
    if (!IsPositive(response)) {
        return std::nullopt;
    }
    return ListedLines(response);
}

bool TPop3Client::UpgradeToTls(MailError& error) {
    if (reader_.Holding()) {
        // Bytes after the STLS answer would be taken into the protected conversation.
        error = Fail(MailFailure::Tls, Where() + " sent more than its answer to STLS");
        CloseConnection();
        return false;
    }
    TlsPeer peer{HostAddress, Port, Security.Fingerprint, Security.CAFile};
    stream_ =
        tls_.Start(std::move(stream_), peer, FirstByteTimeoutMs, SendTimeoutMs, tlsInfo_, error);
    return stream_ != nullptr;
}

bool TPop3Client::Connect(MailError& error, Lines* capabilities) {
    CloseConnection();
    ForgetWalk();
    tlsInfo_ = TlsInfo{};
    const std::optional<SecurityMode> mode = ParseSecurity(Security.Mode);
    if (!mode) {
        error = Fail(MailFailure::Settings, "unknown security mode \"" + Security.Mode + "\" for " +
                                                Where() + " (auto, tls, starttls or none)");
        return false;
    }
    error = CheckConnectionValues(HostAddress, Port, User, Password);
    if (!error.ok()) {
        return false;
    }
    const SecurityMode security = ResolveSecurity(*mode, Port);
    securityUsed_ = SecurityName(security);
    if ((security == SecurityMode::Tls || security == SecurityMode::StartTls) &&
        !tls_.Prepare({HostAddress, Port, Security.Fingerprint, Security.CAFile}, error)) {
        return false;
    }
    stream_ = connector_->Open(HostAddress, Port, ConnectTimeoutMs);
    if (!stream_) {
        error = Fail(MailFailure::Connect, "cannot connect to " + Where());
        return false;
    }
    if (security == SecurityMode::Tls && !UpgradeToTls(error)) {
        return false;
    }
    std::string greeting;
    ReadResponse(false, greeting);
    if (!IsPositive(greeting)) {
        error = Failed("the connection", greeting);
        return false;
    }
    if (security == SecurityMode::Tls || security == SecurityMode::None) {
        if (capabilities != nullptr) {
            *capabilities = Capabilities().value_or(Lines{});
            if (!stream_) {
                error = Failed("CAPA", "");
                return false;
            }
        }
        return true;
    }
    // starttls, or auto on a port of its own: what the server offers decides.
    std::optional<Lines> offered = Capabilities();
    if (!stream_) {
        error = Failed("CAPA", "");
        return false;
    }
    const LoginSecret secret =
        Auth == LoginMethod::OAuth2 ? LoginSecret::Token : LoginSecret::Password;
    switch (DecidePlain(security, offered && Lists(*offered, "STLS"), secret,
                        IsLoopbackHost(HostAddress))) {
        case PlainStep::StayPlain:
            securityUsed_ = SecurityName(SecurityMode::None);
            if (capabilities != nullptr) {
                *capabilities = offered.value_or(Lines{});
            }
            return true;
        case PlainStep::RefuseNoTls:
            error = Fail(MailFailure::Tls, Where() + " does not offer STLS; nothing more was sent");
            return false;
        case PlainStep::RefuseClearLogin:
            error = ClearLoginRefused(Where(), Security, secret, "995");
            return false;
        case PlainStep::Upgrade:
            break;
    }
    const std::string reply = Exchange("STLS\r\n", false);
    if (!IsPositive(reply)) {
        error = reply.empty() ? Failed("STLS", reply)
                              : ServerSaid(MailFailure::Tls, Where() + " refused STLS",
                                           reply.substr(0, reply.find("\r\n")));
        return false;
    }
    if (!IsOneLine(reply)) {
        error = Fail(MailFailure::Tls, Where() + " sent more than its answer to STLS");
        CloseConnection();
        return false;
    }
    if (!UpgradeToTls(error)) {
        return false;
    }
    securityUsed_ = SecurityName(SecurityMode::StartTls);
    // What the server said before the handshake may have been forged; ask again.
    if (capabilities != nullptr) {
        *capabilities = Capabilities().value_or(Lines{});
    } else {
        Capabilities();
    }
    if (!stream_) {
        error = Failed("CAPA", "");
        return false;
    }
    return true;
}

bool TPop3Client::SendCredentials(MailError& error) {
    std::string reply = Exchange("USER " + User + "\r\n", false);
    if (IsPositive(reply)) {
        reply = Exchange("PASS " + Password + "\r\n", false);
        if (IsPositive(reply)) {
            return true;
        }
    }
    error = Failed("the login", reply);
    if (error.kind == MailFailure::Refused) {
        error.kind = MailFailure::Auth;
    }
    return false;
}

bool TPop3Client::SendToken(const Lines& capabilities, const std::string& token, MailError& error) {
    std::unique_ptr<SaslMechanism> mechanism =
        PickTokenMechanism(OfferedPop3Mechanisms(capabilities), User, HostAddress, Port, token);
    if (!mechanism) {
        error = Fail(MailFailure::Auth, Where() +
                                            " offers neither AUTH XOAUTH2 nor AUTH OAUTHBEARER; "
                                            "the token was not sent");
        return false;
    }
    const std::string what = "AUTH " + mechanism->Name();
    std::string command = what;
    std::optional<std::string> pending;
    if (auto initial = mechanism->InitialResponse()) {
        const std::string encoded = Base64(*initial);
        if (command.size() + 1 + encoded.size() + 2 <= kMaxCommandLine) {
            command += " " + encoded;
        } else {
            pending = encoded;
        }
    }
    std::string reply = Exchange(command + "\r\n", false);
    for (int round = 0; IsChallenge(reply) && round < kMaxChallenges; ++round) {
        std::string line;
        if (pending) {
            line = std::move(*pending);
            pending.reset();
        } else if (auto response = mechanism->Respond(Trim(reply.substr(1)))) {
            line = Base64(*response);
        } else {
            line = "*";  // cancels the exchange (RFC 5034)
        }
        reply = Exchange(line + "\r\n", false);
    }
    if (IsPositive(reply)) {
        return true;
    }
    error = Failed(what, reply);
    if (error.kind == MailFailure::Refused) {
        error.kind = MailFailure::Auth;
    }
    error = TokenRefused(std::move(error), mechanism->ServerError());
    return false;
}

bool TPop3Client::TokenFirst(std::string& token, MailError& error) {
    if (Auth != LoginMethod::OAuth2) {
        return true;
    }
    const std::optional<SecurityMode> mode = ParseSecurity(Security.Mode);
    if (!mode) {
        return true;  // Connect names the unknown mode
    }
    return TokenForLogin(Tokens, TokenAccount, User, ResolveSecurity(*mode, Port), Where(), token,
                         error);
}

bool TPop3Client::LogIn(const Lines& capabilities, const std::string& token, MailError& error) {
    return Auth == LoginMethod::OAuth2 ? SendToken(capabilities, token, error)
                                       : SendCredentials(error);
}

bool TPop3Client::Login() {
    LastError = MailError{};
    std::string token;
    Lines capabilities;
    const bool oauth = Auth == LoginMethod::OAuth2;
    if (!TokenFirst(token, LastError) || !Connect(LastError, oauth ? &capabilities : nullptr) ||
        !LogIn(capabilities, token, LastError)) {
        return false;
    }
    Stat();
    LastError = MailError{};
    return true;
}

ProbeReport TPop3Client::Probe() {
    ProbeReport report;
    LastError = MailError{};
    const std::optional<SecurityMode> mode = ParseSecurity(Security.Mode);
    securityUsed_ = mode ? SecurityName(ResolveSecurity(*mode, Port)) : Security.Mode;
    std::string token;
    const bool tokenHad = TokenFirst(token, report.error);
    const bool connected = tokenHad && Connect(report.error, &report.capabilities);
    report.connected = connected || (tokenHad && report.error.kind != MailFailure::Connect);
    report.tls = tlsInfo_;
    report.security = securityUsed_;
    if (connected) {
        if (LogIn(report.capabilities, token, report.error)) {
            report.login = LoginOutcome::Accepted;
            if (Stat()) {
                report.messageCount = MessageCount;
            } else {
                report.error = LastError;
            }
        } else if (report.error.kind == MailFailure::Auth) {
            report.login = LoginOutcome::Refused;
        }
    }
    Quit();
    LastError = report.error;
    return report;
}

bool TPop3Client::Stat() {
    std::string response = Exchange("STAT\r\n", false);
    if (!IsPositive(response)) {
        LastError = Failed("STAT", response);
        return false;
    }
    SplitResult parts = SplitString(response, " ");
    MessageCount = StrToIntDef(Trim(parts.Part(2)), 0);
    MailboxSize = StrToIntDef(Trim(parts.Part(3)), 0);
    return true;
}

std::size_t TPop3Client::Window() const {
    return pipelining_ ? std::max<std::size_t>(PipelineWindow, 1) : 1;
}

void TPop3Client::Send(const Pop3Command& command) {
    const std::string number = std::to_string(command.number);
    switch (command.kind) {
        case Pop3Command::Kind::Top:
            Queue("TOP " + number + " " + std::to_string(TopLines) + "\r\n",
                  {ReadAs::Top, command, "TOP"});
            break;
        case Pop3Command::Kind::Retrieve:
            Queue("RETR " + number + "\r\n", {ReadAs::Retrieve, command, "RETR"});
            break;
        case Pop3Command::Kind::Delete:
            Queue("DELE " + number + "\r\n", {ReadAs::Line, command, "DELE"});
            break;
    }
}

bool TPop3Client::Receive(Pop3Reply& reply) {
    if (!early_.empty()) {
        reply = std::move(early_.front());
        early_.pop_front();
    } else if (!inFlight_.empty()) {
        reply = ReadNext();
    } else {
        return false;
    }
    Show(reply);
    return true;
}

void TPop3Client::Show(const Pop3Reply& reply) {
    LastReplyPositive = reply.positive;
    LastMessageTooBig = reply.tooBig;
    if (reply.tooBig) {
        LastMessageSize = reply.size;
    }
    LastError = reply.error;
    if (reply.command.kind == Pop3Command::Kind::Top) {
        Header = reply.positive ? reply.header : Lines{};
        if (!reply.positive && !reply.message.empty()) {
            Header = TextToLines(reply.message);
        }
    }
}

std::unordered_map<int, Pop3Listing> TPop3Client::ListMessages() {
    std::unordered_map<int, Pop3Listing> listing;
    listedSizes_.clear();
    if (!stream_) {
        return listing;
    }
    const std::optional<Lines> offered = Capabilities();
    pipelining_ = offered && Lists(*offered, "PIPELINING");
    const auto count = static_cast<std::size_t>(std::max(MessageCount, 0));
    Queue("LIST\r\n", {ReadAs::MultiLine, {}, "LIST"});
    if (!pipelining_) {
        early_.push_back(Await());
    }
    Queue("UIDL\r\n", {ReadAs::MultiLine, {}, "UIDL"});
    Pop3Reply uids = Await();
    Pop3Reply sizes = std::move(early_.back());
    early_.pop_back();
    if (sizes.positive) {
        for (auto& [number, word] : ListedWords(sizes.message, count)) {
            int64_t size = 0;
            const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), size);
            if (error == std::errc() && end == word.data() + word.size() && size >= 0) {
                listing[static_cast<int>(number)].size = size;
                listedSizes_[static_cast<int>(number)] = size;
            }
        }
    }
    if (uids.positive) {
        for (auto& [number, word] : ListedWords(uids.message, count)) {
            listing[static_cast<int>(number)].uid = std::move(word);
        }
    }
    return listing;
}

Pop3Reply TPop3Client::FetchMessage(Pop3Command::Kind kind, int number) {
    Send({kind, number});
    Pop3Reply reply = Await();
    Show(reply);
    return reply;
}

bool TPop3Client::ListedTooBig(int number) {
    std::optional<int64_t> size;
    if (auto listed = listedSizes_.find(number); listed != listedSizes_.end()) {
        size = listed->second;
    } else {
        const std::string response = Exchange("LIST " + std::to_string(number) + "\r\n", false);
        if (!IsPositive(response)) {
            return false;
        }
        size = ListedSize(response);
    }
    if (!size || *size <= MaxMessageSize) {
        return false;
    }
    LastMessageSize = *size;
    return true;
}

void TPop3Client::Top(int number) {
    Pop3Reply reply = FetchMessage(Pop3Command::Kind::Top, number);
    if (reply.positive) {
        Body = std::move(reply.message);
    }
}

void TPop3Client::Retrieve(int number) {
    if (MaxMessageSize > 0 && ListedTooBig(number)) {
        LastMessageTooBig = true;
        LastReplyPositive = false;
        Body.clear();
        return;
    }
    Pop3Reply reply = FetchMessage(Pop3Command::Kind::Retrieve, number);
    Body = std::move(reply.message);
    if (reply.positive) {
        // The body: what follows the header's empty line (nothing when there is none).
        const std::size_t blank = StartsWith(Body, "\r\n") ? 0 : Body.find("\r\n\r\n");
        Body.erase(0, blank == std::string::npos ? Body.size() : blank + (blank == 0 ? 2 : 4));
    }
}

bool TPop3Client::Delete(int number) {
    return FetchMessage(Pop3Command::Kind::Delete, number).positive;
}

void TPop3Client::Quit() {
    if (stream_) {
        // Replies still on their way come before QUIT's.
        Queue("QUIT\r\n", {ReadAs::Line, {}, "QUIT"});
        while (!inFlight_.empty() && stream_) {
            ReadNext();
        }
    }
    ForgetWalk();
    CloseConnection();
}

void TPop3Client::ForgetWalk() {
    inFlight_.clear();
    early_.clear();
    listedSizes_.clear();
    pipelining_ = false;
}

}  // namespace corvanteer
