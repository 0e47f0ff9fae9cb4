#pragma once

// What the mail clients check before anything of a login leaves: values that cannot go into
// a command line, and the refusal of a secret that would travel unencrypted.

#include <string>

#include "support/ConnectionSecurity.h"
#include "transport/ConnectionInfo.h"
#include "transport/MailError.h"

namespace corvanteer {

// A Settings error when the host, user or password holds a control character (a CR LF would
// end the command and begin one of the sender's choosing) or the port lies outside 1..65535;
// None when all can be used. The text names the value, never the password itself.
MailError CheckConnectionValues(const std::string& host, int port, const std::string& user,
                                const std::string& password);

// The Tls error of PlainStep::RefuseClearLogin: where offers no TLS, and what to change.
// tlsPorts names the ports of implicit TLS or STARTTLS ("995", "465 or 587").
MailError ClearLoginRefused(const std::string& where, const ServerSecurity& security,
                            LoginSecret secret, const std::string& tlsPorts);

}  // namespace corvanteer
