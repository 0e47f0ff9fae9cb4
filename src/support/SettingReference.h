#pragma once

// The settings reference: what the program knows of every setting, read from the setting
// tables, in the form the manual page corvanteer-settings(5) and `config show --describe`
// print, so neither can drift from the code.

#include <string>
#include <vector>

#include "support/SettingTables.h"

namespace corvanteer {

enum class SettingScope { Global, List };

struct SettingFacts {
    std::string name;
    SettingScope scope = SettingScope::Global;
    std::string type;  // "string", "integer", "boolean" or "password"
    // The value an absent setting has, as `config get` prints it on a new installation
    // ("{appDir}" left in place), and the same in words for the reader ("empty", "on").
    std::string defaultValue;
    std::string defaultText;
    // A list's value where a scan, reading an absent value, takes another default than the
    // window shows; empty otherwise (and for every global setting).
    std::string scanDefaultText;
    std::string values;  // the range or the choices; empty when any text will do
    std::string description;
    std::string caption;  // the window's caption, or what the setting holds where none
};

const char* ScopeName(SettingScope scope);  // "global" or "list"

SettingFacts FactsOf(const SettingDef& def, SettingScope scope);
// Every global setting, then every per-list one, each in table order.
std::vector<SettingFacts> SettingReference();

// One setting as `config show --describe` prints it below its NAME=VALUE line: a line of
// scope, type, default and range, the description, and the window's caption, each indented
// by four blanks and wrapped at 80 columns.
std::string DescribeSetting(const SettingFacts& facts);

}  // namespace corvanteer
