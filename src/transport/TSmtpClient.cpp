#include "transport/TSmtpClient.h"

#include <utility>

#include "support/Text.h"
#include "transport/HostNames.h"
#include "transport/OAuthLogin.h"
#include "transport/Sasl.h"
#include "transport/SmtpReplies.h"
#include "transport/TBase64.h"
#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

// No real reply comes near this; a server sending more is broken or hostile.
constexpr std::size_t kMaxReply = 64 * 1024;
// The message data is handed to the stream in pieces of about this size.
constexpr std::size_t kDataChunk = 64 * 1024;
// An AUTH line every server must take (RFC 4954); a longer initial response waits for the
// server's empty challenge.
constexpr std::size_t kMaxAuthLine = 12288;
// Pipelined commands go out in groups of at most this many, each group's replies read before
// the next is written, so that neither side can fill its buffers while the other waits.
constexpr std::size_t kPipelineGroup = 256;

// The last line of a text that ends with CR LF, without its line break.
std::string_view LastLine(std::string_view text) {
    std::string_view body = text.substr(0, text.size() - 2);
    std::size_t cut = body.find_last_of("\r\n");
    return cut == std::string_view::npos ? body : body.substr(cut + 1);
}

// A reply ends with a line that is a three-character code alone ("250") or followed by a
// blank ("250 OK"); continuation lines ("250-SIZE") have their first blank later or none.
bool EndsReply(std::string_view text) {
    if (!EndsWith(text, "\r\n")) {
        return false;
    }
    std::string_view last = LastLine(text);
    return last.find(' ') == 3 || (last.size() == 3 && last.find(' ') == std::string_view::npos);
}

// Takes the first whole reply of text from at on: every line up to the first one that ends a
// reply (EndsReply's test on one line). Gives its last line and moves at past it; false
// when no whole reply is there.
bool TakeReply(const std::string& text, std::size_t& at, std::string& reply) {
    std::size_t start = at;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            return false;
        }
        const std::string_view line(text.data() + start, end - start);
        if (line.find(' ') == 3 || (line.size() == 3 && line.find(' ') == std::string::npos)) {
            reply.assign(line);
            at = end + 2;
            return true;
        }
        start = end + 2;
    }
}

bool IsSafeAddress(std::string_view address) {
    return address.find_first_of("\r\n<>") == std::string_view::npos;
}

// True when text (ending with CR LF) is exactly one reply: every line but the last is a
// continuation line. Bytes after a STARTTLS reply would be taken into the protected
// conversation, so a server (or someone in between) sending them is refused.
bool IsSingleReply(std::string_view text) {
    std::string_view body = text.substr(0, text.size() - 2);
    for (std::size_t cut = body.find("\r\n"); cut != std::string_view::npos;
         cut = body.find("\r\n")) {
        std::string_view line = body.substr(0, cut);
        if (line.size() < 4 || line[3] != '-') {
            return false;
        }
        body.remove_prefix(cut + 2);
    }
    return true;
}

// The keywords of an EHLO reply: every line after the first, without its code.
Lines EhloKeywords(const std::string& text) {
    Lines lines = TextToLines(text);
    Lines keywords;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].size() > 4) {
            keywords.push_back(lines[i].substr(4));
        }
    }
    return keywords;
}

bool Offers(const Lines& keywords, std::string_view keyword) {
    for (const std::string& line : keywords) {
        if (SameText(Trim(SplitString(line, " ").Part(1)), keyword)) {
            return true;
        }
    }
    return false;
}

std::string Base64(std::string_view text) {
    std::string encoded;
    TBase64().Encode(text, encoded);
    return encoded;
}

}  // namespace

TSmtpClient::TSmtpClient() : TSmtpClient(std::make_unique<TcpConnector>()) {}

TSmtpClient::TSmtpClient(std::unique_ptr<StreamConnector> connector)
    : connector_(std::move(connector)) {}

TSmtpClient::~TSmtpClient() = default;

void TSmtpClient::CloseConnection() {
    if (stream_) {
        stream_->Close();
        stream_.reset();
    }
    ready_ = false;
    closing_ = false;
    rsetDue_ = false;
    pipelining_ = false;
    pending_.clear();
    pendingAt_ = 0;
}

std::string TSmtpClient::Where() const {
    return Server.host + ":" + std::to_string(Server.port);
}

