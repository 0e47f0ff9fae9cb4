#include "transport/TlsStream.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include "common/FakeMailServer.h"
#include "common/TempDir.h"
#include "common/TestCertificates.h"
#include "support/Files.h"
#include "support/Text.h"
#include "transport/ReplyReader.h"
#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

using testing::CertificateRequest;
using testing::FakeMailServer;
using testing::ServerScript;
using testing::TestCa;
using testing::TestIdentity;

constexpr int kPatientMs = 3000;

// One CA and the server certificates the cases need, made once for the whole file.
struct Certificates {
    TestCa ca{"Corvanteer Test CA"};
    TestIdentity named =
        ca.Issue({"mail.example.test", {"mail.example.test", "localhost"}, {"127.0.0.1", "::1"}});
    TestIdentity addressOnly = ca.Issue({"127.0.0.1", {}, {"127.0.0.1"}});
    TestIdentity expired = ca.Issue({"localhost", {"localhost"}, {"127.0.0.1"}, -30, -1});
    TestIdentity selfSigned = testing::SelfSigned({"localhost", {"localhost"}, {"127.0.0.1"}});
    TestIdentity commonNameOnly = ca.Issue({"localhost", {}, {}});
};

const Certificates& Certs() {
    static const Certificates certificates;
    return certificates;
}

struct Outcome {
    MailError error;
    TlsInfo info;
    std::string line;  // what the server said over TLS, when the stream came up
};

// Connects to server, runs the handshake as peer says and reads one line over TLS.
Outcome Handshake(FakeMailServer& server, TlsClient& tls, TlsPeer peer,
                  int timeoutMs = kPatientMs) {
    Outcome outcome;
    if (peer.port == 0) {
        peer.port = server.Port();
    }
    TcpConnector connector;
    auto plain = connector.Open(server.Host(), server.Port(), kPatientMs);
    if (!plain) {
        outcome.error = Fail(MailFailure::Connect, "no connection");
        return outcome;
    }
    auto stream =
        tls.Start(std::move(plain), peer, timeoutMs, kPatientMs, outcome.info, outcome.error);
    if (stream) {
        ReplyReader reader;
        reader.Read(
            *stream, {kPatientMs, kPatientMs, 0},
            [](std::string_view text) { return EndsWith(text, "\r\n"); }, outcome.line);
        stream->Close();
    }
    return outcome;
}

ServerScript Greets(const TestIdentity& identity) {
    return ServerScript().StartTls(identity.Pem()).SendLine("+OK over TLS");
}

std::string Bare(std::string fingerprint) {
    return LowerCase(ReplaceAll(fingerprint, ":", ""));
}

class TlsStreamTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFileAtomic(caFile, Certs().ca.Identity().certPem); }
    testing::TempDir dir;
    std::string caFile = dir.File("ca.pem");
};

