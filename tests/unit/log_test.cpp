#include <gtest/gtest.h>

#include "log/event_log.h"

namespace pellux {
namespace {

TEST(FormatLogLineTest, QuotesTextAfterStamp) {
  EXPECT_EQ(FormatLogLine({2020, 6, 7, 17, 3, 28}, "PelluxMONITOR - STARTED!!!"),
            "#2020-06-07 17:03:28#,\"PelluxMONITOR - STARTED!!!\"\r\n");
}

}  // namespace
}  // namespace pellux
