// The command line's words: every command, its options and its --help, parsed with CLI11.
// Each leaf command stores what it will do; the session (application directory, settings
// store) is created only after the words were accepted, so --help and a usage error write
// nothing.

#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <ostream>

#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "cli/HelpFormatter.h"
#include "support/Status.h"
#include "support/Version.h"

namespace corvanteer::cli {

namespace {

using Action = std::function<int(CliSession&)>;

// The values the words fill in; the actions read them when they run.
struct Words {
    std::string home;
    bool test = false;
    std::string name;
    std::optional<std::string> secret;
    std::optional<std::string> passwordFile;
    std::string list;
    std::optional<std::string> listOption;
    std::string address;
    std::string mode;
    std::string section;
    std::string file;
    std::optional<std::string> folder;
    std::optional<std::string> url;
    MessageArgs message;
    RunArgs run;
    int interval = 0;
    int intervalSeconds = 0;
    bool json = false;
    bool check = false;
    bool all = false;
    bool browser = false;
    ArchiveRange range;
    bool describe = false;
    bool withSecrets = false;
};

constexpr const char* kDescription =
    "Corvanteer without a window: runs scans, edits lists, members and settings, posts by "
    "hand. Works on the same files and settings as the window.\n"
    "Exit status: 0 done; 1 refused or failed (one line on standard error says why); 2 usage "
    "error (unknown command, option or setting, value of the wrong type).\n"
    "A value that begins with '-' follows '--' (config set SessionInterval -- -1).";

class Parser {
public:
    explicit Parser(Words& w) : w_(w), app_(kDescription, "corvanteer-cli") {
        // Set first: every command added below takes the formatter of its parent.
        app_.formatter(std::make_shared<HelpFormatter>());
        app_.set_version_flag("--version", std::string("corvanteer-cli ") + kProgramVersion,
                              "Print the program name and version");
        app_.add_option("--home", w_.home,
                        "Application directory (default: $CORVANTEER_HOME, else "
                        "$XDG_DATA_HOME/corvanteer, else ~/.local/share/corvanteer)")
            ->type_name("DIR");
        app_.add_flag("--test", w_.test,
                      "Test mode: its own application directory (the normal one + \"test/\") "
                      "and settings key, so no roster, queue, log or archive is shared with "
                      "the real setup");
        app_.require_subcommand(1);
        app_.fallthrough();
        app_.footer("Run corvanteer-cli COMMAND --help for the words of one command.");

        AddScanCommands();
        AddConfigCommands();
        AddListCommands();
        AddMemberCommands();
        AddPostCommands();
        AddQueueCommands();
        AddBackupCommands();
        AddOAuthCommands();
        AddArchiveCommands();
    }

    CLI::App& app() { return app_; }
    Action& action() { return action_; }
    bool readOnly() const { return readOnly_; }
    bool HomeGiven() { return app_.count("--home") > 0; }

private:
    CLI::App* Command(CLI::App& parent, const char* name, const char* description) {
        CLI::App* command = parent.add_subcommand(name, description);
        command->fallthrough();
        return command;
    }
    void Leaf(CLI::App* command, Action action) {
        command->callback([this, action = std::move(action)] { action_ = action; });
    }
    // A command that only reads files and settings.
    void ReadingLeaf(CLI::App* command, Action action) {
        command->callback([this, action = std::move(action)] {
            action_ = action;
            readOnly_ = true;
        });
    }
    void JsonFlag(CLI::App* command) {
        command->add_flag("--json", w_.json, "Print one JSON object instead (see the manual)");
    }
    CLI::Option* Required(CLI::App* command, const char* name, std::string& into,
                          const char* description) {
        return command->add_option(name, into, description)->required();
    }
    void ListOption(CLI::App* command) {
        command->add_option("--list", w_.listOption, "A list's setting instead of a global one")
            ->type_name("LIST");
    }
    void PasswordFileOption(CLI::App* command) {
        command
            ->add_option("--password-file", w_.passwordFile,
                         "Read the password from the first line of FILE")
            ->type_name("FILE");
    }
    void MessageOptions(CLI::App* command) {
        command->add_option("--from", w_.message.from, "The From field")->required();
        command->add_option("--subject", w_.message.subject, "The Subject field")->required();
        command
            ->add_option("--body", w_.message.body,
                         "File holding the message text (default or '-': standard input)")
            ->type_name("FILE");
    }

