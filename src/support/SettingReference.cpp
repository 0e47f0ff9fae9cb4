#include "support/SettingReference.h"

#include "support/WordWrap.h"

namespace corvanteer {

namespace {

constexpr std::size_t kWidth = 80;
constexpr const char* kIndent = "    ";

const char* TypeName(SettingType type) {
    switch (type) {
        case SettingType::String:
            return "string";
        case SettingType::Integer:
            return "integer";
        case SettingType::Boolean:
            return "boolean";
        case SettingType::Password:
            return "password";
    }
    return "string";
}

std::string ValueText(const SettingDef& def, const std::string& value) {
    if (def.type == SettingType::Boolean) {
        return StrToIntDef(value, 0) != 0 ? "on (1)" : "off (0)";
    }
    if (value.empty()) {
        return "empty";
    }
    if (StartsWith(value, "{appDir}")) {
        return "the folder " + value.substr(8) + " of the application directory";
    }
    if (value.find(' ') != std::string::npos) {
        return "\"" + value + "\"";
    }
    return value;
}

std::string Values(const SettingDef& def) {
    switch (def.type) {
        case SettingType::Boolean:
            return "1/0, true/false or on/off";
        case SettingType::Integer:
            if (def.min && def.max) {
                return std::to_string(*def.min) + " to " + std::to_string(*def.max);
            }
            if (def.min) {
                return std::to_string(*def.min) + " or more";
            }
            return "a whole number";
        case SettingType::String:
        case SettingType::Password:
            break;
    }
    return def.form;
}

}  // namespace

const char* ScopeName(SettingScope scope) {
    return scope == SettingScope::Global ? "global" : "list";
}

SettingFacts FactsOf(const SettingDef& def, SettingScope scope) {
    SettingFacts facts;
    facts.name = def.name;
    facts.scope = scope;
    facts.type = TypeName(def.type);
    facts.defaultValue = def.shownDefault;
    facts.defaultText = ValueText(def, def.shownDefault);
    if (scope == SettingScope::List && def.scanDefault && *def.scanDefault != def.shownDefault) {
        facts.scanDefaultText = ValueText(def, *def.scanDefault);
    }
    facts.values = Values(def);
    facts.description = def.description;
    facts.caption = def.caption;
    return facts;
}

std::vector<SettingFacts> SettingReference() {
    std::vector<SettingFacts> all;
    for (const SettingDef& def : GlobalSettingTable()) {
        all.push_back(FactsOf(def, SettingScope::Global));
    }
    for (const SettingDef& def : ListSettingTable()) {
        all.push_back(FactsOf(def, SettingScope::List));
    }
    return all;
}

std::string DescribeSetting(const SettingFacts& facts) {
    std::string summary =
        std::string(ScopeName(facts.scope)) + ", " + facts.type + ", default " + facts.defaultText;
    if (!facts.scanDefaultText.empty()) {
        summary += " (a scan reading no value: " + facts.scanDefaultText + ")";
    }
    if (!facts.values.empty()) {
        summary += "; values: " + facts.values;
    }
    std::string out = WrapIndented(summary, kWidth, kIndent, kIndent);
    out += WrapIndented(facts.description.empty() ? "(not described)" : facts.description, kWidth,
                        kIndent, kIndent);
    if (!facts.caption.empty()) {
        out += WrapIndented("Caption: " + facts.caption, kWidth, kIndent, kIndent);
    }
    return out;
}

}  // namespace corvanteer
