// Builds standard MIDI files and expected event records for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace miditest {

using Bytes = std::vector<uint8_t>;

// A variable-length number.
Bytes Var(uint32_t v);
// MThd (length 6) + MTrk holding `track`.
Bytes Smf(const Bytes& track, uint16_t division = 480, uint16_t format = 0,
          uint16_t tracks = 1);
Bytes Cat(std::initializer_list<Bytes> parts);
// One 12-byte record.
Bytes Rec(uint32_t delta, uint32_t event);
// A long record with the message padded to 4.
Bytes LongRec(uint32_t delta, const Bytes& message);
Bytes EndOfTrack(uint32_t delta = 0);
std::string Str(const Bytes& b);

}  // namespace miditest