    void AddScanCommands() {
        Leaf(Command(app_, "scan",
                     "One scan session now (waits for a running one to end); progress on "
                     "standard error. Exits 1 when a mailbox could not be logged into or "
                     "its reading broke off (each named on standard error)"),
             [](CliSession& s) { return Scan(s); });

        CLI::App* run = Command(app_, "run",
                                "Stay running without a window: expire stale verifications, "
                                "then scan every SessionInterval minutes counted from the end of "
                                "the previous scan (0: never). Ends after the running scan when "
                                "the file \"shutdown\" appears in the application directory "
                                "(checked every 5 s, then deleted) or on SIGTERM/SIGINT");
        run->add_option("--interval", w_.interval,
                        "Minutes between scans instead of "
                        "SessionInterval (0: never)")
            ->type_name("MIN")
            ->check(CLI::Range(0, 9999));
        run->add_flag("--now", w_.run.now, "Scan at once, before the first interval");
        // For tests: a minute of the loop lasts this many seconds, the interval is one minute.
        run->add_option("--interval-seconds", w_.intervalSeconds)
            ->check(CLI::Range(1, 3600))
            ->group("");
        Leaf(run, [this, run](CliSession& s) {
            if (run->count("--interval") > 0) {
                w_.run.intervalMinutes = w_.interval;
            }
            if (run->count("--interval-seconds") > 0) {
                w_.run.intervalSeconds = w_.intervalSeconds;
            }
            return Run(s, w_.run);
        });

        CLI::App* check =
            Command(app_, "check",
                    "Check the connections: the SMTP server, the List Server mailbox and every "
                    "list's mailbox, in that order: the encryption (TLS version and cipher), "
                    "the certificate, the capabilities, the login (a WARNING line when it went "
                    "unencrypted) and the message count. Reads, deletes and sends nothing. Exit "
                    "status 0 only when every configured server passed; 1 also when nothing is "
                    "configured");
        check->add_option("--list", w_.listOption, "Check only this list's mailbox")
            ->type_name("LIST");
        JsonFlag(check);
        Leaf(check, [this](CliSession& s) { return Check(s, w_.listOption, w_.json); });

        Leaf(Command(app_, "expire", "Expire stale pending verifications now"),
             [](CliSession& s) { return Expire(s); });

        CLI::App* status = Command(app_, "status",
                                   "The scan running, the last scan (start, end, outcome ok, "
                                   "partial or failed, counts, failed mailboxes), the next scan "
                                   "due (and whether it is overdue), the queue, pending "
                                   "verifications and each list's members");
        status->add_flag("--json", w_.json, "Print the same as one JSON object");
        status->add_flag("--check", w_.check,
                         "For monitoring: exit 1 when the last scan was not ok, the next scan "
                         "is overdue or given-up mail waits, 0 otherwise");
        ReadingLeaf(status, [this](CliSession& s) { return Status(s, w_.json, w_.check); });
    }

