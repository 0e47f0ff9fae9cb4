// Writes the manual page corvanteer-settings(5) from the setting tables at build time, so the
// reference names every setting with the default, range and description the program uses.
//
// Usage: corvanteer-settings-page VERSION OUTPUT_FILE

#include <fstream>
#include <iostream>
#include <string>

#include "support/SettingReference.h"

namespace {

using corvanteer::SettingFacts;
using corvanteer::SettingScope;

// Text as roff reads it: backslashes and hyphens escaped, and no line begins with a control
// character.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else if (c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

void Entry(std::ostream& out, const SettingFacts& facts) {
    out << ".TP\n.B " << facts.name << "\n";
    out << Roff(facts.type + ", default " + facts.defaultText);
    if (!facts.scanDefaultText.empty()) {
        out << Roff(" (a scan reading no value: " + facts.scanDefaultText + ")");
    }
    if (!facts.values.empty()) {
        out << Roff("; values: " + facts.values);
    }
    out << ".\n.br\n" << Roff(facts.description) << "\n";
    if (!facts.caption.empty()) {
        out << ".br\nCaption: " << Roff(facts.caption) << "\n";
    }
}

void Page(std::ostream& out, const std::string& version) {
    out << ".TH CORVANTEER-SETTINGS 5 \"\" \"Corvanteer " << version << "\" \"File Formats\"\n"
        << R"(.SH NAME
corvanteer\-settings \- every setting of Corvanteer, with its default and meaning
.SH DESCRIPTION
Corvanteer keeps its settings in the settings store of its application directory
.RI ( settings.sqlite ):
the global ones once, and each list's under the list's name.
The window's pages and the commands
.BR "corvanteer\-cli config get" ,
.B set
and
.B show
read and change them by the names below (any letter case);
.B \-\-list LIST
selects a list's.
.B corvanteer\-cli config show \-\-describe
prints this reference with the current values.
.PP
A setting that was never written has its default.
Booleans are stored as 1 and 0 and are written as 1/0, true/false or on/off; integers must
lie within their range; passwords are stored scrambled, and
.B config set NAME \-
reads one from standard input.
A value the checks refuse is not stored, and the command says why.
This page is made from the program's own tables when it is built.
.SH GLOBAL SETTINGS
)";
    const auto all = corvanteer::SettingReference();
    for (const SettingFacts& facts : all) {
        if (facts.scope == SettingScope::Global) {
            Entry(out, facts);
        }
    }
    out << ".SH LIST SETTINGS\n"
        << "Each list's own values.\n"
        << "Where the window shows another default than a scan uses for a value never "
           "written, both are given.\n";
    for (const SettingFacts& facts : all) {
        if (facts.scope == SettingScope::List) {
            Entry(out, facts);
        }
    }
    out << R"(.SH COPYRIGHT
Corvanteer is free software: you can redistribute it and/or modify it under the terms of the
GNU General Public License as published by the Free Software Foundation, either version 3 of
the License, or (at your option) any later version.
.SH SEE ALSO
.BR corvanteer\-cli (1),
.BR corvanteer (1)
)";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: corvanteer-settings-page VERSION OUTPUT_FILE\n";
        return 2;
    }
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    Page(file, argv[1]);
    file.close();
    if (!file) {
        std::cerr << "corvanteer-settings-page: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
