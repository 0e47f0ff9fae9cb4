#pragma once

// "registry.cfg": the settings snapshot of a backup. One block per key, breadth-first: a
// header line "[" + root + "\" + path + "]", one "name" + tag + "=" + value line per value
// ("int=", "str=" with CR LF written as "qqqq", "bin=" upper-case hex), then an empty line.

#include <string>

#include "support/SettingsStore.h"

namespace corvanteer {

// Appends the blocks of the key and every key below it to the file. A path beginning with a
// root name ("hkey_", any case) uses that root and repeats its spelling in the headers; any
// other path lies under HKEY_CURRENT_USER and its headers begin with "[\".
void ExportRegistry(const SettingsStore& store, const std::string& file,
                    const std::string& keyPath);
// The bytes ExportRegistry appends.
std::string RegistrySnapshotText(const SettingsStore& store, const std::string& keyPath);

// Writes every value of the file into the store, creating keys as needed; never deletes.
// A missing file does nothing. An "int=" value that is not a number raises Failure (Format)
// naming the line number; values before it stay written.
void ImportRegistry(SettingsStore& store, const std::string& file);

}  // namespace corvanteer
