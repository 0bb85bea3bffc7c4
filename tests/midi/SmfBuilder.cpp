#include "SmfBuilder.h"

namespace miditest {

Bytes Var(uint32_t v) {
  Bytes tmp{uint8_t(v & 0x7F)};
  while (v >>= 7) tmp.insert(tmp.begin(), uint8_t(0x80 | (v & 0x7F)));
  return tmp;
}

static void Be32(Bytes& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}

Bytes Smf(const Bytes& track, uint16_t division, uint16_t format, uint16_t tracks) {
  Bytes f{'M', 'T', 'h', 'd'};
  Be32(f, 6);
  f.insert(f.end(), {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8), uint8_t(tracks),
                     uint8_t(division >> 8), uint8_t(division), 'M', 'T', 'r', 'k'});
  Be32(f, static_cast<uint32_t>(track.size()));
  f.insert(f.end(), track.begin(), track.end());
  return f;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

static void Le32(Bytes& out, uint32_t v) {
  for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(v >> s));
}

Bytes Rec(uint32_t delta, uint32_t event) {
  Bytes r;
  Le32(r, delta);
  Le32(r, 0);
  Le32(r, event);
  return r;
}

Bytes LongRec(uint32_t delta, const Bytes& message) {
  Bytes r = Rec(delta, 0x80000000u | static_cast<uint32_t>(message.size()));
  r.insert(r.end(), message.begin(), message.end());
  while (r.size() % 4) r.push_back(0);
  return r;
}

Bytes EndOfTrack(uint32_t delta) { return Cat({Var(delta), {0xFF, 0x2F, 0x00}}); }

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace miditest
