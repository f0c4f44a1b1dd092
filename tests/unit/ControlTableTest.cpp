#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/ControlTable.h"

// Every cell starts invisible with its controls centred; writes outside the
// table are dropped and reads there give zero.
TEST(ControlTable, StartsCentredAndDropsWhatLiesOutside) {
    ControlTable table;
    const ControlTable before;
    for (int c = 0; c < ControlTable::kChannels; ++c)
        EXPECT_EQ((std::vector<float>{float(table.getByte(c, 0, 7)), float(table.getByte(c, 0, 8)),
                                      float(table.getByte(c, 64, 1023 - 64)), table.getFloat(c, 0, 7)}),
                  (std::vector<float>{0, 63, 63, 0})) << c;
    table.setByte(-1, 0, 7, 99), table.setByte(16, 0, 7, 99), table.setByte(0, 0, -3, 99);
    table.setByte(15, 64, 1000, 99), table.setFloat(0, 0, -1, 1.0f);
    table.setByteAt(ControlTable::kEntries, 99), table.setFloatAt(-5, 1.0f);
    EXPECT_EQ(0, std::memcmp(table.byteValue, before.byteValue, sizeof table.byteValue));
    EXPECT_EQ(0, std::memcmp(table.floatValue, before.floatValue, sizeof table.floatValue));
    EXPECT_EQ((std::vector<float>{float(table.getByte(0, 0, -1)), table.getFloat(16, 0, 0),
                                  float(table.getByteAt(ControlTable::kEntries))}),
              (std::vector<float>{0, 0, 0}));
}
