#include "UniverseFixture.h"

#include "GlTestContext.h"
#include "app/ControlTable.h"
#include "app/ScreenInfo.h"

namespace {
uint32_t gClock = 0;
uint32_t testClock() { return gClock; }
}  // namespace

void UniverseFixture::SetUp() {
    ASSERT_TRUE(ensureGlContext());
    resetGlState();
    stage = std::make_unique<TempStage>("universe");
    setMillisSource(&testClock);
    gClock = 0;
    FrameClock::setPreviousReading(0);
}

void UniverseFixture::TearDown() {
    universe.reset();
    setMillisSource(nullptr);
    stage.reset();
    resetGlState();
}

std::string UniverseFixture::defaultModules() {
    return "Waver\nTunnel\nCloud\nWaver3D\nParticles1\nMetaballViewer\nObjViewer\nTorusTunnel\nFlo\n"
           "RippleObjViewer\nSoundScape\nWave\n";
}

std::string UniverseFixture::build(const std::string& modules) {
    stage->write("modules.db", modules);
    return captureStdout([&] { universe = std::make_unique<qelUnivCell>(); });
}

void UniverseFixture::setClock(uint32_t millis) { gClock = millis; }

std::vector<int> UniverseFixture::bytes(const std::vector<std::array<int, 3>>& entries) const {
    std::vector<int> values;
    for (const auto& [channel, base, n] : entries) values.push_back(universe->controls->getByte(channel, base, n));
    return values;
}
