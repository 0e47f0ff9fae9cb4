#include "transport/MailError.h"

#include <gtest/gtest.h>

#include <string>

namespace corvanteer {
namespace {

// What a server sent reaches log lines, the terminal and the window as one harmless line.
TEST(MailError, TextShowsServerBytesAsOneHarmlessLine) {
    const std::string longReply = "550 " + std::string(400, 'x');
    const struct {
        MailError error;
        std::string text;
    } cases[] = {
        {ServerSaid(MailFailure::Refused, "pop:110 refused USER", "-ERR no\x1b[2J"),
         "pop:110 refused USER: -ERR no?[2J"},
        {ServerSaid(MailFailure::Auth, "", "535 bad\r\nFAKE LOG LINE"), "535 bad??FAKE LOG LINE"},
        {Fail(MailFailure::Certificate, "certificate of x refused: CN=evil\x07"),
         "certificate of x refused: CN=evil?"},
        {ServerSaid(MailFailure::Refused, "smtp:25 refused DATA", longReply),
         "smtp:25 refused DATA: " + longReply.substr(0, 300) + "..."},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(test.error.Text(), test.text);
    }
}

}  // namespace
}  // namespace corvanteer
