#include <gtest/gtest.h>

#include <cstring>

#include "app/ControlTable.h"

TEST(ControlTable, StartsWithEveryCellInvisibleAndCentredControls) {
    ControlTable table;
    for (int c = 0; c < ControlTable::kChannels; ++c) {
        EXPECT_EQ(table.getByte(c, 0, 7), 0) << "channel " << c;
        EXPECT_EQ(table.getByte(c, 0, 8), 63);
        EXPECT_EQ(table.getByte(c, 64, 1023 - 64), 63);
        EXPECT_EQ(table.getFloat(c, 0, 7), 0.0f);
    }
}

TEST(ControlTable, WritesOutsideTheTableAreDroppedAndReadsGiveZero) {
    ControlTable table;
    ControlTable before;
    table.setByte(-1, 0, 7, 99);
    table.setByte(16, 0, 7, 99);
    table.setByte(0, 0, -3, 99);
    table.setByte(15, 64, 1000, 99);
    table.setFloat(0, 0, -1, 1.0f);
    table.setByteAt(ControlTable::kEntries, 99);
    table.setFloatAt(-5, 1.0f);
    EXPECT_EQ(0, std::memcmp(table.byteValue, before.byteValue, sizeof table.byteValue));
    EXPECT_EQ(0, std::memcmp(table.floatValue, before.floatValue, sizeof table.floatValue));
    EXPECT_EQ(table.getByte(0, 0, -1), 0);
    EXPECT_EQ(table.getFloat(16, 0, 0), 0.0f);
    EXPECT_EQ(table.getByteAt(ControlTable::kEntries), 0);
}
