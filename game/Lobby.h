// The lobby as the client shows it: the user list of the room shown (the
// own room's members, or in the lobby the room asked for with RUSER, one
// question at a time) and the rows of the room list.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace client {

// One row of the lobby's room list.
struct TRoomRow {
  bool playing = false;
  int count = 0;
};

class TLobby {
 public:
  // A room is full with five members; nobody more enters it.
  static constexpr int kRoomFull = 5;

  // ---- The user list ----
  void ClearUsers() { users_.clear(); }
  void AddUser(const std::string& name) { users_.push_back(name); }
  // A USER line: the name at its position, or last when the position is beyond the list.
  void InsertUser(int position, const std::string& name) {
    if (position < 0 || position > int(users_.size())) position = int(users_.size());
    users_.insert(users_.begin() + position, name);
  }
  void RemoveUser(const std::string& name) {
    for (auto it = users_.begin(); it != users_.end(); ++it)
      if (*it == name) {
        users_.erase(it);
        return;
      }
  }
  const std::vector<std::string>& Users() const { return users_; }

  // ---- Asking for a room's members ----
  // True when the question may go out (none is open); the list then waits for its answer.
  bool AskRoom() {
    if (asking_) return false;
    users_.clear();
    asking_ = true;
    return true;
  }
  // RUSEREND, or a lost connection.
  void RoomAnswered() { asking_ = false; }
  bool Asking() const { return asking_; }

  // ---- The room list ----
  void SetRow(int room, bool playing, int count) {
    if (room >= 0 && room < 11) rows_[size_t(room)] = {playing, count};
  }
  bool Full(int room) const { return rows_[size_t(room)].count >= kRoomFull; }
  const std::array<TRoomRow, 11>& Rows() const { return rows_; }

 private:
  std::vector<std::string> users_;
  bool asking_ = false;
  std::array<TRoomRow, 11> rows_{};
};

}  // namespace client
