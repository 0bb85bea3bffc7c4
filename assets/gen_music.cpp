// Writes the game's six background tunes as standard MIDI files (format 0,
// one track, 480 ticks per quarter note) into the folder given as argument:
// main.mid, suiri.mid, kokuso.mid, op.mid, win.mid, lose.mid.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kTicks = 480;  // per quarter note

struct Event {
  uint32_t tick;
  int order;  // note-offs before note-ons at the same tick
  std::vector<uint8_t> bytes;
};

class Song {
 public:
  explicit Song(uint32_t tempo) : tempo_(tempo) {}

  void Program(int channel, int program) {
    Add(0, 1, {uint8_t(0xC0 | channel), uint8_t(program)});
  }
  void Volume(int channel, int volume) {
    Add(0, 1, {uint8_t(0xB0 | channel), 7, uint8_t(volume)});
  }
  // Notes one after the other from `start` (in eighths); a note of 0 is a rest.
  uint32_t Line(int channel, uint32_t start, const std::vector<std::pair<int, int>>& notes,
                int velocity) {
    uint32_t at = start;
    for (auto [note, eighths] : notes) {
      if (note > 0) NoteAt(channel, at, note, eighths, velocity);
      at += eighths;
    }
    return at;
  }
  // A chord held for `eighths`.
  void Chord(int channel, uint32_t start, const std::vector<int>& notes, int eighths,
             int velocity) {
    for (int n : notes) NoteAt(channel, start, n, eighths, velocity);
  }
  void NoteAt(int channel, uint32_t startEighths, int note, int eighths, int velocity) {
    uint32_t on = startEighths * kTicks / 2;
    uint32_t off = on + eighths * kTicks / 2 - kTicks / 16;
    Add(on, 2, {uint8_t(0x90 | channel), uint8_t(note), uint8_t(velocity)});
    Add(off, 0, {uint8_t(0x90 | channel), uint8_t(note), 0});  // running-status friendly off
  }
  void End(uint32_t eighths) { end_ = eighths * kTicks / 2; }

  std::vector<uint8_t> Bytes() const {
    std::vector<Event> events = events_;
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
      return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::vector<uint8_t> track;
    // General MIDI on, then the tempo.
    Var(track, 0);
    for (uint8_t b : {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}) track.push_back(b);
    Var(track, 0);
    for (uint8_t b : {0xFF, 0x51, 0x03}) track.push_back(b);
    track.push_back(uint8_t(tempo_ >> 16));
    track.push_back(uint8_t(tempo_ >> 8));
    track.push_back(uint8_t(tempo_));
    uint32_t now = 0;
    uint8_t running = 0;
    for (const Event& e : events) {
      Var(track, e.tick - now);
      now = e.tick;
      size_t first = 0;
      if (e.bytes[0] == running) first = 1;
      running = e.bytes[0];
      track.insert(track.end(), e.bytes.begin() + first, e.bytes.end());
    }
    Var(track, end_ > now ? end_ - now : 0);
    for (uint8_t b : {0xFF, 0x2F, 0x00}) track.push_back(b);

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1,
                                 uint8_t(kTicks >> 8), uint8_t(kTicks & 0xFF),
                                 'M', 'T', 'r', 'k'};
    uint32_t n = static_cast<uint32_t>(track.size());
    for (int s = 24; s >= 0; s -= 8) file.push_back(uint8_t(n >> s));
    file.insert(file.end(), track.begin(), track.end());
    return file;
  }

 private:
  void Add(uint32_t tick, int order, std::vector<uint8_t> bytes) {
    events_.push_back({tick, order, std::move(bytes)});
  }
  static void Var(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t tmp[5];
    int n = 0;
    tmp[n++] = v & 0x7F;
    while (v >>= 7) tmp[n++] = uint8_t(0x80 | (v & 0x7F));
    while (n) out.push_back(tmp[--n]);
  }

  uint32_t tempo_;
  uint32_t end_ = 0;
  std::vector<Event> events_;
};

// Note numbers.
enum : int {
  C3 = 48, D3 = 50, E3 = 52, F3 = 53, G3 = 55, A3 = 57, B3 = 59,
  C4 = 60, D4 = 62, Eb4 = 63, E4 = 64, F4 = 65, G4 = 67, Ab4 = 68, A4 = 69, Bb4 = 70, B4 = 71,
  C5 = 72, D5 = 74, Eb5 = 75, E5 = 76, F5 = 77, G5 = 79, A5 = 81, C6 = 84,
};

// Calm walk around the manor, in F major; loops.
Song MainTune() {
  Song s(600000);
  s.Program(0, 73);  // flute
  s.Program(1, 0);   // piano
  s.Program(2, 32);  // acoustic bass
  s.Volume(0, 100);
  s.Volume(1, 70);
  s.Volume(2, 90);
  s.Line(0, 0, {{A4, 2}, {C5, 2}, {Bb4, 2}, {A4, 2}, {G4, 4}, {F4, 4},
                {A4, 2}, {C5, 2}, {D5, 2}, {C5, 2}, {A4, 6}, {0, 2},
                {Bb4, 2}, {A4, 2}, {G4, 2}, {F4, 2}, {E4, 4}, {G4, 4},
                {F4, 2}, {A4, 2}, {G4, 2}, {E4, 2}, {F4, 8}}, 90);
  const int chords[4][3] = {{F3, A3, C4}, {D3, F3, A3}, {G3, B3 - 1, D4}, {C3, E3, G3}};
  const int roots[4] = {F3 - 12, D3 - 12, G3 - 12, C3 - 12};
  for (int bar = 0; bar < 8; ++bar) {
    int c = bar % 4;
    s.Chord(1, bar * 8, {chords[c][0], chords[c][1], chords[c][2]}, 8, 60);
    s.Line(2, bar * 8, {{roots[c], 4}, {roots[c] + 7, 4}}, 85);
  }
  s.End(64);
  return s;
}

