#include "app/ConfigTransfer.h"

#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "app/ConfigText.h"
#include "app/ListOperations.h"
#include "engine/ListStore.h"
#include "engine/digest/DeliveryModes.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/SettingTables.h"
#include "support/Status.h"

namespace corvanteer {

namespace {

std::vector<ConfigValue> ExportTable(Services& services, const std::vector<SettingDef>& table,
                                     const std::string& key, bool withSecrets) {
    std::vector<ConfigValue> values;
    for (const SettingDef& def : table) {
        const bool stored = services.store.ValueExists(key, def.name);
        ConfigValue value{
            def.name, ReadSettingText(services.store, key, def, services.paths.appDir), 0, !stored};
        if (def.type == SettingType::Password && !withSecrets) {
            value.commented = true;
            value.value = stored && !value.value.empty() ? "(set)" : "";
        }
        values.push_back(std::move(value));
    }
    return values;
}

std::string LineText(int line) {
    return "line " + std::to_string(line) + ": ";
}

std::string UnknownSetting(const ConfigValue& value, bool forList) {
    std::string why = LineText(value.line) + "unknown setting \"" + value.name + "\"";
    if (!forList && FindSetting(ListSettingTable(), value.name) != nullptr) {
        why += " (a setting of a list: put it in a [list \"NAME\"] block)";
    } else if (forList && FindSetting(GlobalSettingTable(), value.name) != nullptr) {
        why += " (a global setting: put it in the [global] block)";
    }
    return why;
}

std::optional<std::string> KnownSection(std::string_view name) {
    for (const std::string& known : ConfigSections()) {
        if (SameText(known, name)) {
            return known;
        }
    }
    return std::nullopt;
}

// Raised inside the store's transaction when a problem was found, so that it rolls back.
struct Refused {};

class Importer {
public:
    Importer(Services& services, const ConfigText& config, ImportOutcome& outcome)
        : services_(services), config_(config), outcome_(outcome) {}

    // Stores every value (each checked by the table); the lists and sections checked.
    void StoreValues() {
        StoreTable(config_.globals, GlobalSettingTable(), services_.paths.SettingsKey(), false);
        for (const ConfigList& list : config_.lists) {
            const std::optional<std::string> name = ListFor(list);
            if (!name) {
                continue;
            }
            StoreTable(list.settings, ListSettingTable(), services_.paths.ListKey(*name), true);
            for (const ConfigSection& section : list.sections) {
                if (const std::optional<std::string> known = KnownSection(section.name)) {
                    sections_.push_back({services_.paths.ListDataFile(*name), *known, &section});
                } else {
                    Problem(section.line, "unknown section \"" + section.name +
                                              "\" (a configuration holds " + SectionNames() + ")");
                }
            }
        }
    }

    // After every check passed: the new lists' data files, then the sections. A write that
    // fails puts back every file written before it and raises again (the store's transaction
    // then rolls the settings back), so an import changes all or nothing.
    void WriteFiles() {
        try {
            for (const std::string& list : outcome_.newLists) {
                Keep(services_.paths.ListDataFile(list));
                Keep(ModesFile(services_.paths, list));
                CreateList(services_.store, services_.paths, list);
            }
            for (const PendingSection& pending : sections_) {
                Keep(pending.file);
                WriteSection(pending.file, pending.name, pending.section->lines);
                ++outcome_.sections;
            }
        } catch (const Failure&) {
            PutBack();
            throw;
        }
    }

private:
    struct PendingSection {
        std::string file;
        std::string name;
        const ConfigSection* section;
    };

    // The file as it was before the import's first write to it (nullopt: there was none).
    void Keep(const std::string& file) {
        if (kept_.insert(file).second) {
            before_.emplace_back(file, ReadFileIfExists(file));
        }
    }

    // Every kept file back as it was, the last written first; a file that cannot be put back
    // is left as the import wrote it (the failure that started this is what is reported).
    void PutBack() {
        for (auto it = before_.rbegin(); it != before_.rend(); ++it) {
            try {
                if (it->second) {
                    WriteFileAtomic(it->first, *it->second);
                } else {
                    DeleteFileIfExists(it->first);
                }
            } catch (const Failure&) {
            }
        }
        outcome_.sections = 0;
    }

