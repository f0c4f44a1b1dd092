#pragma once

class qelUnivCell;

// STRATA_LATENCY_LOG: switches the latency log on (platform/LatencyLog.h)
// and writes it to the file when the process exits. With STRATA_LATENCY_MIDI
// a thread also feeds control changes through the MIDI driver's callback
// path (RtMidiPort::deliver), for machines without a MIDI sequencer: they
// travel the queue and the frame's MIDI step as a controller's would
// (applied while MIDI is on, End). Nothing without the variable.
void startLatencyProbe(qelUnivCell& universe);
