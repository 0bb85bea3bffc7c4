// An accusation and its verdict: the own accusation from the moment it is
// sent until its verdict is known (nothing can be pressed meanwhile), and the
// verdict the client sends back (KOKUSOEND) after its pause, for the own
// player or a computer player of this host.
#pragma once

#include <cstdint>

namespace client {

class TVerdict {
 public:
  // No accusation waits: a new game, a lost connection, the game's end, the
  // own player out.
  void Close() { ownOpen_ = false; }
  // The own accusation is sent (room, suspect, weapon of the picker).
  void OwnAccused(int room, int person, int weapon) {
    ownOpen_ = true;
    room_ = room, person_ = person, weapon_ = weapon;
  }
  // The own accusation waits for its verdict.
  bool OwnOpen() const { return ownOpen_; }
  // Its captions: the room, suspect and weapon accused, each in range.
  int CaptionRoom() const { return room_ >= 0 && room_ < 9 ? room_ : 0; }
  int CaptionPerson() const { return person_ >= 0 && person_ < 6 ? person_ : 0; }
  int CaptionWeapon() const { return weapon_ >= 0 && weapon_ < 6 ? weapon_ : 0; }
  // KOKUSO: the verdict for user id's accusation, sent back after its pause.
  void Came(int id, bool right) { id_ = id, right_ = right; }
  // The user the verdict goes back for, -1 none; its KOKUSOEND value.
  int VerdictUser() const { return id_; }
  int Value() const { return right_ ? 1 : 0; }
  // Sent back.
  void Sent() { id_ = -1; }

 private:
  bool ownOpen_ = false;
  int room_ = 0, person_ = 0, weapon_ = 0;
  int id_ = -1;
  bool right_ = false;
};

}  // namespace client
