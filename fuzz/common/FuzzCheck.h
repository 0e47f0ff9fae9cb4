#pragma once

// What the fuzz targets share: a check that ends the run with a report (so libFuzzer keeps
// the input), and the cutting of one input into the parts a target feeds to its subject.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::fuzz {

// Prints what failed and where, then aborts.
[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

#define FUZZ_CHECK(condition)           \
    ((condition) ? static_cast<void>(0) \
                 : ::corvanteer::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

// The separator of the parts of an input: a line holding "%%" alone.
inline constexpr std::string_view kPartSeparator = "\n%%\n";

// Cuts the input at the first count - 1 separators; parts that are missing are empty, and the
// last part keeps any further separators. Seeds stay readable text this way.
std::vector<std::string> SplitParts(const uint8_t* data, size_t size, size_t count);

// The text cut at LF alone, a CR before it kept: entries that may hold CR of their own.
std::vector<std::string> SplitAtLineFeeds(std::string_view text);

// The text with every byte of the set removed.
std::string Without(std::string_view text, std::string_view bytes);

}  // namespace corvanteer::fuzz