    void Problem(int line, const std::string& why) {
        outcome_.problems.push_back(LineText(line) + why);
    }

    static std::string SectionNames() {
        std::string names;
        for (const std::string& name : ConfigSections()) {
            names += (names.empty() ? "" : ", ") + name;
        }
        return names;
    }

    // The list's name as the store holds it; a list not there yet is created (its key only:
    // the data file waits for WriteFiles). nullopt when the name cannot be a list's.
    std::optional<std::string> ListFor(const ConfigList& list) {
        if (std::optional<std::string> existing = ResolveList(services_, list.name)) {
            return existing;
        }
        std::string name = list.name;
        const std::string refusal = CheckNewListName(name);
        if (!refusal.empty() || name != list.name) {
            Problem(list.line, "the list name \"" + list.name + "\" cannot be used: " +
                                   (refusal.empty() ? "it holds a blank" : refusal));
            return std::nullopt;
        }
        services_.store.CreateKey(services_.paths.ListKey(name));
        outcome_.newLists.push_back(name);
        return name;
    }

    void StoreTable(const std::vector<ConfigValue>& values, const std::vector<SettingDef>& table,
                    const std::string& key, bool forList) {
        for (const ConfigValue& value : values) {
            const SettingDef* def = FindSetting(table, value.name);
            if (def == nullptr) {
                outcome_.problems.push_back(UnknownSetting(value, forList));
                continue;
            }
            try {
                WriteSettingText(services_.store, key, *def, value.value);
                ++outcome_.settings;
            } catch (const Failure& failure) {
                Problem(value.line, failure.what());
            }
        }
    }

    Services& services_;
    const ConfigText& config_;
    ImportOutcome& outcome_;
    std::vector<PendingSection> sections_;
    std::set<std::string> kept_;
    std::vector<std::pair<std::string, std::optional<std::string>>> before_;
};

}  // namespace

const std::vector<std::string>& ConfigSections() {
    static const std::vector<std::string> sections = {"Subscribe_Verify",
                                                      "Subscribe_Confirm",
                                                      "Unsubscribe_Confirm",
                                                      "Password_Notify",
                                                      "Verify_Error",
                                                      "Already_A_Member",
                                                      "Not_Member",
                                                      "Help",
                                                      "ExtraHeaders",
                                                      "Signature",
                                                      "BlackList",
                                                      "Description",
                                                      "Mode_Verify",
                                                      "Mode_Changed",
                                                      "Which",
                                                      "Lists",
                                                      "Bounce_Disabled"};
    return sections;
}

std::string ExportConfig(Services& services, bool withSecrets) {
    ConfigText config;
    config.globals =
        ExportTable(services, GlobalSettingTable(), services.paths.SettingsKey(), withSecrets);
    for (const std::string& name : services.console.ListNames()) {
        ConfigList list{
            name,
            ExportTable(services, ListSettingTable(), services.paths.ListKey(name), withSecrets),
            {},
            0};
        const std::string file = services.paths.ListDataFile(name);
        for (const std::string& section : ConfigSections()) {
            list.sections.push_back({section, TextToLines(ReadSection(file, section)), 0});
        }
        config.lists.push_back(std::move(list));
    }
    return FormatConfig(config);
}

ImportOutcome ImportConfig(Services& services, std::string_view text) {
    ImportOutcome outcome;
    ParsedConfig parsed = ParseConfig(text);
    if (!parsed.problems.empty()) {
        outcome.problems = std::move(parsed.problems);
        return outcome;
    }
    // Under the store lock: no scan or window rewrites a data file meanwhile.
    std::lock_guard<StoreLock> guard(services.storeLock);
    Importer importer(services, parsed.config, outcome);
    try {
        services.store.Atomically([&] {
            importer.StoreValues();
            if (!outcome.problems.empty()) {
                throw Refused{};
            }
            importer.WriteFiles();
        });
    } catch (const Refused&) {
        outcome.settings = 0;
        outcome.sections = 0;
        outcome.newLists.clear();
    }
    return outcome;
}

}  // namespace corvanteer
