#include <windows.h>

#include <gtest/gtest.h>

#include "platform/system_error.h"

namespace {

// The value recorded after a failed call is the one the call left, not a later one.
TEST(LastSystemErrorTest, ReportsTheCodeOfTheFailedCall) {
  HANDLE handle = CreateFileA("Z:\\no\\such\\directory\\file", GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::LastSystemError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(platform::LastSystemError(), ERROR_PATH_NOT_FOUND);
}

}  // namespace