    void AddConfigCommands() {
        CLI::App* config = Command(app_, "config", "Read and change settings");
        config->require_subcommand(1);

        CLI::App* get = Command(*config, "get",
                                "Print a setting's value, or its default when absent (booleans "
                                "as 1/0, passwords in plain)");
        Required(get, "NAME", w_.name, "Setting name (any letter case)");
        ListOption(get);
        ReadingLeaf(get, [this](CliSession& s) { return ConfigGet(s, w_.name, w_.listOption); });

        CLI::App* set = Command(*config, "set",
                                "Store a setting with its type (passwords scrambled; booleans "
                                "1/0/true/false/on/off; integers within their range, ports "
                                "1-65535; hosts, addresses and the CA file checked; one line "
                                "without control characters). A refused value exits 2 and "
                                "changes nothing. For a password, VALUE \"-\" reads it from "
                                "standard input (one line), so it never shows in the process "
                                "list or the shell history");
        Required(set, "NAME", w_.name, "Setting name (any letter case)");
        set->add_option("VALUE", w_.secret, "The value (a password: \"-\" for standard input)");
        PasswordFileOption(set);
        ListOption(set);
        Leaf(set, [this](CliSession& s) {
            return ConfigSet(s, w_.name, {w_.secret, w_.passwordFile}, w_.listOption);
        });

        CLI::App* show = Command(*config, "show",
                                 "NAME=VALUE for every setting of the global table, or of a "
                                 "list's table with --list; passwords and the client secret "
                                 "show as (set) or (not set)");
        ListOption(show);
        show->add_flag("--describe", w_.describe,
                       "Follow each line by the setting's scope, type, default, range, what it "
                       "does and its caption in the window (as corvanteer-settings(5))");
        ReadingLeaf(show,
                    [this](CliSession& s) { return ConfigShow(s, w_.listOption, w_.describe); });

        CLI::App* exp = Command(*config, "export",
                                "Write every global and list setting and every list's texts "
                                "to FILE as one UTF-8 text, sorted, for version control; values "
                                "left at their default and passwords are comments");
        Required(exp, "FILE", w_.file, "File to write (replaced; '-': standard output)");
        exp->add_flag("--with-secrets", w_.withSecrets,
                      "Write the passwords too (the file is readable by its owner only)");
        ReadingLeaf(exp,
                    [this](CliSession& s) { return ConfigExport(s, w_.file, w_.withSecrets); });

        CLI::App* imp = Command(*config, "import",
                                "Apply a text written by config export (or by hand): the whole "
                                "file is checked first, and with any unknown name or bad value "
                                "nothing changes; settings it does not name keep their values");
        Required(imp, "FILE", w_.file, "File to read ('-': standard input)");
        Leaf(imp, [this](CliSession& s) { return ConfigImport(s, w_.file); });
    }

    void AddListCommands() {
        CLI::App* lists = Command(app_, "lists",
                                  "Print the list names in the window's order (\"Default "
                                  "List\" alone when none exists)");
        lists->require_subcommand(0, 1);
        JsonFlag(lists);
        // A sub-command's callback runs before its parent's: the parent takes the sub-command's
        // action, or lists the names when none was given.
        CLI::App* add =
            Command(*lists, "add", "Add a list (blanks become \"_\"); prints the name it got");
        Required(add, "NAME", w_.name, "List name");
        add->callback(
            [this] { pending_ = [this](CliSession& s) { return ListsAdd(s, w_.name); }; });
        CLI::App* del = Command(*lists, "delete",
                                "Delete a list: its settings and its data file (never "
                                "\"Default List.dat\"); saved messages and archive stay");
        Required(del, "NAME", w_.name, "List name");
        del->callback(
            [this] { pending_ = [this](CliSession& s) { return ListsDelete(s, w_.name); }; });
        lists->callback([this] {
            readOnly_ = !pending_;
            action_ = pending_ ? pending_
                               : Action([this](CliSession& s) { return ListsShow(s, w_.json); });
        });

        CLI::App* section = Command(app_, "section",
                                    "Print or replace a section of a list's "
                                    "data file");
        section->require_subcommand(1);
        CLI::App* get = Command(*section, "get", "Print the section");
        Required(get, "LIST", w_.list, "List name");
        Required(get, "SECTION", w_.section, "Section name (Signature, ExtraHeaders, ...)");
        ReadingLeaf(get, [this](CliSession& s) { return SectionGet(s, w_.list, w_.section); });
        CLI::App* set = Command(*section, "set",
                                "Replace the section with the lines of FILE or standard input "
                                "(lines may end with LF or CR LF)");
        Required(set, "LIST", w_.list, "List name");
        Required(set, "SECTION", w_.section, "Section name (Signature, ExtraHeaders, ...)");
        set->add_option("FILE", w_.file, "Input file (default or '-': standard input)");
        Leaf(set, [this](CliSession& s) { return SectionSet(s, w_.list, w_.section, w_.file); });
    }

