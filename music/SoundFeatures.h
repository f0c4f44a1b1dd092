#pragma once
#include <cstdint>

// What the analysis of the sound stream found, as of its latest hop. Pulses
// are counters (a pulse happened when a count moved since the last look), so
// a reader that looks less often than the analysis hops loses none.
struct SoundFeatures {
    int64_t hops = 0;      // analysis hops so far (one per 256-frame block)
    int64_t onsets = 0;    // onsets detected so far
    int64_t onsetAt = -1;  // stream time of the last, in samples (-1: none)
    int64_t beats = 0;     // beats detected so far
    float bpm = 0.0f;      // detected tempo (0: none yet)
    float confidence = 0.0f;  // the tracker's own confidence
    bool confident = false;   // the tempo is steady enough to lead the clock
    float beatPhase = 0.0f;   // 0..1 since the last detected beat, at the latest hop
    float low = 0.0f;      // band energies 0..1 after automatic gain
    float mid = 0.0f;
    float high = 0.0f;
    float level = 0.0f;    // RMS in dB mapped to 0..1 (-60 dB .. 0 dB)
};
