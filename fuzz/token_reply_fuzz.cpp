// What an authorization server answers: ReadGrantReply, and the refresh and the device
// authorization of OAuthServer that read it.
//
// Input: the HTTP status ("200", "400", ...), "%%", the body.
//
// Checked: nothing raises; a body refused names why; a granted refresh carries an access token
// (and a refresh token, when any) of printable characters without blanks, ready for a SASL
// line; a device authorization shows a code and an address without control bytes; no error
// text holds a line break or another control byte.

#include <cstdint>
#include <string>

#include "common/FuzzCheck.h"
#include "oauth/GrantReply.h"
#include "oauth/OAuthGrants.h"

namespace corvanteer::fuzz {
namespace {

// Answers every request with the input's status and body.
class ScriptedHttp final : public HttpClient {
public:
    ScriptedHttp(long status, std::string body) : status_(status), body_(std::move(body)) {}
    HttpResponse Get(const HttpRequest&) override { return {status_, body_, ""}; }
    HttpResponse PostForm(const HttpRequest&) override { return {status_, body_, ""}; }

private:
    long status_;
    std::string body_;
};

bool IsTokenText(const std::string& text) {
    for (const char c : text) {
        if (c <= ' ' || c >= 0x7f) {
            return false;
        }
    }
    return !text.empty();
}

bool HasControlBytes(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return true;
        }
    }
    return false;
}

OAuthProfile Profile() {
    OAuthProfile profile;
    profile.provider = "custom";
    profile.tokenUrl = "https://auth.example.test/token";
    profile.deviceUrl = "https://auth.example.test/device";
    profile.clientId = "client";
    return profile;
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    const auto parts = SplitParts(data, size, 2);
    long status = 0;
    for (const char c : parts[0].substr(0, 3)) {
        status = c >= '0' && c <= '9' ? status * 10 + (c - '0') : status;
    }
    const std::string& body = parts[1];

    std::string problem;
    const auto reply = ReadGrantReply(body, problem);
    FUZZ_CHECK(reply.has_value() == problem.empty());

    ScriptedHttp http(status == 0 ? 200 : status, body);
    OAuthServer server(Profile(), http);
    const GrantResult granted = server.Refresh("RT-1");
    FUZZ_CHECK(!HasControlBytes(granted.error));
    if (granted.ok()) {
        FUZZ_CHECK(reply.has_value());
        FUZZ_CHECK(IsTokenText(granted.tokens.accessToken));
        FUZZ_CHECK(granted.tokens.refreshToken.empty() || IsTokenText(granted.tokens.refreshToken));
        FUZZ_CHECK(granted.error.empty());
    } else {
        FUZZ_CHECK(!granted.error.empty());
    }

    std::string error;
    const auto device = server.StartDevice(error);
    FUZZ_CHECK(!HasControlBytes(error));
    if (device) {
        FUZZ_CHECK(reply.has_value());
        FUZZ_CHECK(!device->userCode.empty() && !HasControlBytes(device->userCode));
        FUZZ_CHECK(!device->verificationUri.empty() && !HasControlBytes(device->verificationUri));
        FUZZ_CHECK(!HasControlBytes(device->verificationUriComplete));
        FUZZ_CHECK(device->expiresIn > 0 && device->interval >= 1);
    }
    return 0;
}
