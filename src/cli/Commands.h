#pragma once

// The commands of corvanteer-cli, one function each, called by the parser (Cli.cpp) once
// the words are known to fit. Each prints its result on the session's standard output and
// returns the exit status, or raises Failure (status 2 for kind Usage, else 1), which
// RunCli turns into one line on standard error.

#include <optional>
#include <string>

#include "cli/CliSession.h"
#include "cli/SecretInput.h"

namespace corvanteer::cli {

// config get|set|show (ConfigCommands.cpp)
int ConfigGet(CliSession& session, const std::string& name, const std::optional<std::string>& list);
// A password setting takes its value through ReadSecret; other settings take the value word
// as it stands ("-" included) and refuse --password-file.
int ConfigSet(CliSession& session, const std::string& name, const SecretSource& value,
              const std::optional<std::string>& list);
// describe: each NAME=VALUE line followed by the setting's reference (DescribeSetting).
int ConfigShow(CliSession& session, const std::optional<std::string>& list, bool describe);
// file "-": standard output / standard input. import: every problem on standard error, one a
// line, then refused (status 1) with nothing changed.
int ConfigExport(CliSession& session, const std::string& file, bool withSecrets);
int ConfigImport(CliSession& session, const std::string& file);

// lists, lists add|delete, section get|set (ListCommands.cpp)
// json: one JSON object instead of lines (app/JsonOutputs.h names its members).
int ListsShow(CliSession& session, bool json);
int ListsAdd(CliSession& session, const std::string& name);
int ListsDelete(CliSession& session, const std::string& name);
int SectionGet(CliSession& session, const std::string& list, const std::string& section);
// file "" or "-": standard input.
int SectionSet(CliSession& session, const std::string& list, const std::string& section,
               const std::string& file);

// members ... (MemberCommands.cpp)
int MembersShow(CliSession& session, const std::string& list, bool json);
int MembersAdd(CliSession& session, const std::string& list, const std::string& address);
int MembersRemove(CliSession& session, const std::string& list, const std::string& address);
int MembersBan(CliSession& session, const std::string& list, const std::string& address,
               bool banned);
int MembersPassword(CliSession& session, const std::string& list, const std::string& address,
                    const SecretSource& password);
int MembersMode(CliSession& session, const std::string& list, const std::string& address,
                const std::string& mode);
int MembersImport(CliSession& session, const std::string& list, const std::string& file);
int MembersExport(CliSession& session, const std::string& list, const std::string& file);
int MembersEnable(CliSession& session, const std::string& list, const std::string& address);
int MembersDisable(CliSession& session, const std::string& list, const std::string& address);

// post, posts ... (PostCommands.cpp). body "" or "-": standard input.
struct MessageArgs {
    std::string from;
    std::string subject;
    std::string body;
};
int Post(CliSession& session, const std::string& list, const MessageArgs& message);
int PostsList(CliSession& session, const std::string& list, bool json);
int PostsShow(CliSession& session, const std::string& list, const std::string& name);
int PostsDelete(CliSession& session, const std::string& list, const std::string& name);
int PostsSave(CliSession& session, const std::string& list, const std::string& name,
              const MessageArgs& message);

// scan, run, queue, queue flush, expire (MailCommands.cpp)
struct RunArgs {
    std::optional<int> intervalMinutes;
    // Hidden, for tests: the interval is this many seconds (a minute lasts interval seconds).
    std::optional<int> intervalSeconds;
    bool now = false;
};
int Scan(CliSession& session);
// check [--list LIST]: the connection check's report on standard output; status 0 only when
// every configured server passed.
int Check(CliSession& session, const std::optional<std::string>& list, bool json);
int Run(CliSession& session, const RunArgs& args);
int QueueShow(CliSession& session, bool json);
int QueueFlush(CliSession& session);
// name: one given-up message; nullopt: all of them (--all).
int QueueRetry(CliSession& session, const std::optional<std::string>& name);
int Expire(CliSession& session);

// oauth login|status|logout (OAuthCommands.cpp). account: "smtp", "listserver" or a list.
// login: the device sign-in where the provider offers it (browser: the browser sign-in),
// its instructions on standard output; status 1 when the sign-in fails.
int OAuthLogin(CliSession& session, const std::string& account, bool browser);
int OAuthStatus(CliSession& session, bool json);
int OAuthLogout(CliSession& session, const std::string& account);

// status [--json] (StatusCommand.cpp)
int Status(CliSession& session, bool json, bool check);

// backup, restore, check-update (BackupCommands.cpp)
int BackupCommand(CliSession& session, const std::optional<std::string>& folder);
int RestoreCommand(CliSession& session, const std::optional<std::string>& folder);
int CheckUpdate(CliSession& session, const std::optional<std::string>& baseUrl);

// archive build|export|import (ArchiveCommands.cpp)
struct ArchiveRange {
    std::optional<std::string> from;  // "YYYY-MM"
    std::optional<std::string> to;
};
int ArchiveBuild(CliSession& session, const std::string& list,
                 const std::optional<std::string>& outDir);
int ArchiveExport(CliSession& session, const std::string& list, const ArchiveRange& range,
                  const std::string& file);
int ArchiveImport(CliSession& session, const std::string& list, const std::string& file);

// The standard input's bytes, or the file's; raises Failure when the file cannot be read.
std::string ReadInput(CliSession& session, const std::string& file);

}  // namespace corvanteer::cli
