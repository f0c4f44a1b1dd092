#include <gtest/gtest.h>

#include <cstring>

#include "app/ControlTable.h"
#include "reactor/Random.h"

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

TEST(Random, FollowsTheLinearCongruentialSequenceFromStateOne) {
    const uint32_t saved = qelRandState();
    qelSetRandState(1);
    // state 1 -> 1 * 214013 + 2531011 = 2745024 -> (2745024 >> 16) & 32767 = 41
    EXPECT_EQ(qelRand(), 41);
    EXPECT_EQ(qelRand(), 18467);
    EXPECT_EQ(qelRand(), 6334);
    for (int i = 0; i < 10000; ++i) {
        const int r = qelRand();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
    qelSetRandState(saved);
}