TEST_F(TlsStreamTest, CertificateIsAcceptedOrRefusedWithHostReasonAndFingerprint) {
    const Certificates& c = Certs();
    struct Case {
        const char* name;
        const TestIdentity& server;
        std::string host;
        bool trustCa;
        std::string pin;
        MailFailure expected;
        std::string reason;  // part of the refusal's text
    };
    const Case cases[] = {
        {"a trusted certificate naming the address", c.named, "127.0.0.1", true, "",
         MailFailure::None, ""},
        {"a trusted certificate naming the host", c.named, "localhost", true, "", MailFailure::None,
         ""},
        {"a name the certificate does not hold", c.addressOnly, "localhost", true, "",
         MailFailure::Certificate, "name mismatch"},
        {"an issuer nobody trusts", c.named, "127.0.0.1", false, "", MailFailure::Certificate,
         "unknown issuer"},
        {"an untrusted certificate pinned (bare lower-case hex)", c.selfSigned, "127.0.0.1", false,
         Bare(c.selfSigned.fingerprint), MailFailure::None, ""},
        {"a pin accepts whatever the name", c.addressOnly, "localhost", false,
         c.addressOnly.fingerprint, MailFailure::None, ""},
        {"a pin refuses a trusted certificate that is not the pinned one", c.named, "127.0.0.1",
         true, c.selfSigned.fingerprint, MailFailure::Certificate, "fingerprint mismatch"},
        {"an expired certificate", c.expired, "127.0.0.1", true, "", MailFailure::Certificate,
         "expired"},
        {"a host only in the common name", c.commonNameOnly, "localhost", true, "",
         MailFailure::Certificate, "name mismatch"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        FakeMailServer server({Greets(test.server)});
        TlsClient tls;
        Outcome got =
            Handshake(server, tls, {test.host, 0, test.pin, test.trustCa ? caFile : std::string()});
        EXPECT_EQ(got.error.kind, test.expected) << got.error.Text();
        EXPECT_EQ(got.info.certificate.fingerprint, test.server.fingerprint);
        if (test.expected == MailFailure::None) {
            EXPECT_EQ(got.line, "+OK over TLS\r\n");
            EXPECT_EQ(got.info.pinned, !test.pin.empty());
            EXPECT_TRUE(got.info.version == "TLSv1.3" || got.info.version == "TLSv1.2");
        } else {
            EXPECT_TRUE(got.line.empty());
            for (const std::string& part : {test.reason, test.host, test.server.fingerprint}) {
                EXPECT_TRUE(Contains(got.error.reason, part)) << got.error.reason;
            }
        }
    }
}

TEST_F(TlsStreamTest, IPv6LiteralIsCheckedAgainstAddressNames) {
    FakeMailServer server({Greets(Certs().named)}, FakeMailServer::Family::IPv6);
    if (!server.Listening()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    TlsClient tls;
    Outcome got = Handshake(server, tls, {"[::1]", 0, "", caFile});
    EXPECT_TRUE(got.error.ok()) << got.error.Text();
    EXPECT_TRUE(got.info.verified);
}

TEST_F(TlsStreamTest, SettingsThatCannotWorkAreRefusedBeforeConnecting) {
    TlsClient tls;
    MailError error;
    EXPECT_FALSE(tls.Prepare({"localhost", 995, "12:34", ""}, error));
    EXPECT_EQ(error.kind, MailFailure::Settings);
    EXPECT_TRUE(Contains(error.reason, "fingerprint")) << error.reason;

    EXPECT_FALSE(tls.Prepare({"localhost", 995, "", dir.File("missing.pem")}, error));
    EXPECT_EQ(error.kind, MailFailure::Settings);
    EXPECT_TRUE(Contains(error.reason, "missing.pem")) << error.reason;

    WriteFileAtomic(dir.File("junk.pem"), "not a certificate\n");
    EXPECT_FALSE(tls.Prepare({"localhost", 995, "", dir.File("junk.pem")}, error));
    EXPECT_EQ(error.kind, MailFailure::Settings);
    EXPECT_TRUE(tls.Prepare({"localhost", 995, "", caFile}, error));
}

TEST_F(TlsStreamTest, OldVersionsPlainServersAndSilenceFail) {
    FakeMailServer server({
        ServerScript().StartTls(Certs().named.Pem(), TLS1_1_VERSION),
        ServerScript().SendLine("+OK plain text"),
        ServerScript().Silence(),
    });
    TlsClient tls;
    Outcome old = Handshake(server, tls, {"127.0.0.1", 0, "", caFile});
    EXPECT_TRUE(old.error.kind == MailFailure::Tls || old.error.kind == MailFailure::Connection)
        << old.error.Text();
    EXPECT_FALSE(old.info.used);

    Outcome plain = Handshake(server, tls, {"127.0.0.1", 0, "", caFile});
    EXPECT_EQ(plain.error.kind, MailFailure::Tls) << plain.error.Text();

    Outcome silent = Handshake(server, tls, {"127.0.0.1", 0, "", caFile}, 150);
    EXPECT_EQ(silent.error.kind, MailFailure::Timeout) << silent.error.Text();
}

TEST_F(TlsStreamTest, SecondConnectionResumesTheSessionAndStillChecksIt) {
    FakeMailServer server({Greets(Certs().named), Greets(Certs().named), Greets(Certs().named)});
    TlsClient tls;
    Outcome first = Handshake(server, tls, {"127.0.0.1", 0, "", caFile});
    Outcome second = Handshake(server, tls, {"127.0.0.1", 0, "", caFile});
    ASSERT_TRUE(first.error.ok() && second.error.ok()) << second.error.Text();
    EXPECT_FALSE(first.info.resumed);
    EXPECT_TRUE(second.info.resumed);
    EXPECT_EQ(second.info.certificate.fingerprint, Certs().named.fingerprint);
    // The pin is part of a session's key: with another pin the handshake is a full one, and
    // the certificate is refused.
    Outcome pinned =
        Handshake(server, tls, {"127.0.0.1", 0, Certs().selfSigned.fingerprint, caFile});
    EXPECT_EQ(pinned.error.kind, MailFailure::Certificate);
}

}  // namespace
}  // namespace corvanteer
