#include "support/Status.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

namespace corvanteer {
namespace {

TEST(ThrowIoError, NamesThePathAndTheReason) {
    try {
        ThrowIoError("Cannot open", "/x/news.dat", ENOENT);
        ADD_FAILURE() << "nothing raised";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.kind(), ErrorKind::Io);
        EXPECT_EQ(std::string(failure.what()),
                  "Cannot open \"/x/news.dat\": No such file or directory");
    }
    try {
        ThrowIoError("Cannot write", "f", 0);
        ADD_FAILURE() << "nothing raised";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), "Cannot write \"f\"");
    }
}

TEST(ErrorKindName, OneNamePerKind) {
    std::set<std::string> names;
    for (ErrorKind kind : {ErrorKind::Io, ErrorKind::Protocol, ErrorKind::Refused,
                           ErrorKind::Unavailable, ErrorKind::Format}) {
        names.insert(ErrorKindName(kind));
    }
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(std::string(ErrorKindName(ErrorKind::Io)), "I/O error");
}

}  // namespace
}  // namespace corvanteer
