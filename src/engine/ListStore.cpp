#include "engine/ListStore.h"

#include "engine/digest/DeliveryModes.h"
#include "support/Files.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer {

std::vector<std::string> ListNames(SettingsStore& store, const AppPaths& paths) {
    const std::string listsKey = paths.ListsKey();
    if (!store.KeyExists(listsKey)) {
        if (!store.ReadOnly()) {
            store.CreateKey(listsKey);
        }
        return {};
    }
    return store.SubKeys(listsKey);
}

std::optional<std::string> FindList(const std::vector<std::string>& names, std::string_view name) {
    for (const auto& candidate : names) {
        if (SameText(candidate, name)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string ListNameForPaths(const SettingsStore& store, const AppPaths& paths,
                             std::string_view name) {
    const std::string listsKey = paths.ListsKey();
    if (store.KeyExists(listsKey)) {
        if (auto found = FindList(store.SubKeys(listsKey), name)) {
            return *found;
        }
    }
    return std::string(name);
}

std::string CheckNewListName(std::string& name) {
    if (Trim(name).empty()) {
        return "Please enter a name (single word only).";
    }
    name = ReplaceAll(name, " ", "_");
    if (name == "." || name == "..") {
        return "The name \"" + name + "\" cannot be used for a list.";
    }
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) {
            return "A list name cannot contain \"/\", \"\\\" or control characters.";
        }
    }
    return "";
}

void CreateList(SettingsStore& store, const AppPaths& paths, const std::string& name) {
    store.CreateKey(paths.ListKey(name));
    const std::string model = paths.ListDataFile(kDefaultListName);
    const std::string target = paths.ListDataFile(name);
    if (!SameText(name, kDefaultListName) && FileExists(model) && !FileExists(target)) {
        // The exclusive create refuses a file that appeared meanwhile; a failed copy leaves
        // the list without a data file, as a missing model does.
        try {
            if (auto bytes = ReadFileIfExists(model)) {
                WriteNewFileSynced(target, *bytes);
            }
            // The members the model hands on keep their delivery modes.
            if (auto modes = ReadFileIfExists(ModesFile(paths, kDefaultListName))) {
                WriteFileAtomic(ModesFile(paths, name), *modes);
            }
        } catch (const Failure&) {
        }
    }
}

void DeleteList(SettingsStore& store, const AppPaths& paths, const std::string& name) {
    const std::string stored = ListNameForPaths(store, paths, name);
    store.DeleteKey(paths.ListKey(stored));
    // The model for new lists stays, whatever case the caller wrote its name in.
    if (!SameText(stored, kDefaultListName)) {
        DeleteFileIfExists(paths.ListDataFile(stored));
        DeleteFileIfExists(ModesFile(paths, stored));
    }
    // A list made again under the name starts without its members' bounces.
    DeleteFileIfExists(paths.BounceStateFile(stored));
}

}  // namespace corvanteer
