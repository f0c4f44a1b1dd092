#pragma once
#include <gtest/gtest.h>

#include <string>

#include "TempStage.h"
#include "show/OfflineRenderer.h"

// The renderer set up, or one frame rendered, with the universe's console lines kept off the test's output.
inline ::testing::AssertionResult setUpQuietly(OfflineRenderer& renderer) {
    std::string error;
    bool ready = false;
    captureStdout([&] { ready = renderer.setUp(error); });
    return ready ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << error;
}

inline bool renderQuietly(OfflineRenderer& renderer) {
    bool more = false;
    captureStdout([&] { more = renderer.renderFrame(); });
    return more;
}