bool TSmtpClient::Write(std::string_view bytes) {
    if (!stream_ || !stream_->WriteAll(bytes, SendTimeoutMs)) {
        CloseConnection();
        return false;
    }
    return true;
}

void TSmtpClient::ReadReply(std::string& reply) {
    reply.clear();
    lastStatus_ = ReplyStatus::Closed;
    if (stream_) {
        lastStatus_ = reader_.Read(*stream_, {ReplyTimeoutMs, ReadTimeoutMs, kMaxReply}, EndsReply,
                                   replyText_);
        if (lastStatus_ == ReplyStatus::Complete) {
            reply = LastLine(replyText_);
        } else {
            CloseConnection();
        }
    }
}

bool TSmtpClient::Check(std::string_view code, MailFailure kind, const std::string& what,
                        SmtpResult& result) {
    if (StartsWith(result.lastReply, code)) {
        return true;
    }
    if (!result.lastReply.empty()) {
        result.error = ServerSaid(kind, Where() + " refused " + what, result.lastReply);
        return false;
    }
    switch (lastStatus_) {
        case ReplyStatus::NoData:
            result.error =
                Fail(MailFailure::Timeout, "no reply to " + what + " from " + Where() + " within " +
                                               std::to_string(ReplyTimeoutMs / 1000) + " s");
            break;
        case ReplyStatus::Stalled:
            result.error = Fail(MailFailure::Timeout,
                                "the reply to " + what + " from " + Where() + " stopped arriving");
            break;
        case ReplyStatus::TooLong:
            result.error = Fail(MailFailure::Connection,
                                "the reply to " + what + " from " + Where() + " is too long");
            break;
        default:
            result.error = Fail(MailFailure::Connection, Where() + " closed the connection");
            break;
    }
    return false;
}

bool TSmtpClient::Step(const std::string& line, std::string_view code, MailFailure kind,
                       const std::string& what, SmtpResult& result) {
    result.lastReply.clear();
    if (!Write(line + "\r\n")) {
        result.error = Fail(MailFailure::Connection,
                            "the connection to " + Where() + " broke while sending " + what);
        return false;
    }
    ReadReply(result.lastReply);
    return Check(code, kind, what, result);
}

namespace {

// The first CR or LF at or after from (npos when none); a plain loop, where find_first_of
// would call memchr for every byte.
std::size_t NextBreak(std::string_view text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            return i;
        }
    }
    return std::string_view::npos;
}

// True when every line break of the text is CR LF (no CR or LF alone): what composed messages
// hold. One pass that the compiler can vectorize.
bool CrLfOnly(std::string_view text) {
    std::size_t cr = 0;
    std::size_t lf = 0;
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool isCr = text[i] == '\r';
        const bool isLf = text[i] == '\n';
        cr += isCr;
        lf += isLf;
        pairs += isLf && i > 0 && text[i - 1] == '\r';
    }
    return cr == lf && lf == pairs;
}

}  // namespace

bool TSmtpClient::SendData(std::string_view message) {
    // Lines that end in CR LF and do not begin with "." go out as they stand, runs of them at
    // a time (a long run straight from the message, without a copy); only what must change
    // (a "." doubled, a lone CR or LF made CR LF, a break after the last line) is written
    // apart. Small pieces are gathered into chunks of about kDataChunk bytes.
    std::string chunk;
    chunk.reserve(kDataChunk + 1024);
    auto emit = [&](std::string_view bytes) {
        if (bytes.size() >= kDataChunk) {
            if (!chunk.empty() && !Write(chunk)) {
                return false;
            }
            chunk.clear();
            return Write(bytes);
        }
        chunk.append(bytes);
        if (chunk.size() >= kDataChunk) {
            if (!Write(chunk)) {
                return false;
            }
            chunk.clear();
        }
        return true;
    };
    if (CrLfOnly(message)) {
        // Only lines that begin with "." change: found by their dots, which are few (none
        // in base64), rather than line by line.
        std::size_t run = 0;
        for (std::size_t dot = message.find('.'); dot != std::string_view::npos;
             dot = message.find('.', dot + 1)) {
            if ((dot == 0 || message[dot - 1] == '\n') &&
                (!emit(message.substr(run, dot - run)) || !emit("."))) {
                return false;
            }
            run = dot == 0 || message[dot - 1] == '\n' ? dot : run;
        }
        if (!emit(message.substr(run)) ||
            (!message.empty() && message.back() != '\n' && !emit("\r\n"))) {
            return false;
        }
        chunk += ".\r\n";
        return Write(chunk);
    }
    std::size_t run = 0;  // where the lines not yet written begin
    std::size_t at = 0;
    while (at < message.size()) {
        const std::size_t cut = NextBreak(message, at);
        const bool crLf = cut != std::string_view::npos && message[cut] == '\r' &&
                          cut + 1 < message.size() && message[cut + 1] == '\n';
        if (crLf && message[at] != '.') {
            at = cut + 2;
            continue;
        }
        const std::size_t end = cut == std::string_view::npos ? message.size() : cut;
        if (!emit(message.substr(run, at - run)) || (message[at] == '.' && !emit(".")) ||
            !emit(message.substr(at, end - at)) || !emit("\r\n")) {
            return false;
        }
        at = end;
        if (cut != std::string_view::npos) {
            at = cut + (crLf ? 2 : 1);
        }
        run = at;
    }
    if (!emit(message.substr(run, at - run))) {
        return false;
    }
    chunk += ".\r\n";
    return Write(chunk);
}

