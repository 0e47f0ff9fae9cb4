// config get, set and show: every value goes through the setting tables, so names, types,
// defaults and ranges are the window's.

#include <ostream>

#include "app/ConfigTransfer.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "support/Files.h"
#include "support/SettingReference.h"
#include "support/SettingTables.h"
#include "support/Text.h"

namespace corvanteer::cli {

namespace {

struct Table {
    const std::vector<SettingDef>& defs;
    std::string key;
};

Table TableFor(CliSession& session, const std::optional<std::string>& list) {
    if (list) {
        return {ListSettingTable(), session.paths().ListKey(session.RequireList(*list))};
    }
    return {GlobalSettingTable(), session.paths().SettingsKey()};
}

const SettingDef& FindOrExplain(const Table& table, const std::string& name, bool forList) {
    if (const SettingDef* def = FindSetting(table.defs, name)) {
        return *def;
    }
    std::string message = "Unknown setting \"" + name + "\"";
    if (!forList && FindSetting(ListSettingTable(), name) != nullptr) {
        message += " (a setting of a list: add --list LIST)";
    } else if (forList && FindSetting(GlobalSettingTable(), name) != nullptr) {
        message += " (a global setting: leave out --list)";
    } else {
        message += forList ? "; `config show --list LIST` names them all"
                           : "; `config show` names them all";
    }
    RefuseUsage(message + ".");
}

}  // namespace

int ConfigGet(CliSession& session, const std::string& name,
              const std::optional<std::string>& list) {
    const Table table = TableFor(session, list);
    const SettingDef& def = FindOrExplain(table, name, list.has_value());
    // A value of several lines (Moderators) prints as lines.
    const std::string value =
        ReadSettingText(session.store(), table.key, def, session.paths().appDir);
    session.io().out << JoinLines(TextToLines(value), "\n") << '\n';
    return kExitDone;
}

int ConfigSet(CliSession& session, const std::string& name, const SecretSource& source,
              const std::optional<std::string>& list) {
    const Table table = TableFor(session, list);
    const SettingDef& def = FindOrExplain(table, name, list.has_value());
    std::string value;
    if (def.type == SettingType::Password) {
        value = ReadSecret(session, source);
    } else if (source.file) {
        RefuseUsage("--password-file is for password settings; " + def.name + " is not one.");
    } else if (!source.value) {
        RefuseUsage("The value of " + def.name + " is missing.");
    } else {
        value = *source.value;
    }
    // A value the table refuses is a usage error: nothing is stored, and the message gives
    // the form the setting takes.
    if (std::optional<std::string> refusal = SettingRefusal(def, value)) {
        RefuseUsage(*refusal + ".");
    }
    WriteSettingText(session.store(), table.key, def, value);
    return kExitDone;
}

int ConfigShow(CliSession& session, const std::optional<std::string>& list, bool describe) {
    const Table table = TableFor(session, list);
    const SettingScope scope = list ? SettingScope::List : SettingScope::Global;
    // Read everything first: a value of the wrong type fails the command before any output.
    std::string text;
    for (const SettingDef& def : table.defs) {
        // One line per name: the line breaks of a value of several lines show as "\n".
        const std::string value =
            ReadSettingText(session.store(), table.key, def, session.paths().appDir);
        if (def.type == SettingType::Password) {
            // A listing is read over shoulders and pasted into reports: secrets only say
            // whether they are there (`config get` prints one asked for by name).
            text += def.name + "=" + (value.empty() ? "(not set)" : "(set)") + "\n";
            continue;
        }
        text += def.name + "=" + JoinLines(TextToLines(value), "\\n") + "\n";
        if (describe) {
            text += DescribeSetting(FactsOf(def, scope));
        }
    }
    session.io().out << text;
    return kExitDone;
}

int ConfigExport(CliSession& session, const std::string& file, bool withSecrets) {
    const std::string text = ExportConfig(session.services(), withSecrets);
    if (file == "-") {
        session.io().out << text;
        return kExitDone;
    }
    // Written private (as every file the program writes), which a file with secrets needs.
    WriteFileAtomic(file, text);
    return kExitDone;
}

int ConfigImport(CliSession& session, const std::string& file) {
    const ImportOutcome outcome = ImportConfig(session.services(), ReadInput(session, file));
    if (!outcome.problems.empty()) {
        for (const std::string& problem : outcome.problems) {
            session.io().err << OneLineText(problem) << '\n';
        }
        Refuse("Nothing was changed: " + std::to_string(outcome.problems.size()) +
               (outcome.problems.size() == 1 ? " problem" : " problems") + " in " +
               (file == "-" ? std::string("standard input") : file) + ".");
    }
    std::string lists;
    for (const std::string& list : outcome.newLists) {
        lists += (lists.empty() ? "; new lists: " : ", ") + list;
    }
    session.io().out << "Imported " << outcome.settings << " settings and " << outcome.sections
                     << " sections" << lists << ".\n";
    return kExitDone;
}

}  // namespace corvanteer::cli
