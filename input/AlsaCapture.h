#pragma once
#include <cstddef>
#include <cstdio>
#include <memory>

#include "input/CaptureBackend.h"

// Opens an ALSA PCM capture device by name ("default" goes through
// PipeWire/PulseAudio when they run; "hw:1,0", "plughw:CARD=...", "pulse" and
// so on are passed through) in the fixed capture format. Prints the device's
// quality line and the open result as WaveInput::open does. Returns null,
// without a message, when the device does not exist or its capabilities
// cannot be read; returns null after "WaveFile Open Failed ...........\n"
// when it exists but refuses the capture format. The lines go to console
// (none when it is null, as when a lost device is opened again); reason, when
// given, receives ALSA's own words for a failure.
std::unique_ptr<CaptureBackend> openAlsaCapture(const char* deviceName, FILE* console = stdout,
                                                char* reason = nullptr, size_t reasonSize = 0);