bool TSmtpClient::Connect(SecurityMode security, MailError& error, TlsInfo& tls) {
    CloseConnection();
    const TlsPeer peer{Server.host, Server.port, Server.security.Fingerprint,
                       Server.security.CAFile};
    if (security != SecurityMode::None && !tls_.Prepare(peer, error)) {
        return false;
    }
    stream_ = connector_->Open(Server.host, Server.port, ConnectTimeoutMs);
    if (!stream_) {
        error = Fail(MailFailure::Connect, "cannot connect to " + Where());
        return false;
    }
    if (security == SecurityMode::Tls) {
        stream_ = tls_.Start(std::move(stream_), peer, ReplyTimeoutMs, SendTimeoutMs, tls, error);
        return stream_ != nullptr;
    }
    return true;
}

bool TSmtpClient::Ehlo(Lines& capabilities, SmtpResult& result) {
    if (!Step("EHLO " + LocalHostName(), "250", MailFailure::Refused, "EHLO", result)) {
        return false;
    }
    capabilities = EhloKeywords(replyText_);
    return true;
}

bool TSmtpClient::StartTls(const Lines& capabilities, Lines& after, TlsInfo& tls,
                           SmtpResult& result) {
    if (!Offers(capabilities, "STARTTLS")) {
        result.error =
            Fail(MailFailure::Tls, Where() + " does not offer STARTTLS; nothing more was sent");
        return false;
    }
    if (!Step("STARTTLS", "220", MailFailure::Tls, "STARTTLS", result)) {
        return false;
    }
    if (!IsSingleReply(replyText_)) {
        result.error = Fail(MailFailure::Tls, Where() + " sent more than its answer to STARTTLS");
        CloseConnection();
        return false;
    }
    const TlsPeer peer{Server.host, Server.port, Server.security.Fingerprint,
                       Server.security.CAFile};
    stream_ =
        tls_.Start(std::move(stream_), peer, ReplyTimeoutMs, SendTimeoutMs, tls, result.error);
    result.lastReply.clear();
    if (!stream_) {
        return false;
    }
    // Nothing learned before the handshake counts: it may have been forged.
    return Ehlo(after, result);
}