// Suggestion: questioning, in D minor, slow; loops.
Song SuiriTune() {
  Song s(750000);
  s.Program(0, 71);  // clarinet
  s.Program(1, 48);  // strings
  s.Program(2, 45);  // pizzicato
  s.Line(0, 0, {{D5, 3}, {C5, 1}, {A4, 4}, {Bb4, 3}, {A4, 1}, {G4, 4},
                {F4, 2}, {G4, 2}, {A4, 2}, {F4, 2}, {E4, 8}}, 85);
  s.Chord(1, 0, {D4, F4, A4}, 8, 55);
  s.Chord(1, 8, {G3, Bb4 - 12, D4}, 8, 55);
  s.Chord(1, 16, {D4, F4, A4}, 8, 55);
  s.Chord(1, 24, {A3, C4 + 1, E4}, 8, 55);
  for (int i = 0; i < 16; ++i) s.NoteAt(2, i * 2, (i / 4) % 2 ? G3 - 12 : D3 - 12, 1, 80);
  s.End(32);
  return s;
}

// Accusation: driving, in C minor; loops.
Song KokusoTune() {
  Song s(400000);
  s.Program(0, 56);  // trumpet
  s.Program(1, 48);  // strings
  s.Program(2, 47);  // timpani
  s.Line(0, 0, {{C5, 1}, {C5, 1}, {Eb5, 2}, {D5, 1}, {C5, 1}, {G4, 2},
                {Ab4, 2}, {G4, 2}, {F4, 2}, {Eb4, 2},
                {C5, 1}, {C5, 1}, {Eb5, 2}, {G5, 2}, {F5, 2},
                {Eb5, 2}, {D5, 2}, {C5, 4}}, 100);
  for (int bar = 0; bar < 4; ++bar) {
    s.Chord(1, bar * 8, bar % 2 ? std::vector<int>{G3, B3, D4} : std::vector<int>{C4, Eb4, G4},
            8, 70);
    for (int b = 0; b < 8; ++b) s.NoteAt(2, bar * 8 + b, b % 4 == 0 ? C3 - 12 : G3 - 24, 1, 95);
  }
  s.End(32);
  return s;
}

// Title: bright march in C major; loops.
Song OpTune() {
  Song s(500000);
  s.Program(0, 60);  // french horn
  s.Program(1, 61);  // brass section
  s.Program(2, 58);  // tuba
  s.Line(0, 0, {{G4, 2}, {C5, 3}, {D5, 1}, {E5, 2}, {C5, 2}, {G5, 4}, {E5, 4},
                {F5, 2}, {E5, 2}, {D5, 2}, {C5, 2}, {D5, 6}, {G4, 2},
                {C5, 3}, {D5, 1}, {E5, 2}, {G5, 2}, {A5, 4}, {G5, 4},
                {F5, 2}, {D5, 2}, {E5, 2}, {D5, 2}, {C5, 8}}, 105);
  const std::vector<int> chords[4] = {{C4, E4, G4}, {F3, A3, C4}, {G3, B3, D4}, {C4, E4, G4}};
  const int roots[4] = {C3, F3 - 12, G3 - 12, C3};
  for (int bar = 0; bar < 8; ++bar) {
    int c = bar % 4;
    for (int beat = 0; beat < 4; ++beat) {
      s.NoteAt(2, bar * 8 + beat * 2, beat % 2 ? roots[c] + 7 : roots[c], 1, 90);
      s.Chord(1, bar * 8 + beat * 2 + 1, chords[c], 1, 65);
    }
  }
  s.End(64);
  return s;
}

// Case solved: short fanfare; plays once.
Song WinTune() {
  Song s(450000);
  s.Program(0, 56);  // trumpet
  s.Program(1, 61);  // brass section
  s.Line(0, 0, {{C5, 1}, {C5, 1}, {C5, 1}, {G4, 1}, {C5, 2}, {E5, 2}, {G5, 6}, {0, 2},
                {E5, 1}, {F5, 1}, {G5, 2}, {C6, 8}}, 110);
  s.Chord(1, 0, {C4, E4, G4}, 6, 80);
  s.Chord(1, 6, {G3, B3, D4, G4}, 8, 80);
  s.Chord(1, 16, {C4, E4, G4, C5}, 12, 85);
  s.End(30);
  return s;
}

// Case lost: falling line in A minor; plays once.
Song LoseTune() {
  Song s(800000);
  s.Program(0, 68);  // oboe
  s.Program(1, 42);  // cello
  s.Line(0, 0, {{E5, 2}, {D5, 2}, {C5, 2}, {B4, 2}, {A4, 3}, {Ab4, 1}, {A4, 8}}, 80);
  s.Chord(1, 0, {A3 - 12, E3}, 8, 70);
  s.Chord(1, 8, {E3 - 12, B3 - 12}, 4, 70);
  s.Chord(1, 12, {A3 - 12, E3, A3}, 8, 70);
  s.End(22);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_music FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::pair<const char*, Song> tunes[] = {
      {"main.mid", MainTune()}, {"suiri.mid", SuiriTune()}, {"kokuso.mid", KokusoTune()},
      {"op.mid", OpTune()},     {"win.mid", WinTune()},     {"lose.mid", LoseTune()},
  };
  for (const auto& [name, song] : tunes) {
    std::vector<uint8_t> bytes = song.Bytes();
    std::string path = folder + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "gen_music: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