    void AddMemberCommands() {
        CLI::App* members = Command(app_, "members", "The roster of a list");
        members->require_subcommand(1);
        auto listAndAddress = [this](CLI::App* command) {
            Required(command, "LIST", w_.list, "List name");
            Required(command, "ADDRESS", w_.address, "Member's address");
        };

        CLI::App* show = Command(*members, "show",
                                 "Print the roster lines (address, ban flag, password), sorted, "
                                 "each followed by a tab and the member's delivery mode; a "
                                 "bouncing member's mode is followed by \"(delivery disabled, "
                                 "bounce score N)\"");
        Required(show, "LIST", w_.list, "List name");
        JsonFlag(show);
        ReadingLeaf(show, [this](CliSession& s) { return MembersShow(s, w_.list, w_.json); });

        CLI::App* add = Command(*members, "add", "Add a member with a new password");
        listAndAddress(add);
        Leaf(add, [this](CliSession& s) { return MembersAdd(s, w_.list, w_.address); });

        CLI::App* remove = Command(*members, "remove", "Remove a member");
        listAndAddress(remove);
        Leaf(remove, [this](CliSession& s) { return MembersRemove(s, w_.list, w_.address); });

        CLI::App* ban = Command(*members, "ban", "Ban a member from posting");
        listAndAddress(ban);
        Leaf(ban, [this](CliSession& s) { return MembersBan(s, w_.list, w_.address, true); });

        CLI::App* unban = Command(*members, "unban", "Let a banned member post again");
        listAndAddress(unban);
        Leaf(unban, [this](CliSession& s) { return MembersBan(s, w_.list, w_.address, false); });

        CLI::App* password = Command(*members, "password",
                                     "Change a member's password (\"-\" or --password-file "
                                     "keep it out of the command line)");
        listAndAddress(password);
        password->add_option("PASSWORD", w_.secret,
                             "The new password, no blanks (\"-\" for standard input)");
        PasswordFileOption(password);
        Leaf(password, [this](CliSession& s) {
            return MembersPassword(s, w_.list, w_.address, {w_.secret, w_.passwordFile});
        });

        CLI::App* mode = Command(*members, "mode",
                                 "Set how a member receives the list: each (every posting), "
                                 "digest (MIME digest), plain-digest (plain-text digest) or "
                                 "nomail");
        listAndAddress(mode);
        Required(mode, "MODE", w_.mode, "each, digest, plain-digest or nomail");
        Leaf(mode, [this](CliSession& s) { return MembersMode(s, w_.list, w_.address, w_.mode); });

        CLI::App* import = Command(*members, "import",
                                   "Add the new valid addresses of a file as members: one a "
                                   "line, as \"Name <address>\", or as the first field of a "
                                   "line separated by commas or semicolons. Prints the counts; "
                                   "each line that added nobody is named on standard error "
                                   "with its number and reason");
        Required(import, "LIST", w_.list, "List name");
        Required(import, "FILE", w_.file, "File of addresses");
        Leaf(import, [this](CliSession& s) { return MembersImport(s, w_.list, w_.file); });

        CLI::App* exp =
            Command(*members, "export", "Write the members' addresses to a file, one a line");
        Required(exp, "LIST", w_.list, "List name");
        Required(exp, "FILE", w_.file, "File to write (replaced)");
        Leaf(exp, [this](CliSession& s) { return MembersExport(s, w_.list, w_.file); });

        CLI::App* enable =
            Command(*members, "enable", "Send the list's mail to a member again (bounce score 0)");
        listAndAddress(enable);
        Leaf(enable, [this](CliSession& s) { return MembersEnable(s, w_.list, w_.address); });

        CLI::App* disable = Command(*members, "disable",
                                    "Stop sending the list's mail to a member, who stays on "
                                    "the roster");
        listAndAddress(disable);
        Leaf(disable, [this](CliSession& s) { return MembersDisable(s, w_.list, w_.address); });
    }

    void AddPostCommands() {
        CLI::App* post = Command(app_, "post",
                                 "Post a message to a list's members with the list's stored "
                                 "settings (Bcc or one copy per member); SIGINT aborts between "
                                 "members. Why each copy that did not go was queued or given "
                                 "up goes to standard error");
        Required(post, "LIST", w_.list, "List name");
        MessageOptions(post);
        Leaf(post, [this](CliSession& s) { return Post(s, w_.list, w_.message); });

        CLI::App* posts = Command(app_, "posts", "Saved messages of a list");
        posts->require_subcommand(1);
        CLI::App* list = Command(*posts, "list", "Print the names of the saved messages");
        Required(list, "LIST", w_.list, "List name");
        JsonFlag(list);
        ReadingLeaf(list, [this](CliSession& s) { return PostsList(s, w_.list, w_.json); });
        CLI::App* show = Command(*posts, "show", "Print a saved message");
        Required(show, "LIST", w_.list, "List name");
        Required(show, "NAME", w_.name, "Message name");
        ReadingLeaf(show, [this](CliSession& s) { return PostsShow(s, w_.list, w_.name); });
        CLI::App* del = Command(*posts, "delete", "Delete a saved message");
        Required(del, "LIST", w_.list, "List name");
        Required(del, "NAME", w_.name, "Message name");
        Leaf(del, [this](CliSession& s) { return PostsDelete(s, w_.list, w_.name); });
        CLI::App* save = Command(*posts, "save",
                                 "Save a message under a name (replacing one "
                                 "of that name)");
        Required(save, "LIST", w_.list, "List name");
        Required(save, "NAME", w_.name, "Message name");
        MessageOptions(save);
        Leaf(save, [this](CliSession& s) { return PostsSave(s, w_.list, w_.name, w_.message); });
    }

