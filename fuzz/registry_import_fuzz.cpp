// registry.cfg, the settings snapshot of a backup: ImportRegistry on any file, then the store
// exported, imported into a second store and exported again.
//
// Input: the file's bytes.
//
// Checked: a bad file fails only with the format error the import promises; what one import
// wrote survives a snapshot whole: exporting every root, importing that into an empty store
// and exporting again gives the same text.

#include <cstdint>
#include <string>

#include "app/RegistrySnapshot.h"
#include "common/FuzzCheck.h"
#include "common/TempDir.h"
#include "support/Files.h"
#include "support/SettingsStore.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

constexpr const char* kRoots[] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

// Takes every key and value below the roots out of the store, so that each input starts from an
// empty one.
void Empty(SettingsStore& store) {
    for (const char* root : kRoots) {
        for (const auto& child : store.SubKeys(root)) {
            store.DeleteKey(std::string(root) + "\\" + child);
        }
        for (const auto& value : store.Values(root)) {
            store.DeleteValue(root, value.name);
        }
    }
}

std::string ExportAll(const SettingsStore& store, const std::string& file) {
    DeleteFileIfExists(file);
    for (const char* root : kRoots) {
        ExportRegistry(store, file, root);
    }
    return ReadFile(file);
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    static testing::TempDir dir;
    const std::string input = dir.File("registry.cfg");
    const std::string snapshot = dir.File("snapshot.cfg");
    WriteFileAtomic(input, std::string_view(reinterpret_cast<const char*>(data), size));

    // Opening a database per input would cost more than the rest of the run.
    static std::unique_ptr<SettingsStore> first = SettingsStore::Open(dir.File("first.sqlite"));
    static std::unique_ptr<SettingsStore> second = SettingsStore::Open(dir.File("second.sqlite"));
    Empty(*first);
    Empty(*second);
    // Emptied, a store holds at most the bare roots.
    for (const auto& line : TextToLines(ExportAll(*first, snapshot))) {
        FUZZ_CHECK(line.empty() || (StartsWith(line, "[HKEY_") && EndsWith(line, "\\]")));
    }

    try {
        ImportRegistry(*first, input);
    } catch (const Failure& failure) {
        FUZZ_CHECK(failure.kind() == ErrorKind::Format);
    }
    const std::string exported = ExportAll(*first, snapshot);

    ImportRegistry(*second, snapshot);
    FUZZ_CHECK(ExportAll(*second, snapshot) == exported);
    return 0;
}
