#include "support/SettingDescriptions.h"

namespace corvanteer {

namespace {

using Described = std::vector<std::pair<std::string_view, std::string_view>>;

// Written for the operator: what the value changes, the unit, what 0 or empty means, and
// which other settings it works with.
Described MakeGlobal() {
    return {
        {"ListServerAddress",
         "The List Server address: the one mailbox, shared by all lists, to which people send "
         "subscribe, unsubscribe and help requests, their verification replies and moderators' "
         "command messages. Answers to requests are sent from it."},
        {"ListServerHost",
         "POP3 server of the List Server mailbox. Empty: the mailbox is not read, and requests "
         "by mail are not answered."},
        {"ListServerUserID",
         "POP3 user name of the List Server mailbox; with ListServerAuth oauth2, the mailbox's "
         "address."},
        {"ListServerPassword",
         "POP3 password of the List Server mailbox, stored scrambled. Not used when "
         "ListServerAuth is oauth2. `config set ListServerPassword -` reads it from standard "
         "input."},
        {"ListServerPort", "POP3 port of the List Server mailbox: 995 for TLS, 110 for STARTTLS."},
        {"ListServerSecurity",
         "How the connection to the List Server mailbox is protected: tls (TLS from the first "
         "byte), starttls (plain first, then STLS; never goes on in plain text), none (plain "
         "text) or auto (tls on port 995; on other ports as the README's \"Encrypted "
         "connections\" says)."},
        {"ListServerTlsFingerprint",
         "The SHA-256 fingerprint of the List Server's certificate (64 hex digits, colons "
         "allowed). When set, exactly that certificate is accepted, whatever its issuer and "
         "names; any other is refused. Empty: the certificate must chain to a trusted CA and "
         "name the host."},
        {"SMTPHost",
         "The SMTP server that sends everything: answers, postings, approval requests and the "
         "queue's retries."},
        {"SMTPPort", "Port of the SMTP server: 465 for TLS, 587 for STARTTLS, 25 between servers."},
        {"SMTPSecurity",
         "How the connection to the SMTP server is protected: tls, starttls (STARTTLS; never "
         "goes on in plain text), none or auto (tls on port 465, starttls on 587; on other "
         "ports as the README's \"Encrypted connections\" says)."},
        {"SMTPTlsFingerprint",
         "The SHA-256 fingerprint of the SMTP server's certificate; when set, exactly that "
         "certificate is accepted. Empty: the usual checks of issuer and name."},
        {"ReqSmtpAuth",
         "The SMTP server wants a login: SmtpUser and SmtpPassword are sent with AUTH PLAIN, or "
         "LOGIN where the server offers only that; with SMTPAuth oauth2, a token instead."},
        {"SmtpUser", "User name of the SMTP login; with SMTPAuth oauth2, the mailbox's address."},
        {"SmtpPassword",
         "Password of the SMTP login, stored scrambled. Not used when SMTPAuth is oauth2."},
        {"TlsCAFile",
         "A PEM file of certificate authorities trusted besides the system's, for servers "
         "whose certificates a private CA issued. Empty: the system's CAs only."},
        {"ListServerAuth",
         "How the List Server mailbox logs in: password (USER and PASS) or oauth2 (a token of "
         "`corvanteer-cli oauth login listserver`, sent with SASL XOAUTH2 or OAUTHBEARER)."},
        {"SMTPAuth",
         "How the SMTP login proves who it is: password, or oauth2 (a token of "
         "`corvanteer-cli oauth login smtp`)."},
        {"OAuthProvider",
         "The OAuth 2.0 provider of every oauth2 login: microsoft (Microsoft 365 and "
         "Outlook.com, device code sign-in), google (Gmail and Google Workspace, browser "
         "sign-in) or custom (the OAuth*Url settings)."},
        {"OAuthClientId",
         "Client id of the application you registered with the provider (Microsoft Entra app "
         "registration, or a Google Cloud OAuth client of type Desktop app)."},
        {"OAuthClientSecret",
         "Client secret of that registration, stored scrambled: Google's desktop clients have "
         "one; Microsoft's public clients have none."},
        {"OAuthTenant",
         "Microsoft only: common (any account), organizations, consumers (Outlook.com) or your "
         "tenant's id or domain."},
        {"OAuthAuthorizeUrl",
         "Custom provider: the authorization endpoint for the browser sign-in (https)."},
        {"OAuthTokenUrl", "Custom provider: the token endpoint (https)."},
        {"OAuthDeviceUrl",
         "Custom provider: the device authorization endpoint for the sign-in by code (https)."},
        {"OAuthScopes", "Custom provider: the scopes asked for, separated by blanks."},
        {"SessionInterval",
         "Minutes between two scans, counted from the end of the previous one, for `run` and "
         "the window's auto-scan. 0: no scans by timer."},
        {"SmtpMaxAttempts",
         "How often a message the SMTP server did not accept is tried in all, the first try "
         "included; each later scan retries the queue once. 0: without limit. 1: a failed "
         "message is not queued."},
        {"MaxRecipientsPerMessage",
         "The most recipients one message may have: a Bcc posting to more members goes out as "
         "several identical messages. Set it to the provider's recipients-per-message limit. "
         "0: no limit."},
        {"MaxRecipientsPerHour",
         "The most recipients sent to within any hour; what would pass it waits in the queue "
         "as held mail and goes out with later scans, oldest first. 0: no cap."},
        {"MaxRecipientsPerDay",
         "The most recipients sent to within any 24 hours (the provider's daily sending "
         "limit); held mail as with MaxRecipientsPerHour. 0: no cap."},
        {"MaxMessageSize",
         "The largest message, in bytes, a scan downloads; a larger one stays on the server and "
         "gets one log line per scan. 0: no limit."},
        {"TimerON",
         "The window switches auto-scan on when it starts. While set, the shutdown file lets a "
         "running scan or posting finish first."},
        {"Minimized",
         "The window starts minimised, and minimising hides it into the notification area "
         "where there is one."},
        {"Launch",
         "The window starts when you log in to the desktop (an autostart entry is made or "
         "removed as the value changes in the window)."},
        {"BackupDir",
         "The folder that `backup` and `restore` (and the Global page's buttons) use when none "
         "is given."},
        {"Top", "The window's top edge at its last end, where it opens again."},
        {"Left", "The window's left edge at its last end, where it opens again."},
        {"LastList", "Which list the window showed at its last end (its place in the selector)."},
    };
}

Described MakeList() {
    return {
        {"AllowUserSubscribe",
         "People may subscribe and unsubscribe by mail to the List Server address (subject "
         "\"subscribe LIST\" or \"unsubscribe LIST\"). Off: such requests are not served."},
        {"VerifySubscribe",
         "A subscription by mail must be confirmed: the person is sent a code and becomes a "
         "member when the reply with the code comes back within VerifyDays."},
        {"VerifyDays",
         "Days a subscription waits for its confirmation; an unanswered one is removed by "
         "`expire`, at the start of `run` and when the window starts, VerifyDays + 2 days after "
         "it was asked for."},
        {"ModerateList",
         "Postings that pass the rules go to the moderators for approval instead of to the "
         "members; an approving reply posts them. Posting passwords are not asked for then."},
        {"RequirePassword",
         "Members and moderators must end the subject of a posting with their password (the "
         "last word of the subject, removed before posting). Not used while ModerateList is on "
         "or when anybody may post."},
        {"ForwardErrorMsgs",
         "Postings the rules refuse, and automatic mail such as bounces, are forwarded to "
         "ErrorsTo. Off: they are dropped (and logged)."},
        {"HideSenderEmail",
         "The From line of postings shows the sender's name with ChangeSenderEmailTo instead "
         "of the sender's own address."},
        {"AllowPostBy", "Who may post: 0 moderators only, 1 members (and moderators), 2 anybody."},
        {"PostingMethod",
         "How a posting reaches the members: 0 one message with every member as a blind copy "
         "(Bcc; split by MaxRecipientsPerMessage), 1 one copy per member."},
        {"Moderators",
         "Moderator addresses, one a line; where passwords are required, each address followed "
         "by a blank and the moderator's password. Moderators may always post, approve "
         "postings and send command messages."},
        {"ListTo",
         "The To line of Bcc postings (the members' addresses are not shown). The window shows "
         "a placeholder while it is not set; a scan then writes an empty To line."},
        {"ListPostingAddress",
         "The list's own address, whose mailbox Pop3Host/Pop3User reads: postings go out from "
         "it and replies to them come back to it (Reply-To)."},
        {"ErrorsTo", "Where refused postings go when ForwardErrorMsgs is on."},
        {"ChangeSenderEmailTo",
         "The address shown in the From line of postings instead of the sender's when "
         "HideSenderEmail is on."},
        {"VerifySubject",
         "Subject of the verification request; the code follows it in parentheses."},
        {"VerifyErrSubject", "Subject of the answer to a verification reply that does not match."},
        {"AlreadyAMemberSubject", "Subject of the answer to a subscription by a member."},
        {"NotMemberSubject", "Subject of the answer to an unsubscription by someone not a member."},
        {"SubscribeConfirmSubject", "Subject of the welcome that confirms a subscription."},
        {"UnSubscribeConfirmSubject", "Subject of the answer that confirms an unsubscription."},
        {"PasswordNotifySubject",
         "Subject of the message that tells a new member the posting password (sent when "
         "RequirePassword is on and members may post)."},
        {"HelpSubject", "Subject of the answer to \"help LIST\"."},
        {"Pop3Host",
         "POP3 server of the list's mailbox, the one ListPostingAddress delivers to. Empty: "
         "the list's mailbox is not read."},
        {"Pop3User",
         "POP3 user name of the list's mailbox; with Pop3Auth oauth2, the mailbox's address."},
        {"Pop3Password",
         "POP3 password of the list's mailbox, stored scrambled; not used with Pop3Auth "
         "oauth2."},
        {"Pop3Port", "POP3 port of the list's mailbox: 995 for TLS, 110 for STARTTLS."},
        {"Pop3Security",
         "How the connection to the list's mailbox is protected: tls, starttls, none or auto, "
         "as ListServerSecurity."},
        {"Pop3TlsFingerprint",
         "The SHA-256 fingerprint of the list's POP3 server certificate; when set, exactly that "
         "certificate is accepted."},
        {"Pop3Auth",
         "How the list's mailbox logs in: password, or oauth2 (a token of `corvanteer-cli "
         "oauth login LIST`)."},
        {"ListHeaders",
         "Postings carry the standard list header lines (List-Id, List-Post, List-Help, "
         "List-Subscribe, List-Unsubscribe, Precedence), which mail programs and large "
         "providers use to file list mail and offer an unsubscribe button."},
        {"HtmlArchive",
         "After each scan that posted, the list's static HTML archive in Lists/LIST/html/ is "
         "brought up to date from its monthly mbox files."},
        {"HtmlArchiveShowAddresses",
         "The HTML archive shows senders' e-mail addresses; off, only their names appear."},
        {"ArchiveBaseURL",
         "Web address where the HTML archive is published; when set, postings carry List-Archive "
         "and Archived-At lines pointing there."},
        {"ModeChangedSubject",
         "Subject of the answer to a member whose delivery mode was changed by mail."},
        {"WhichSubject",
         "Subject of the answer to \"which\" (the sender's lists and modes); read from the "
         "Default List."},
        {"ListsSubject",
         "Subject of the answer to \"lists\" (the lists open to subscription); read from the "
         "Default List."},
        {"DigestEnabled",
         "Members may take digests; off, members in a digest mode get each posting instead."},
        {"DigestMaxKB",
         "A digest goes out as soon as its postings pass this many KB; 0 sends it once a day "
         "only."},
        {"DigestHour", "Hour of the day (0-23) from which the first scan sends the day's digest."},
        {"DigestVolume", "Volume number of the list's digests; it rises by one on 1 January."},
        {"DigestIssue", "Issue number of the last digest sent; the next digest carries one more."},
        {"DigestLastDate",
         "Day the last digest went out (yyyy-mm-dd); kept by the program, empty before the "
         "first."},
        {"BounceProcessing",
         "Failure reports that come back are scored per member and delivery to addresses that "
         "keep failing is stopped; individual copies carry a member token."},
        {"BounceScoreThreshold",
         "Bounce score at which a member's delivery is disabled (a hard failure counts 1.0, a "
         "soft one 0.5, at most once a day)."},
        {"BounceInfoStaleAfter",
         "Days after the last failure report when a member's bounce score starts again from "
         "zero."},
        {"BounceWarnInterval",
         "Days between the notices sent to a member whose delivery is disabled."},
        {"BounceWarnings",
         "Notices a disabled member gets before being removed from the list when none is "
         "answered."},
    };
}

}  // namespace

const std::vector<std::pair<std::string_view, std::string_view>>& GlobalSettingDescriptions() {
    static const Described described = MakeGlobal();
    return described;
}

const std::vector<std::pair<std::string_view, std::string_view>>& ListSettingDescriptions() {
    static const Described described = MakeList();
    return described;
}

}  // namespace corvanteer