    void AddQueueCommands() {
        CLI::App* queue = Command(app_, "queue",
                                  "One line per queued message: file, attempts, envelope "
                                  "sender, number of recipients; held messages marked, and "
                                  "the given-up ones (past SmtpMaxAttempts, in out/given-up/) "
                                  "listed apart");
        queue->require_subcommand(0, 1);
        JsonFlag(queue);
        CLI::App* flush = Command(*queue, "flush",
                                  "Retry every queued message now; why each that did not go "
                                  "was queued again or given up goes to standard error");
        flush->callback([this] { pending_ = [](CliSession& s) { return QueueFlush(s); }; });
        CLI::App* retry = Command(*queue, "retry",
                                  "Put a given-up message (NAME, as `queue` lists it) or all of "
                                  "them (--all) back into the queue with attempt count 1");
        retry->add_option("NAME", w_.name, "The given-up message's file name");
        retry->add_flag("--all", w_.all, "Every given-up message");
        retry->callback([this, retry] {
            const bool named = retry->count("NAME") > 0;
            if (named == w_.all) {
                throw CLI::ValidationError("queue retry", "give NAME or --all, not both");
            }
            pending_ = [this, named](CliSession& s) {
                return QueueRetry(s, named ? std::optional<std::string>(w_.name) : std::nullopt);
            };
        });
        queue->callback([this] {
            readOnly_ = !pending_;
            action_ = pending_ ? pending_
                               : Action([this](CliSession& s) { return QueueShow(s, w_.json); });
        });
    }

    void AddBackupCommands() {
        CLI::App* backup = Command(app_, "backup",
                                   "Save the settings (\"registry.cfg\") and every list's data "
                                   "file into DIR (default: BackupDir)");
        backup->add_option("DIR", w_.folder, "Backup folder");
        Leaf(backup, [this](CliSession& s) { return BackupCommand(s, w_.folder); });

        CLI::App* restore = Command(app_, "restore",
                                    "Bring back the settings and data files saved in DIR "
                                    "(default: BackupDir)");
        restore->add_option("DIR", w_.folder, "Backup folder");
        Leaf(restore, [this](CliSession& s) { return RestoreCommand(s, w_.folder); });

        CLI::App* check = Command(app_, "check-update",
                                  "Ask the maker's web server whether a newer version exists");
        check->add_option("--url", w_.url, "Base address of the version list")->type_name("BASE");
        Leaf(check, [this](CliSession& s) { return CheckUpdate(s, w_.url); });
    }

    void AddOAuthCommands() {
        CLI::App* oauth = Command(app_, "oauth",
                                  "OAuth 2.0 sign-in of the mailboxes whose login method is "
                                  "oauth2 (SMTPAuth, ListServerAuth, a list's Pop3Auth)");
        oauth->require_subcommand(1);
        CLI::App* login = Command(*oauth, "login",
                                  "Sign a mailbox in with the provider of OAuthProvider: prints "
                                  "the address to open and the code to enter (Microsoft), or "
                                  "the address to open in a browser on this computer (Google), "
                                  "and waits; the tokens are stored, scrambled, with the "
                                  "settings. SIGINT stops the waiting");
        Required(login, "ACCOUNT", w_.name, "smtp, listserver or the name of a list");
        login->add_flag("--browser", w_.browser,
                        "Sign in in a browser on this computer even where the provider offers "
                        "the code");
        Leaf(login, [this](CliSession& s) { return OAuthLogin(s, w_.name, w_.browser); });
        CLI::App* status = Command(*oauth, "status",
                                   "Each account: its login method, user, and whether it is "
                                   "signed in and until when its access token is valid");
        JsonFlag(status);
        Leaf(status, [this](CliSession& s) { return OAuthStatus(s, w_.json); });
        CLI::App* logout = Command(*oauth, "logout", "Forget the tokens of an account");
        Required(logout, "ACCOUNT", w_.name, "smtp, listserver or the name of a list");
        Leaf(logout, [this](CliSession& s) { return OAuthLogout(s, w_.name); });
    }

