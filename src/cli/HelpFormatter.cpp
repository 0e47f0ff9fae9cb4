#include "cli/HelpFormatter.h"

#include "support/WordWrap.h"

namespace corvanteer::cli {

namespace {

// Each line of the text (a paragraph) wrapped on its own.
std::string Paragraphs(const std::string& text) {
    std::string out;
    for (const std::string& paragraph : TextToLines(text)) {
        out += paragraph.empty() ? "\n" : WrapIndented(paragraph, HelpFormatter::kWidth, "", "");
    }
    return out;
}

}  // namespace

std::string HelpFormatter::make_description(const CLI::App* app) const {
    return Paragraphs(app->get_description());
}

std::string HelpFormatter::make_footer(const CLI::App* app) const {
    return Paragraphs(app->get_footer());
}

std::string HelpFormatter::make_subcommand(const CLI::App* sub) const {
    return Entry(sub->get_display_name(true), sub->get_description());
}

std::string HelpFormatter::make_option(const CLI::Option* opt, bool is_positional) const {
    return Entry(make_option_name(opt, is_positional) + make_option_opts(opt),
                 make_option_desc(opt));
}

std::string HelpFormatter::Entry(const std::string& name, const std::string& description) const {
    const std::size_t column = get_column_width();
    std::string first = "  " + name;
    const std::string indent(column, ' ');
    if (description.empty()) {
        return first + "\n";
    }
    if (first.size() + 1 > column) {
        // A long name has the line to itself; the description starts below it.
        return first + "\n" + WrapIndented(description, kWidth, indent, indent);
    }
    first.resize(column, ' ');
    return WrapIndented(description, kWidth, first, indent);
}

}  // namespace corvanteer::cli
