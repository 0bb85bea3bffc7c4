// The computer players the host has asked the server for: the requests not
// logged in yet (answered in the order sent), a taken name asked for again
// under its seat's colour tag, and the order in which the logged-in ones
// enter the table, which gives their seats: slot k sits in seat k + 1.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace client {

class TComputerAdds {
 public:
  // Asks for a computer player for seat; the text of the line to send.
  std::string Ask(int command, int seat, const std::string& display, const std::string& raw);
  // ERR SAMENAME for the oldest request: the line asking again under a tag,
  // or "" once the name has been retried five times (the request is dropped,
  // its name in *dropped) or when nothing was asked for.
  std::string Retry(std::string* dropped);
  // The oldest request was refused: its name ("" none was open).
  std::string Refused();
  // A computer player logged in with user number id: false when none was
  // asked for.
  bool LoggedIn(int id);
  // The logged-in players that may enter the table now, in seat order: each
  // once every lower seat asked for has entered or been refused.
  std::vector<int> TakeEntering();
  // A player asked for is seated or refused; computer players still awaited.
  int Answered();
  int Outstanding() const { return outstanding_; }
  void Clear();

 private:
  struct TRequest {
    int command;  // cmAddCom or cmAddCom2
    int seat;
    std::string display, raw;
    int retries;
  };
  std::string Send(const TRequest& r);

  std::deque<TRequest> open_;                  // asked for, not logged in yet
  std::vector<std::pair<int, int>> loggedIn_;  // (seat, user) logged in, not entered yet
  int outstanding_ = 0;                        // asked for, not seated nor refused yet
};

}  // namespace client