    void AddArchiveCommands() {
        CLI::App* archive = Command(app_, "archive",
                                    "A list's archive: every posting as it went to the members, "
                                    "in monthly mbox files (Lists/<list>/mbox/YYYY-MM.mbox), and "
                                    "the HTML archive built from them");
        archive->require_subcommand(1);
        CLI::App* build = Command(*archive, "build",
                                  "Build the HTML archive, or bring it up to date (only changed "
                                  "pages are written): index.html with the months, YYYY-MM/"
                                  "threads.html and date.html, a page per message. Addresses "
                                  "are hidden unless HtmlArchiveShowAddresses is on");
        Required(build, "LIST", w_.list, "List name");
        build
            ->add_option("--out", w_.folder,
                         "Folder to build into (default: Lists/<list>/html, private like the "
                         "application directory; files of another folder get the usual modes, "
                         "for publishing)")
            ->type_name("DIR");
        Leaf(build, [this](CliSession& s) { return ArchiveBuild(s, w_.list, w_.folder); });

        CLI::App* exp = Command(*archive, "export",
                                "Write the archived messages of the months asked into one mbox "
                                "file (mboxrd)");
        Required(exp, "LIST", w_.list, "List name");
        exp->add_option("--from", w_.range.from, "First month (default: the oldest)")
            ->type_name("YYYY-MM");
        exp->add_option("--to", w_.range.to, "Last month (default: the newest)")
            ->type_name("YYYY-MM");
        Required(exp, "FILE", w_.file, "File to write (replaced)");
        Leaf(exp, [this](CliSession& s) { return ArchiveExport(s, w_.list, w_.range, w_.file); });

        CLI::App* import = Command(*archive, "import",
                                   "Add the messages of an mbox file to the archive, each to the "
                                   "month of its date, skipping Message-IDs already there. "
                                   "Nothing is sent");
        Required(import, "LIST", w_.list, "List name");
        Required(import, "FILE", w_.file, "mbox file (mboxrd or mboxo)");
        Leaf(import, [this](CliSession& s) { return ArchiveImport(s, w_.list, w_.file); });
    }

    Words& w_;
    CLI::App app_;
    Action action_;
    Action pending_;
    bool readOnly_ = false;
};

// Standard error for the line that says why the command failed: under the journal it begins
// with the error priority.
std::ostream& ErrorStream(CliIo io, const CliHooks& hooks) {
    if (hooks.journal) {
        io.err << "<" << static_cast<int>(LogPriority::Error) << ">";
    }
    return io.err;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliIo io, const CliHooks& hooks) {
    Words words;
    std::unique_ptr<Parser> parser;
    try {
        parser = std::make_unique<Parser>(words);
    } catch (const std::exception& error) {
        return ReportError(error, ErrorStream(io, hooks));
    }
    std::vector<const char*> argv;
    argv.reserve(args.size());
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    try {
        parser->app().parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp& e) {
        return parser->app().exit(e, io.out, io.err);
    } catch (const CLI::CallForAllHelp& e) {
        return parser->app().exit(e, io.out, io.err);
    } catch (const CLI::CallForVersion& e) {
        return parser->app().exit(e, io.out, io.err);
    } catch (const CLI::ParseError& e) {
        ErrorStream(io, hooks) << "corvanteer-cli: " << e.what()
                               << " (see corvanteer-cli --help)\n";
        return kExitUsage;
    }
    if (!parser->action()) {
        ErrorStream(io, hooks) << "corvanteer-cli: no command given (see corvanteer-cli --help)\n";
        return kExitUsage;
    }

    try {
        GlobalOptions global;
        if (parser->HomeGiven()) {
            global.home = words.home;
        }
        global.test = words.test;
        global.readOnly = parser->readOnly();
        CliSession session(global, hooks, io);
        const int status = parser->action()(session);
        io.out.flush();
        return status;
    } catch (const std::exception& error) {
        io.out.flush();
        return ReportError(error, ErrorStream(io, hooks));
    }
}

}  // namespace corvanteer::cli
