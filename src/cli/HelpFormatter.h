#pragma once

// CLI11's help laid out for an 80-column terminal: every description wrapped at word gaps,
// an entry's further lines indented under its first.

#include <CLI/CLI.hpp>

#include <string>

namespace corvanteer::cli {

class HelpFormatter final : public CLI::Formatter {
public:
    static constexpr std::size_t kWidth = 80;

    std::string make_description(const CLI::App* app) const override;
    std::string make_footer(const CLI::App* app) const override;
    std::string make_subcommand(const CLI::App* sub) const override;
    std::string make_option(const CLI::Option* opt, bool is_positional) const override;

private:
    // "  name" padded to the column, then the description wrapped beside it.
    std::string Entry(const std::string& name, const std::string& description) const;
};

}  // namespace corvanteer::cli
