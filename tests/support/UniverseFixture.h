#pragma once
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "TempStage.h"
#include "app/KeyBindings.h"
#include "app/qelUnivCell.h"

// A universe built under the headless GL context in a temporary working
// directory holding only modules.db (twelve modules by default); the test drives the frame clock.
class UniverseFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string build(const std::string& modules = defaultModules());  // returns the build's stdout
    static std::string defaultModules();
    static void setClock(uint32_t millis);  // the clock the next frame reads
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