bool TSmtpClient::Authenticate(SecurityMode security, const Lines& capabilities,
                               const std::string& token, SmtpResult& result) {
    std::unique_ptr<SaslMechanism> mechanism;
    if (Server.auth == LoginMethod::OAuth2) {
        mechanism = PickTokenMechanism(OfferedMechanisms(capabilities), Server.user, Server.host,
                                       Server.port, token);
        if (!mechanism) {
            result.error = Fail(MailFailure::Auth, Where() +
                                                       " offers neither AUTH XOAUTH2 nor AUTH "
                                                       "OAUTHBEARER; the token was not sent");
            return false;
        }
    } else if (security == SecurityMode::None) {
        mechanism =
            MakeLoginMechanism(Server.user, Server.password);  // as it always was in plain text
    } else {
        mechanism =
            PickPasswordMechanism(OfferedMechanisms(capabilities), Server.user, Server.password);
        if (!mechanism) {
            result.error = Fail(MailFailure::Auth, Where() +
                                                       " offers neither AUTH PLAIN nor AUTH "
                                                       "LOGIN; the credentials were not sent");
            return false;
        }
    }
    const std::string what = "AUTH " + mechanism->Name();
    std::string command = what;
    std::optional<std::string> pending;
    if (auto initial = mechanism->InitialResponse()) {
        const std::string encoded = initial->empty() ? std::string("=") : Base64(*initial);
        if (command.size() + 1 + encoded.size() + 2 <= kMaxAuthLine) {
            command += " " + encoded;
        } else {
            pending = Base64(*initial);
        }
    }
    result.lastReply.clear();
    if (!Write(command + "\r\n")) {
        result.error = Fail(MailFailure::Connection,
                            "the connection to " + Where() + " broke while sending " + what);
        return false;
    }
    ReadReply(result.lastReply);
    while (StartsWith(result.lastReply, "334")) {
        std::string line;
        if (pending) {
            line = std::move(*pending);
            pending.reset();
        } else if (auto response =
                       mechanism->Respond(std::string_view(result.lastReply).substr(3))) {
            line = Base64(*response);
        } else {
            line = "*";  // cancels the exchange (RFC 4954)
        }
        if (!Step(line, "", MailFailure::Auth, what, result)) {
            return false;
        }
        if (line == "*") {
            break;
        }
    }
    if (!Check("235", MailFailure::Auth, what, result)) {
        result.error = TokenRefused(std::move(result.error), mechanism->ServerError());
        return false;
    }
    return true;
}

SmtpResult TSmtpClient::OpenSession(ProbeReport* report) {
    SmtpResult result;
    const std::optional<SecurityMode> mode = ParseSecurity(Server.security.Mode);
    if (!mode) {
        result.error =
            Fail(MailFailure::Settings, "unknown security mode \"" + Server.security.Mode +
                                            "\" for " + Where() + " (auto, tls, starttls or none)");
        return result;
    }
    const SecurityMode security = ResolveSecurity(*mode, Server.port);
    TlsInfo tls;
    Lines capabilities;
    if (report != nullptr) {
        report->security = SecurityName(security);
    }
    // An OAuth login always authenticates; its token is had before connecting.
    const bool oauth = Server.auth == LoginMethod::OAuth2;
    const bool authenticate = Server.requireAuthentication || oauth;
    std::string token;
    if (oauth && !TokenForLogin(Tokens, Server.tokenAccount, Server.user, security, Where(), token,
                                result.error)) {
        if (report != nullptr) {
            report->error = result.error;
        }
        return result;
    }
    auto finish = [&] {
        if (report != nullptr) {
            report->tls = tls;
            report->capabilities = capabilities;
            report->error = result.error;
        }
        return result;
    };
    if (!Connect(security, result.error, tls)) {
        if (report != nullptr) {
            report->connected = result.error.kind != MailFailure::Connect &&
                                result.error.kind != MailFailure::Settings;
        }
        return finish();
    }
    if (report != nullptr) {
        report->connected = true;
    }
    ReadReply(result.lastReply);
    if (!Check("220", MailFailure::Refused, "the connection", result)) {
        return finish();
    }
    const std::string host = LocalHostName();
    bool greeted = false;
    if (security == SecurityMode::StartTls) {
        Lines before;
        greeted = Ehlo(before, result) && StartTls(before, capabilities, tls, result);
    } else if (authenticate || report != nullptr || SessionMessages > 1) {
        // EHLO also in plain text when a session carries several messages: it tells whether
        // the server takes them pipelined.
        greeted = Ehlo(capabilities, result);
        if (!greeted && !authenticate && stream_ && !result.lastReply.empty() &&
            (report != nullptr || IsPermanentReply(result.lastReply))) {
            greeted = Step("HELO " + host, "250", MailFailure::Refused, "HELO", result);
        }
    } else {
        greeted = Step("HELO " + host, "250", MailFailure::Refused, "HELO", result);
    }
    if (!greeted) {
        return finish();
    }
    if (authenticate) {
        const bool accepted = Authenticate(security, capabilities, token, result);
        if (report != nullptr) {
            report->login = accepted                                 ? LoginOutcome::Accepted
                            : result.error.kind == MailFailure::Auth ? LoginOutcome::Refused
                                                                     : LoginOutcome::NotTried;
        }
        if (!accepted) {
            return finish();
        }
    } else if (report != nullptr) {
        report->login = LoginOutcome::NotRequired;
    }
    result.error = MailError{};
    ready_ = true;
    pipelining_ = Offers(capabilities, "PIPELINING");
    return finish();
}

