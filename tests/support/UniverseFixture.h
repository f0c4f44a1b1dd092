#pragma once
#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "TempStage.h"
#include "app/KeyBindings.h"
#include "app/qelUnivCell.h"

// A universe built in a temporary working directory holding the given
// modules.db (twelve modules by default) and nothing else, under the
// headless GL context. The frame clock is driven by the test.
class UniverseFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the universe; stdout of the build is returned.
    std::string build(const std::string& modules = defaultModules());
    static std::string defaultModules();

    // Sets the clock the next frame reads.
    static void setClock(uint32_t millis);
    // The byte values of entries {channel, base, n} of the universe's table.
    std::vector<int> bytes(const std::vector<std::array<int, 3>>& entries) const;

    std::unique_ptr<TempStage> stage;
    std::unique_ptr<qelUnivCell> universe;
};

// Writes key.db into the stage and loads it; returns the lines it logged.
inline std::string loadKeys(const TempStage& stage, const std::string& text) {
    stage.write("key.db", text);
    return captureStdout([] { loadKeyBindings("key.db", false); });
}

// A packed MIDI short message as the driver callback queues it.
inline uint32_t midiMessage(int status, int data1, int data2) {
    return static_cast<uint32_t>(status) | (static_cast<uint32_t>(data1) << 8) | (static_cast<uint32_t>(data2) << 16);
}
