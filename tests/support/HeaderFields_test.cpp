#include "support/HeaderFields.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

const Lines kHeader{
    "Received: from a.example.org",
    "\tby b.example.org",
    "From: \"Joe Bloggs\"",
    "\t <joe@example.org>",
    "SUBJECT:   subscribe news  ",
    "Subject : not this one",
    "Received: from c.example.org",
    "X-Empty:",
    "X-Empty: second",
    "",
    "Reply-To: body@example.org",
};

TEST(GetHeaderValue, NamesCompareWithoutCaseAndWithoutTrimming) {
    EXPECT_EQ(GetHeaderValue("Subject", kHeader), "subscribe news");
    EXPECT_EQ(GetHeaderValue("subject", {"Subject: x", ""}), "x");
    EXPECT_EQ(GetHeaderValue("Subject ", {"Subject : y", ""}), "y");
    EXPECT_EQ(GetHeaderValue("To", kHeader), "");
}

TEST(GetHeaderValue, JoinsContinuationLinesAndOccurrences) {
    EXPECT_EQ(GetHeaderValue("from", kHeader), "\"Joe Bloggs\" <joe@example.org>");
    EXPECT_EQ(GetHeaderValue("Received", kHeader),
              "from a.example.org by b.example.org,from c.example.org");
    // An empty first occurrence leaves the result empty, so no comma leads.
    EXPECT_EQ(GetHeaderValue("X-Empty", kHeader), "second");
}

TEST(GetHeaderValue, StopsAtTheEmptyLineOrTheLastLine) {
    EXPECT_EQ(GetHeaderValue("Reply-To", kHeader), "");
    // A server's negative reply has no header and no closing empty line.
    EXPECT_EQ(GetHeaderValue("From", {"-ERR no such message"}), "");
    EXPECT_EQ(GetHeaderValue("From", {"From: a@b.c", " (Joe)"}), "a@b.c (Joe)");
    EXPECT_EQ(GetHeaderValue("From", {}), "");
    // A line without a colon has no name, even when the whole line equals the name.
    EXPECT_EQ(GetHeaderValue("From", {"From", ""}), "");
}

TEST(ExtractDisplayName, DropsAddressWords) {
    EXPECT_EQ(ExtractDisplayName("\"Joe Bloggs\" <joe@example.org>"), "\"Joe Bloggs\"");
    EXPECT_EQ(ExtractDisplayName("Joe Bloggs <joe@example.org>"), "Joe Bloggs");
    EXPECT_EQ(ExtractDisplayName("Joe  Bloggs joe@example.org"), "Joe  Bloggs");
    EXPECT_EQ(ExtractDisplayName("joe@example.org (Joe)"), "(Joe)");
}

TEST(ExtractDisplayName, WholeValueWhenNoNameRemains) {
    EXPECT_EQ(ExtractDisplayName("joe@example.org"), "joe@example.org");
    EXPECT_EQ(ExtractDisplayName(" <joe@example.org> "), " <joe@example.org> ");
    EXPECT_EQ(ExtractDisplayName(""), "");
}

}  // namespace
}  // namespace corvanteer
