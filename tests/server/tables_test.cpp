// Computer players and seat fillers at real tables, over real sockets: they
// follow the person who added them, and nobody else's leaving takes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "EventLoop.h"
#include "KestServerForm.h"
#include "Protocol.h"
#include "WireClient.h"

using velmora::TKestServerForm;
using velmora::tools::ParseWireLine;
using velmora::tools::TWireClient;
using velmora::tools::TWireLine;
namespace proto = kest::proto;

namespace {

class Tables : public ::testing::Test {
 protected:
  // A person on a connection of its own; the server's loop runs while waiting.
  struct TPerson {
    std::unique_ptr<TWireClient> wire;
    int no = -1;
  };

  TPerson Login(const std::string& name) {
    TPerson p{std::make_unique<TWireClient>()};
    EXPECT_TRUE(p.wire->Connect("127.0.0.1", form_.ListeningPort(), 2000));
    p.wire->SendCommand(proto::CmdLogin(name, "f"), 0);
    if (auto l = Await(*p.wire, "LOGIN")) p.no = l->user;
    return p;
  }

  // Reads while the server's loop runs, until a line that starts with the
  // prefix arrives.
  std::optional<TWireLine> Await(TWireClient& c, const std::string& prefix, int ms = 5000) {
    std::optional<TWireLine> found;
    testloop::WaitUntil(
        [&] {
          while (auto l = c.ReadLine(0)) {
            if (l->rfind(prefix, 0) == 0) {
              found = ParseWireLine(*l);
              return true;
            }
          }
          return false;
        },
        ms);
    return found;
  }

  // Adds a computer player (or a filler) under the person, and returns its number.
  int AddCom(TPerson& host, const std::string& name, int command = proto::cmAddCom) {
    host.wire->SendCommand(proto::CmdAddCom(command, name, "cf", 1), host.no);
    auto l = Await(*host.wire, "LOGIN");
    return l ? l->user : -1;
  }

  void Chroom(TPerson& p, int user, int room) {
    p.wire->SendCommand(proto::CmdChroom(room), user);
    ASSERT_TRUE(Await(*p.wire, "CHROOM") || Await(*p.wire, "ERR"));
  }

  bool Settled(const std::function<bool()>& pred) { return testloop::WaitUntil(pred, 5000); }

  TKestServerForm form_{0};
};

}  // namespace

// A person who leaves its table takes its computer players and fillers
// along, before the lobby hears the room's count; a newcomer then holds
// seat 0 and can start.
TEST_F(Tables, LeavingATableTakesItsComputersAlong) {
  TPerson a = Login("Alice");
  Chroom(a, a.no, 1);
  const int cpu = AddCom(a, "Cpu"), fill = AddCom(a, "Fill", proto::cmAddCom2);
  Chroom(a, cpu, 1);
  Chroom(a, fill, 1);
  ASSERT_EQ(form_.Core().Room(1).MemberCount(), 3);

  TPerson watcher = Login("Watcher");  // in the lobby, hears room counts
  ASSERT_TRUE(Await(*watcher.wire, "ROOM 10,"));  // the last of its login
  a.wire->SendCommand(proto::CmdChroom(0), a.no);
  std::vector<std::string> heard;
  ASSERT_TRUE(Settled([&] {
    while (auto l = watcher.wire->ReadLine(0)) heard.push_back(*l);
    return std::find(heard.begin(), heard.end(), proto::Addressed("ROOM 1,0,0", watcher.no)) != heard.end();
  }));
  // The room's only count the lobby hears after the leave is the empty one.
  EXPECT_EQ(std::count_if(heard.begin(), heard.end(), [](const std::string& l) { return l.rfind("ROOM 1,", 0) == 0; }),
            1);
  EXPECT_EQ(form_.Core().Room(1).MemberCount(), 0);
  EXPECT_EQ(form_.Core().UserOf(cpu), nullptr);
  EXPECT_EQ(form_.Core().UserOf(fill), nullptr);

  TPerson b = Login("Bob");
  Chroom(b, b.no, 1);
  EXPECT_EQ(form_.Core().Room(1).MemberAt(0), b.no);
  b.wire->SendCommand(proto::CmdStart(false, false), b.no);
  EXPECT_TRUE(Await(*b.wire, "START"));
  EXPECT_TRUE(form_.Core().Room(1).IsPlaying());
}

// A computer player goes only where its person is; any other room change
// is refused and the computer player logged out, so none can hold seat 0
// of an empty table.
TEST_F(Tables, ComputerPlayersGoOnlyToTheirPersonsRoom) {
  TPerson a = Login("Alice");
  Chroom(a, a.no, 1);
  for (const int command : {proto::cmAddCom, proto::cmAddCom2}) {
    const int cpu = AddCom(a, "Cpu", command);
    ASSERT_GE(cpu, 0);
    a.wire->SendCommand(proto::CmdChroom(2), cpu);
    EXPECT_TRUE(Await(*a.wire, "ERR LOCKED"));
    EXPECT_TRUE(Settled([&] { return form_.Core().UserOf(cpu) == nullptr; }));
    EXPECT_EQ(form_.Core().Room(2).MemberCount(), 0);
  }
  // Into the person's room it goes; from there, out to the lobby it may not.
  const int cpu = AddCom(a, "Cpu");
  Chroom(a, cpu, 1);
  EXPECT_EQ(form_.Core().Room(1).MemberAt(1), cpu);
  a.wire->SendCommand(proto::CmdChroom(0), cpu);
  EXPECT_TRUE(Await(*a.wire, "ERR"));
  EXPECT_TRUE(Settled([&] { return form_.Core().UserOf(cpu) == nullptr; }));
  EXPECT_EQ(form_.Core().Room(1).MemberCount(), 1);
}

// A logout in the lobby takes the leaver's own computer players only:
// another host's computer player waiting there for its room change stays
// and still takes its seat.
TEST_F(Tables, LobbyLogoutLeavesOtherHostsComputersAlone) {
  TPerson a = Login("Alice");
  Chroom(a, a.no, 1);
  const int cpu = AddCom(a, "Cpu");  // in the lobby until its room change
  TPerson c = Login("Carol");
  const int ccpu = AddCom(c, "CarolCpu");
  c.wire->Close();
  ASSERT_TRUE(Settled([&] { return form_.Core().UserOf(c.no) == nullptr; }));
  EXPECT_EQ(form_.Core().UserOf(ccpu), nullptr);
  ASSERT_NE(form_.Core().UserOf(cpu), nullptr);
  Chroom(a, cpu, 1);
  EXPECT_EQ(form_.Core().Room(1).MemberAt(1), cpu);
}