bool TSmtpClient::SendEnvelope(const Envelope& envelope, bool partial, SmtpTransaction& tx) {
    SmtpResult& result = tx.result;
    const std::vector<std::string>& recipients = envelope.recipients;
    if (!Step("MAIL FROM:<" + envelope.from + ">", "250", MailFailure::Refused, "the sender",
              result)) {
        return false;
    }
    std::size_t accepted = 0;
    SmtpResult firstRefusal;
    for (const std::string& recipient : recipients) {
        if (Step("RCPT TO:<" + recipient + ">", "250", MailFailure::Refused,
                 "the recipient " + recipient, result)) {
            ++accepted;
            continue;
        }
        if (!partial || !stream_ || ReplyCode(result.lastReply) == 421) {
            return false;
        }
        tx.refused.push_back({recipient, result.lastReply});
        if (firstRefusal.ok()) {
            firstRefusal = result;
        }
    }
    if (accepted == 0 && !recipients.empty()) {
        result = std::move(firstRefusal);  // as the first refusal would have ended it
        return false;
    }
    result = SmtpResult{};
    return Step("DATA", "354", MailFailure::Refused, "DATA", result);
}

void TSmtpClient::NextReply(std::string& reply) {
    reply.clear();
    if (TakeReply(pending_, pendingAt_, reply)) {
        return;
    }
    pending_.clear();
    pendingAt_ = 0;
    lastStatus_ = ReplyStatus::Closed;
    if (!stream_) {
        return;
    }
    lastStatus_ =
        reader_.Read(*stream_, {ReplyTimeoutMs, ReadTimeoutMs, kMaxReply}, EndsReply, replyText_);
    if (lastStatus_ != ReplyStatus::Complete) {
        CloseConnection();
        return;
    }
    // What was read ends with a whole reply, so the first one is there.
    pending_ = replyText_;
    TakeReply(pending_, pendingAt_, reply);
}

bool TSmtpClient::SendEnvelopePipelined(const Envelope& envelope, bool partial,
                                        SmtpTransaction& tx) {
    SmtpResult& result = tx.result;
    const std::vector<std::string>& recipients = envelope.recipients;
    // A refused recipient that must fail the whole message must be known before DATA, which
    // cannot be taken back once the server said 354.
    const bool dataInGroup = partial || recipients.size() <= 1;
    const std::size_t commands = 1 + recipients.size() + (dataInGroup ? 1 : 0);
    auto command = [&](std::size_t i) {
        if (i == 0) {
            return "MAIL FROM:<" + envelope.from + ">\r\n";
        }
        if (i <= recipients.size()) {
            return "RCPT TO:<" + recipients[i - 1] + ">\r\n";
        }
        return std::string("DATA\r\n");
    };
    auto what = [&](std::size_t i) {
        return i == 0                   ? std::string("the sender")
               : i <= recipients.size() ? "the recipient " + recipients[i - 1]
                                        : "DATA";
    };

    SmtpResult senderRefusal;
    SmtpResult recipientRefusal;  // the first
    SmtpResult dataRefusal;
    std::size_t accepted = 0;
    bool dataAccepted = false;
    std::string reply;
    for (std::size_t first = 0; first < commands; first += kPipelineGroup) {
        const std::size_t last = std::min(commands, first + kPipelineGroup);
        std::string group;
        for (std::size_t i = first; i < last; ++i) {
            group += command(i);
        }
        if (!Write(group)) {
            result.error = Fail(MailFailure::Connection, "the connection to " + Where() +
                                                             " broke while sending " + what(first));
            return false;
        }
        for (std::size_t i = first; i < last; ++i) {
            NextReply(reply);
            SmtpResult step;
            step.lastReply = reply;
            const bool isData = i > recipients.size();
            if (Check(isData ? "354" : "250", MailFailure::Refused, what(i), step)) {
                if (isData) {
                    dataAccepted = true;
                } else if (i > 0) {
                    ++accepted;
                }
                continue;
            }
            // No reply, or the server closes: nothing more will come.
            if (!stream_ || ReplyCode(reply) == 421) {
                result = std::move(step);
                return false;
            }
            if (i == 0) {
                senderRefusal = std::move(step);
            } else if (isData) {
                dataRefusal = std::move(step);
            } else {
                tx.refused.push_back({recipients[i - 1], reply});
                if (recipientRefusal.ok()) {
                    recipientRefusal = std::move(step);
                }
            }
        }
        if (!senderRefusal.ok() || (!partial && !recipientRefusal.ok())) {
            break;  // the rest cannot change the outcome
        }
    }
    if (pendingAt_ < pending_.size()) {
        result.error =
            Fail(MailFailure::Connection, Where() + " sent more replies than it was sent commands");
        CloseConnection();
        return false;
    }
    const bool nobody =
        !recipients.empty() && (accepted == 0 || (!partial && !recipientRefusal.ok()));
    if (!senderRefusal.ok() || nobody) {
        result = std::move(!senderRefusal.ok() ? senderRefusal : recipientRefusal);
        if (dataAccepted && Write(".\r\n")) {
            // 354 with nobody to deliver to: the data ends at once, its reply passed over.
            NextReply(reply);
        }
        return false;
    }
    if (!dataInGroup) {
        return Step("DATA", "354", MailFailure::Refused, "DATA", result);
    }
    if (!dataAccepted) {
        result = std::move(dataRefusal);
        return false;
    }
    result = SmtpResult{};
    result.lastReply = reply;
    return true;
}

