#include "ComputerAdds.h"

#include <algorithm>
#include <cstring>

#include "NpcNames.h"
#include "Protocol.h"

namespace client {

using namespace kest::proto;

std::string TComputerAdds::Send(const TRequest& r) {
  open_.push_back(r);
  return CmdAddCom(r.command, r.display, r.raw, 0);
}

std::string TComputerAdds::Ask(int command, int seat, const std::string& display, const std::string& raw) {
  ++outstanding_;
  return Send({command, seat, display, raw, 0});
}

std::string TComputerAdds::Retry(std::string* dropped) {
  if (open_.empty()) return {};
  TRequest r = open_.front();
  if (r.retries >= 5) {
    *dropped = Refused();
    return {};
  }
  open_.pop_front();
  ++r.retries;
  const char* tag = kNpcTags[r.seat - 1];
  size_t n = std::strlen(tag);
  bool tagged = r.display.size() >= n && r.display.compare(r.display.size() - n, std::string::npos, tag) == 0;
  r.display += tagged ? kNpcSecondTag : tag;
  return Send(r);
}

std::string TComputerAdds::Refused() {
  if (open_.empty()) return {};
  std::string name = open_.front().display;
  open_.pop_front();
  return name;
}

bool TComputerAdds::LoggedIn(int id) {
  if (open_.empty()) return false;
  loggedIn_.push_back({open_.front().seat, id});
  open_.pop_front();
  return true;
}

std::vector<int> TComputerAdds::TakeEntering() {
  std::vector<int> ids;
  for (;;) {
    auto first = std::min_element(loggedIn_.begin(), loggedIn_.end());
    if (first == loggedIn_.end()) break;
    if (std::any_of(open_.begin(), open_.end(), [&](const TRequest& r) { return r.seat < first->first; })) break;
    ids.push_back(first->second);
    loggedIn_.erase(first);
  }
  return ids;
}

int TComputerAdds::Answered() {
  if (outstanding_ > 0) --outstanding_;
  return outstanding_;
}

void TComputerAdds::Clear() { *this = TComputerAdds(); }

}  // namespace client
