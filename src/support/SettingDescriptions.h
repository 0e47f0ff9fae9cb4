#pragma once

// What each setting does, in a few sentences, for the settings reference
// (corvanteer-settings(5)) and `config show --describe`. The texts live apart from the
// tables so the tables stay readable; GlobalSettingTable and ListSettingTable copy them into
// each row's description (a row that sets its own description keeps it).

#include <string_view>
#include <utility>
#include <vector>

namespace corvanteer {

// {name, description} of every described global and per-list setting, in no fixed order.
const std::vector<std::pair<std::string_view, std::string_view>>& GlobalSettingDescriptions();
const std::vector<std::pair<std::string_view, std::string_view>>& ListSettingDescriptions();

}  // namespace corvanteer