void TSmtpClient::Transaction(const Envelope& envelope, bool partial, SmtpTransaction& tx) {
    SmtpResult& result = tx.result;
    if (rsetDue_) {
        rsetDue_ = false;
        if (!Step("RSET", "250", MailFailure::Refused, "RSET", result)) {
            // A server that will not start over cannot be trusted with the next message.
            CloseConnection();
            return;
        }
    }
    rsetDue_ = true;
    const bool ready = pipelining_ ? SendEnvelopePipelined(envelope, partial, tx)
                                   : SendEnvelope(envelope, partial, tx);
    if (ready) {
        rsetDue_ = false;  // whatever the end of the data is answered, the transaction is over
        if (!SendData(envelope.message)) {
            result.lastReply.clear();
            result.error = Fail(MailFailure::Connection, "the connection to " + Where() +
                                                             " broke while sending the message");
        } else {
            tx.dataSent = true;
            ReadReply(result.lastReply);
            Check("250", MailFailure::Refused, "the message", result);
        }
    }
    if (!result.ok()) {
        tx.refused.clear();
        if (ReplyCode(result.lastReply) == 421) {
            closing_ = true;
        }
    }
}

SmtpTransaction TSmtpClient::Transact(const Envelope& envelope, bool partial) {
    SmtpTransaction tx;
    // Addresses come from mail the list received; a line break in one would let its
    // sender append SMTP commands of their own.
    if (!IsSafeAddress(envelope.from)) {
        tx.result.error = Fail(MailFailure::Input,
                               "Sender address refused: it contains a line break or an angle "
                               "bracket");
        return tx;
    }
    for (const std::string& recipient : envelope.recipients) {
        if (!IsSafeAddress(recipient)) {
            tx.result.error =
                Fail(MailFailure::Input,
                     "Recipient address refused: it contains a line break or an angle bracket");
            return tx;
        }
    }
    if (!SessionOpen()) {
        EndSession();
        tx.result = OpenSession(nullptr);
        if (!tx.result.ok()) {
            tx.connectionPhase = true;
            return tx;
        }
    }
    Transaction(envelope, partial, tx);
    return tx;
}

bool TSmtpClient::SessionOpen() const {
    return stream_ != nullptr && ready_ && !closing_;
}

void TSmtpClient::EndSession() {
    if (stream_) {
        stream_->WriteAll("QUIT\r\n", SendTimeoutMs);
    }
    CloseConnection();
}

SmtpResult TSmtpClient::Submit(const Envelope& envelope) {
    EndSession();
    const std::size_t messages = SessionMessages;
    SessionMessages = 1;
    SmtpTransaction tx = Transact(envelope, false);
    SessionMessages = messages;
    EndSession();
    return std::move(tx.result);
}

ProbeReport TSmtpClient::Probe() {
    ProbeReport report;
    EndSession();
    OpenSession(&report);
    EndSession();
    return report;
}

}  // namespace corvanteer
