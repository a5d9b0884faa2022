// Oracle value forms and SQL text operations, without a server.
#include "oracle/Ora.h"

#include <gtest/gtest.h>

namespace {

TEST(OraDate, DecodesAndEncodesTheSevenByteForm) {
    const uint8_t bytes[7] = {120, 103, 12, 31, 24, 60, 60};
    TDateTime dt = OraDateToDateTime(bytes);
    EXPECT_DOUBLE_EQ(dt, EncodeDate(2003, 12, 31) + EncodeTime(23, 59, 59, 0));
    uint8_t back[7] = {};
    DateTimeToOraDate(dt, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 7), std::vector<uint8_t>(bytes, bytes + 7));
}

} // namespace
