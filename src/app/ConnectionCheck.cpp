#include "app/ConnectionCheck.h"

#include "engine/MailConnections.h"
#include "support/SettingTables.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

std::string Joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : ", ") + line;
    }
    return text;
}

CheckedServer Server(const char* kind, const std::string& list = {}) {
    CheckedServer server;
    server.kind = kind;
    server.list = list;
    return server;
}

void Tally(CheckReport& report, const std::string& part, CheckedServer server,
           const ProbeReport& probe) {
    report.text += part;
    report.passed = report.passed && probe.error.ok();
    ++report.checked;
    server.configured = true;
    server.probe = probe;
    report.servers.push_back(std::move(server));
}

void NotConfigured(CheckReport& report, const std::string& title, CheckedServer server,
                   bool fails) {
    report.text += title + "\n  not configured\n";
    if (fails) {
        report.passed = false;
    }
    report.servers.push_back(std::move(server));
}

}  // namespace

const char* LoginText(LoginOutcome login) {
    switch (login) {
        case LoginOutcome::NotTried:
            return "not tried";
        case LoginOutcome::NotRequired:
            return "not required";
        case LoginOutcome::Accepted:
            return "accepted";
        case LoginOutcome::Refused:
            return "refused";
    }
    return "not tried";
}

std::string DescribeProbe(const std::string& title, const ProbeReport& probe, bool isPop3) {
    // Everything the server sent (its certificate's names, its capabilities) is shown as
    // one line without control bytes: a server must not steer the terminal or the window.
    std::string text = title + " (security " + probe.security + ")\n";
    text += std::string("  connection: ") + (probe.connected ? "made" : "none") + "\n";
    const TlsInfo& tls = probe.tls;
    if (tls.used) {
        text += "  TLS: " + OneLineText(tls.version) + ", " + OneLineText(tls.cipher) +
                (tls.resumed ? ", resumed" : "") + "\n";
        const CertificateInfo& cert = tls.certificate;
        text += "  certificate: " + OneLineText(cert.subject) + "\n";
        text += "    issuer: " + OneLineText(cert.issuer) + "\n";
        text += "    expires: " + OneLineText(cert.notAfter) + "\n";
        text += "    SHA-256: " + cert.fingerprint + "\n";
        text += std::string("    ") +
                (tls.pinned     ? "accepted: its fingerprint is the pinned one"
                 : tls.verified ? "verified: trusted issuer, names the host"
                                : "not verified") +
                "\n";
    }
    if (probe.connected) {
        text += "  encryption: " +
                (tls.used ? std::string(probe.security == "starttls" ? "STARTTLS, " : "TLS, ") +
                                OneLineText(tls.version)
                          : std::string("none")) +
                "\n";
    }
    if (!probe.capabilities.empty()) {
        text += "  capabilities: " + OneLineText(Joined(probe.capabilities), 1000) + "\n";
    }
    if (probe.connected) {
        text += std::string("  login: ") + LoginText(probe.login) + "\n";
    }
    const bool loginSent =
        probe.login == LoginOutcome::Accepted || probe.login == LoginOutcome::Refused;
    if (loginSent && !tls.used) {
        text += std::string("  WARNING: the login went unencrypted; use port ") +
                (isPop3 ? "995" : "465 or 587") + " or a server that offers " +
                (isPop3 ? "STLS" : "STARTTLS") + "\n";
    }
    if (isPop3 && probe.messageCount >= 0) {
        text += "  messages: " + std::to_string(probe.messageCount) + "\n";
    }
    text += probe.error.ok() ? "  passed\n" : "  FAILED: " + probe.error.Text() + "\n";
    return text;
}

CheckReport CheckConnections(Services& services, const std::optional<std::string>& list) {
    CheckReport report;
    const GlobalSettings globals = services.console.Globals();
    Pop3Client& pop3 = services.pop3;
    auto checkMailbox = [&](CheckedServer server, const std::string& title, const std::string& host,
                            int port, const std::string& user, const std::string& password,
                            const ServerSecurity& security, const MailboxLogin& login) {
        pop3.HostAddress = host;
        pop3.Port = port;
        pop3.User = user;
        pop3.Password = password;
        pop3.Security = security;
        ApplyLogin(pop3, login);
        services.observer.StatusText("Checking " + title);
        const ProbeReport probe = pop3.Probe();
        server.host = host;
        server.port = port;
        server.user = user;
        Tally(report, DescribeProbe(title, probe, true), std::move(server), probe);
    };

    if (!list) {
        SmtpClient& smtp = services.smtp;
        const std::string title =
            "SMTP server " + globals.SMTPHost + ":" + std::to_string(globals.SMTPPort);
        if (globals.SMTPHost.empty()) {
            NotConfigured(report, "SMTP server", Server("smtp"), false);
        } else {
            smtp.Server = SmtpServerFromSettings(globals);
            services.observer.StatusText("Checking " + title);
            const ProbeReport probe = smtp.Probe();
            CheckedServer server = Server("smtp");
            server.host = globals.SMTPHost;
            server.port = globals.SMTPPort;
            server.user = globals.SmtpUser;
            Tally(report, DescribeProbe(title, probe, false), std::move(server), probe);
        }

        if (globals.ListServerHost.empty() || globals.ListServerUserID.empty()) {
            NotConfigured(report, "List Server mailbox", Server("listserver"), false);
        } else {
            checkMailbox(Server("listserver"),
                         "List Server mailbox " + globals.ListServerUserID + " at " +
                             globals.ListServerHost + ":" + std::to_string(globals.ListServerPort),
                         globals.ListServerHost, globals.ListServerPort, globals.ListServerUserID,
                         globals.ListServerPassword, ListServerSecurity(globals),
                         ListServerLogin(globals));
        }
    }

    const std::vector<std::string> names =
        list ? std::vector<std::string>{*list} : services.console.ListNames();
    for (const std::string& name : names) {
        const std::string key = services.paths.ListKey(name);
        const std::string prefix = "Mailbox of list \"" + name + "\"";
        if (!services.store.KeyExists(key)) {
            NotConfigured(report, prefix, Server("list", name), list.has_value());
            continue;
        }
        const ListSettings settings = LoadListSettings(services.store, key);
        // The scan's own rule for a mailbox it skips.
        if (settings.Pop3Host.empty() || settings.Pop3Port == 0 || settings.Pop3User.empty()) {
            NotConfigured(report, prefix, Server("list", name), list.has_value());
            continue;
        }
        checkMailbox(Server("list", name),
                     prefix + ": " + settings.Pop3User + " at " + settings.Pop3Host + ":" +
                         std::to_string(settings.Pop3Port),
                     settings.Pop3Host, settings.Pop3Port, settings.Pop3User, settings.Pop3Password,
                     ListMailboxSecurity(settings, globals), ListMailboxLogin(settings, name));
    }
    if (!list && report.checked == 0) {
        // An empty installation has nothing that could work: a check that says so fails.
        report.text += "nothing is configured\n";
        report.passed = false;
        services.observer.StatusText("Nothing is configured.");
        return report;
    }
    services.observer.StatusText(report.passed ? "Every server passed the check."
                                               : "A server failed the check.");
    return report;
}

}  // namespace corvanteer
