#pragma once
#include <gtest/gtest.h>

#include <vector>

// Each value within `tolerance` of the one wanted, a failure naming its place.
inline void expectNear(const std::vector<float>& got, const std::vector<float>& want, float tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "value " << i;
}
