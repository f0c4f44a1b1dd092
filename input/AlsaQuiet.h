#pragma once

// Installs (once per process) an ALSA library error handler that prints
// nothing: a missing sound card or sequencer would otherwise fill standard
// error with library diagnostics. Devices report their state through the
// console lines of WaveInput instead.
void silenceAlsaErrors();
