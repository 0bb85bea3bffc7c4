#include "NpcNames.h"

namespace client {

const char* const kNpcDefaultNames[kNpcSlots] = {
    "\x89\xa9\x8e\x52\x92\x89\x8f\x95",                  // 黄山忠助
    "\x94\x92\x96\x50\x89\x40\x90\x97\x8e\x71",          // 白鳳院雛子
    "\x83\x4f\x83\x8a\x81\x5b\x83\x93\x96\x71\x8e\x74",  // グリーン牧師
    "\x90\x85\x93\xdf\x8f\xcb\x8e\x71",                  // 水那祥子
    "\x8e\x87\x8f\xf0\x89\x40\x97\xb2\x93\x54",          // 紫条院隆典
};

const char* const kNpcTags[kNpcSlots] = {
    "(\x89\xa9)",  // (黄)
    "(\x94\x92)",  // (白)
    "(\x97\xce)",  // (緑)
    "(\x90\x85)",  // (水)
    "(\x8e\x87)",  // (紫)
};

std::string TrimName(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

TNpcNames::TNpcNames() {
  for (int i = 0; i < kNpcSlots; ++i) StoreNpc(i, kNpcDefaultNames[i]);
}

void TNpcNames::MakeUniqueNames(const std::array<std::string, 6>& humanNames, int count) {
  int first = count - 1 < 0 ? 0 : count - 1;
  bool tagged[kNpcSlots] = {};
  for (int j = first; j < kNpcSlots; ++j) display_[j] = raw_[j];  // tags of an earlier table go
  for (int j = kNpcSlots - 1; j >= first; --j) {
    for (int k = first; k < kNpcSlots; ++k) {
      if (k != j && TrimName(display_[k]) == TrimName(display_[j])) {
        display_[j] += kNpcTags[j];
        tagged[j] = true;
        break;
      }
    }
  }
  for (int s = first; s < kNpcSlots; ++s) {
    for (const std::string& human : humanNames) {
      if (human.empty()) continue;
      if (TrimName(display_[s]) == TrimName(human))
        display_[s] += tagged[s] ? kNpcSecondTag : kNpcTags[s];
    }
  }
}

}  // namespace client
