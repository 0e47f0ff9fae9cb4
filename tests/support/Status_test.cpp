#include "support/Status.h"

#include <gtest/gtest.h>

#include <cerrno>
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

}  // namespace
}  // namespace corvanteer
