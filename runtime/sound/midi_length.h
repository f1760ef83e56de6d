// Internal: playing length of a Standard MIDI File, worked out from the file's own tempo map.
#pragma once

#include <cstddef>
#include <cstdint>

// Seconds from the start of the piece to its last event (the latest end of any of its
// tracks), following every tempo change; SMPTE time division is honoured, and a file
// in a RIFF "RMID" wrapper is read from its data chunk. Any bytes may be passed: the
// reader never looks outside data[0 .. size), and anything that is not a well-formed
// MIDI file gives a negative result (length unknown).
double __MidiLengthSeconds(const uint8_t* data, size_t size);
