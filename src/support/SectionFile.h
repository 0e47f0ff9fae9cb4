#pragma once

// List data files: text files of named sections, each "[" + name + "]", content lines and a
// "####" terminator. Section names compare without regard to case; contents are opaque lines.

#include <string>
#include <string_view>

#include "support/Text.h"

namespace corvanteer {

// The section's content lines joined by CR LF (no break after the last); "" when the file or
// the section is absent, or the section holds a single empty line. Raises on I/O errors.
std::string ReadSection(const std::string& file, std::string_view section);

// Replaces the section's content by the lines (followed by one empty line and "####"), or
// appends the section (or creates the file) when absent. A header on the file's last line is
// completed where it stands. Every other byte range keeps its lines (each ended by CR LF).
// The file is replaced atomically. Raises on I/O errors.
void WriteSection(const std::string& file, std::string_view section, const Lines& lines);

// Why the bytes are not a whole section file, or "" when they are: not empty, the last line
// ended by a line break, and every section (a line beginning with "[" and holding "]", outside
// any section) closed by its "####" line. A file cut short fails one of these (unless it was
// cut just after a terminator).
std::string SectionFileDefect(std::string_view bytes);

}  // namespace corvanteer
