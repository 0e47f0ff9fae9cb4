#include "transport/TPop3Client.h"

#include <charconv>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>

#include "support/ConnectionSecurity.h"
#include "support/Text.h"
#include "transport/LoginSafety.h"
#include "transport/OAuthLogin.h"
#include "transport/Sasl.h"
#include "transport/TBase64.h"
#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

// A one-line response longer than this is a lying or broken server, not a reply. A TOP or
// RETR response may exceed the message size by as much, for its status line and stuffing.
constexpr std::size_t kMaxLineResponse = 64 * 1024;

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

bool EndsLine(std::string_view text) {
    return EndsWith(text, "\r\n");
}

bool EndsMultiLine(std::string_view text) {
    return EndsWith(text, "\r\n.\r\n") || (text.front() == '-' && EndsWith(text, "\r\n"));
}

// Where the parts of a positive multi-line response stand: the message lies between the
// status line and the final "." (a complete positive response has both), and its header ends
// at the first empty line (at the message's end when there is none).
struct MessageLayout {
    std::size_t first = 1;
    std::size_t end = 0;
    std::size_t blank = 0;
};

MessageLayout LayOut(const Lines& lines) {
    MessageLayout layout;
    layout.end = lines.size() >= 2 ? lines.size() - 1 : lines.size();
    layout.blank = layout.end;
    for (std::size_t i = layout.first; i < layout.end; ++i) {
        if (lines[i].empty()) {
            layout.blank = i;
            break;
        }
    }
    return layout;
}

// The lines after the header's empty line, moved out of lines.
Lines TakeBody(Lines& lines, const MessageLayout& layout) {
    if (layout.blank >= layout.end) {
        return {};
    }
    return Lines(std::make_move_iterator(lines.begin() + static_cast<long>(layout.blank) + 1),
                 std::make_move_iterator(lines.begin() + static_cast<long>(layout.end)));
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
}

void TPop3Client::ReadResponse(bool multiLine, std::string& response) {
    Receive(multiLine, response);
}

ReplyStatus TPop3Client::Receive(bool multiLine, std::string& response) {
    ResponseDone = false;
    response.clear();
    ReplyStatus status = ReplyStatus::Closed;
    lastStatus_ = status;
    if (stream_) {
        ReplyLimits limits{FirstByteTimeoutMs, ReadTimeoutMs, kMaxLineResponse};
        // Every response has a total time as well as its idle time-out: a server that sends
        // a byte now and then must not hold the scan and its lock for days.
        limits.clock = clock_;
        limits.totalMs = ReplyTotalMs;
        if (multiLine) {
            limits.readMs = MultiLineReadTimeoutMs;
            limits.maxBytes = 0;
            if (MaxMessageSize > 0) {
                limits.maxBytes = static_cast<std::size_t>(MaxMessageSize) + kMaxLineResponse;
            }
            limits.totalMs = MultiLineTotalMs;
            limits.windowMs = SlowReplyWindowMs;
            limits.windowMinBytes = SlowReplyMinBytes;
        }
        status = reader_.Read(*stream_, limits, multiLine ? EndsMultiLine : EndsLine, response);
        lastStatus_ = status;
        if (status != ReplyStatus::Complete) {
            // A partial response must not pass for a positive one, and what is still on
            // its way would be taken for the next command's reply.
            if (status == ReplyStatus::TooLong) {
                LastMessageSize = static_cast<int64_t>(response.size());
            }
            response.clear();
            response.shrink_to_fit();
            CloseConnection();
        }
    }
    ResponseDone = true;
    return status;
}

std::string TPop3Client::Exchange(std::string_view command, bool multiLine) {
    std::string response;
    sendFailed_ = false;
    if (!stream_ || !stream_->WriteAll(command, SendTimeoutMs)) {
        sendFailed_ = stream_ != nullptr;
        lastStatus_ = ReplyStatus::Closed;
        CloseConnection();
        return response;
    }
    ReadResponse(multiLine, response);
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
    TlsPeer peer{HostAddress, Port, Security.Fingerprint, Security.CAFile};
    stream_ =
        tls_.Start(std::move(stream_), peer, FirstByteTimeoutMs, SendTimeoutMs, tlsInfo_, error);
    return stream_ != nullptr;
}

bool TPop3Client::Connect(MailError& error, Lines* capabilities) {
    CloseConnection();
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

Lines TPop3Client::FetchMessage(const std::string& command) {
    LastMessageTooBig = false;
    std::string response;
    sendFailed_ = false;
    if (!stream_ || !stream_->WriteAll(command, SendTimeoutMs)) {
        sendFailed_ = stream_ != nullptr;
        lastStatus_ = ReplyStatus::Closed;
        CloseConnection();
    } else {
        LastMessageTooBig = Receive(true, response) == ReplyStatus::TooLong;
    }
    LastReplyPositive = IsPositive(response);
    LastError =
        LastReplyPositive ? MailError{} : Failed(command.substr(0, command.find(' ')), response);
    return TextToLines(response);
}

bool TPop3Client::ListedTooBig(int number) {
    const std::string response = Exchange("LIST " + std::to_string(number) + "\r\n", false);
    if (!IsPositive(response)) {
        return false;
    }
    const std::optional<int64_t> size = ListedSize(response);
    if (!size || *size <= MaxMessageSize) {
        return false;
    }
    LastMessageSize = *size;
    return true;
}

void TPop3Client::Top(int number) {
    Lines lines =
        FetchMessage("TOP " + std::to_string(number) + " " + std::to_string(TopLines) + "\r\n");
    if (!LastReplyPositive) {
        Header = std::move(lines);
        return;
    }
    const MessageLayout layout = LayOut(lines);
    Body = TakeBody(lines, layout);
    Lines header(std::make_move_iterator(lines.begin() + static_cast<long>(layout.first)),
                 std::make_move_iterator(lines.begin() + static_cast<long>(layout.blank)));
    header.emplace_back();
    Header = std::move(header);
}

void TPop3Client::Retrieve(int number) {
    if (MaxMessageSize > 0 && ListedTooBig(number)) {
        LastMessageTooBig = true;
        LastReplyPositive = false;
        Body.clear();
        return;
    }
    Lines lines = FetchMessage("RETR " + std::to_string(number) + "\r\n");
    if (!LastReplyPositive) {
        Body = std::move(lines);
        return;
    }
    // Unstuffing never makes a line empty, so the header ends at the same line either way.
    Body = TakeBody(lines, LayOut(lines));
    for (std::string& line : Body) {
        if (StartsWith(line, "..")) {
            line.erase(0, 1);
        }
    }
}

bool TPop3Client::Delete(int number) {
    const std::string response = Exchange("DELE " + std::to_string(number) + "\r\n", false);
    const bool deleted = IsPositive(response);
    LastError = deleted ? MailError{} : Failed("DELE", response);
    return deleted;
}

void TPop3Client::Quit() {
    if (stream_ && stream_->WriteAll("QUIT\r\n", SendTimeoutMs)) {
        std::string ignored;
        ReadResponse(false, ignored);
    }
    CloseConnection();
}

}  // namespace corvanteer
