// The five computer-player setup slots (slot k plays seat k + 1): the raw
// name (the character: its face picture and script) and the display name
// (the raw name, with a tag appended when it would clash with another).
#pragma once

#include <array>
#include <string>

namespace client {

inline constexpr int kNpcSlots = 5;

// Default characters of slots 0-4.
extern const char* const kNpcDefaultNames[kNpcSlots];
// Tags appended for duplicates: "(黄)", "(白)", "(緑)", "(水)", "(紫)".
extern const char* const kNpcTags[kNpcSlots];
// Second tag, for a tagged name that still equals a human's.
inline constexpr const char kNpcSecondTag[] = "2";

// Bytes up to 0x20 removed at both ends.
std::string TrimName(const std::string& s);

class TNpcNames {
 public:
  TNpcNames();
  void StoreNpc(int slot, const std::string& name) { raw_[slot] = display_[slot] = name; }
  const std::string& GetNpcName(int slot, bool display) const {
    return display ? display_[slot] : raw_[slot];
  }
  const std::array<std::string, kNpcSlots>& RawNames() const { return raw_; }

  // Makes the display names of the slots in play (count - 1 .. 4, for seats
  // count .. 5) differ from each other and from the human names.
  void MakeUniqueNames(const std::array<std::string, 6>& humanNames, int count);

 private:
  std::array<std::string, kNpcSlots> raw_;
  std::array<std::string, kNpcSlots> display_;
};

}  // namespace client
