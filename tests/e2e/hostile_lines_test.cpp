// The real server against lines a hostile or careless client sends: names
// and faces that other clients could not read back, START arguments that
// would change how its echo is split, and suggestions past the one a turn
// allows. What the server relays is read back through the game client's
// own dispatcher.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "CommandDispatcher.h"
#include "Protocol.h"
#include "ServerE2E.h"
#include "WireClient.h"

using velmora::test::ServerE2E;
using velmora::tools::TWireClient;
using velmora::tools::TWireLine;

namespace {

#define BS "\x08"

// What the client's dispatcher makes of the lines it is given: the name
// and face texts by word, and the START arguments.
struct TReadBack : client::TClientLineHandler {
  std::vector<std::string> names, faces, prints, removed, byes, starts;
  std::vector<std::pair<int, std::string>> seats;  // USER
  void HandleAddUser(int, const std::string& name, int, const std::string& face, int, int) override {
    names.push_back("ADDUSER " + name);
    faces.push_back("ADDUSER " + face);
  }
  void HandleAddUser2(int, const std::string& name, int, const std::string& face) override {
    names.push_back("ADDUSER2 " + name);
    faces.push_back("ADDUSER2 " + face);
  }
  void HandleChroom(int, int, const std::string& name) override { names.push_back("CHROOM " + name); }
  void HandleUser(int, int seat, const std::string& name) override { seats.emplace_back(seat, name); }
  void HandlePrint(int, const std::string& text) override { prints.push_back(text); }
  void HandleRemoveUser(int, const std::string& name) override { removed.push_back(name); }
  void HandleBye(int, const std::string& name) override { byes.push_back(name); }
  void StartGame(int id, const client::TArgs& args) override {
    std::string s = std::to_string(id) + ":";
    for (const auto& a : args) s += " " + a;
    starts.push_back(s);
  }
};

// Reads lines until one satisfies pred, handing every line to the client's
// dispatcher; the line, or nothing when none came in time.
std::optional<TWireLine> ReadBackUntil(TWireClient& c, TReadBack& r, const std::function<bool(const TWireLine&)>& pred) {
  std::vector<std::string> before;
  auto hit = c.WaitFor(pred, ServerE2E::kWaitMs, &before);
  for (const auto& l : before) client::CommandDispatcher(r, l);
  if (hit) client::CommandDispatcher(r, hit->text);
  return hit;
}

bool IsWord(const TWireLine& l, const char* word) { return l.word == word; }

// The answer to a login word: its LOGIN or ERR line, "<none>" when
// neither came.
std::string LoginAnswer(TWireClient& c) {
  auto l = c.WaitFor([](const TWireLine& l) { return l.word == "LOGIN" || l.word == "ERR"; }, ServerE2E::kWaitMs);
  return l ? l->text : "<none>";
}

using HostileLines = ServerE2E;

// A name or face holding a byte below 0x20, or whose Shift-JIS ends inside
// a character, would reach the other clients as a line they split
// differently; each login word refuses it as a name in use.
TEST_F(HostileLines, UnreadableNamesAndFacesAreRefusedAtEveryLogin) {
  struct Field {
    const char* what;
    std::string name, face;  // as they stand on the wire; "#" becomes a number of the case's own
  };
  const std::vector<Field> fields = {
      {"BS inside a name", "na#" BS "me", BS "f" BS},
      {"TAB inside a name", BS "na#\tme" BS, BS "f" BS},
      {"BS inside a face", "ok#", "f" BS "ace"},
      {"TAB inside a face", "ok#", BS "f\tace" BS},
      {"a face whose last lead byte takes the closing BS", "ok#", BS "cd\x82" BS BS},
  };
  int k = 0;
  for (const char* word : {"LOGIN", "ADDCOM", "ADDCOM2"}) {
    for (const Field& f : fields) {
      // A connection of its own, with a person for the computer players'
      // words, so that no case is answered for an earlier one's sake.
      const std::string n = std::to_string(++k);
      std::unique_ptr<TWireClient> conn;
      std::string tail = ":0";
      if (std::string(word) == "LOGIN") {
        conn = Connection();
      } else {
        int host = -1;
        conn = Client("Host" + n, &host);
        tail = ",1:" + std::to_string(host);
      }
      std::string name = f.name;
      name.replace(name.find('#'), 1, n);
      conn->SendRaw(std::string(word) + " " + name + "," + f.face + tail + "\r\r\n");
      EXPECT_EQ(LoginAnswer(*conn), "ERR SAMENAME") << word << ": " << f.what;
    }
  }
  // The lone lead byte at the end of a LOGIN line, which needs no user
  // number, so that the face ends the line.
  auto conn = Connection();
  conn->SendRaw("LOGIN " BS "Hostile" BS "," BS "ab\x82\r\n");
  EXPECT_EQ(LoginAnswer(*conn), "ERR SAMENAME");
}

// Names and faces whose last character has a trail byte in the lead-byte
// range, and kana of both widths, are taken, and every line that carries
// them reads back to the same text.
TEST_F(HostileLines, ReadableNamesAndFacesAreTakenAndReadBack) {
  const struct {
    const char* what;
    std::string text;
  } texts[] = {
      {"ending in me", "\x83\x81"},                       // メ: 83 81
      {"ending in small ya", "\x82\xe1"},                 // ゃ: 82 E1
      {"ending in hyou", "\x95\x5c"},                     // 表: 95 5C
      {"full-width kana", "\x83\x4a\x83\x5e\x83\x4a\x83\x69"},  // カタカナ
      {"half-width kana", "\xb6\xc0\xb6\xc5"},            // ｶﾀｶﾅ
  };
  int room = 0;
  for (const auto& t : texts) {
    SCOPED_TRACE(t.what);
    // The host W of a room of its own watches a person P join with a
    // computer player C and a seat filler F, each named and faced with the
    // text at the end.
    const std::string r = std::to_string(++room);
    const std::string p = "P" + t.text, c = "C" + t.text, f = "F" + t.text;
    const std::string pf = "p" + t.text, cf = "c" + t.text, ff = "f" + t.text;
    int w = -1;
    auto wc = Client("W" + t.text, &w);
    wc->SendCommand("CHROOM " + r, w);
    ASSERT_TRUE(wc->WaitWord("CHROOM", w, kWaitMs));

    auto pc = Connection();
    pc->SendCommand(kest::proto::CmdLogin(p, pf), 0);
    TReadBack own;
    auto login = ReadBackUntil(*pc, own, [](const TWireLine& l) { return IsWord(l, "LOGIN"); });
    ASSERT_TRUE(login);
    const int up = login->user;
    ASSERT_TRUE(ReadBackUntil(*pc, own, [&](const TWireLine& l) { return IsWord(l, "ADDUSER") && l.user == up && l.args[3] == std::to_string(up); }));
    EXPECT_EQ(own.names.back(), "ADDUSER " + p);
    EXPECT_EQ(own.faces.back(), "ADDUSER " + pf);
    pc->SendCommand("CHROOM " + r, up);
    ASSERT_TRUE(ReadBackUntil(*pc, own, [](const TWireLine& l) { return IsWord(l, "CHROOM"); }));
    EXPECT_EQ(own.names.back(), "CHROOM " + p);
    for (auto [word, name, face] : {std::tuple{kest::proto::cmAddCom, c, cf}, std::tuple{kest::proto::cmAddCom2, f, ff}}) {
      pc->SendCommand(kest::proto::CmdAddCom(word, name, face, 1), up);
      auto l = pc->WaitFor([](const TWireLine& l) { return IsWord(l, "LOGIN") || IsWord(l, "ERR"); }, kWaitMs);
      ASSERT_TRUE(l && l->word == "LOGIN") << name;
      pc->SendCommand("CHROOM " + r, l->user);
      ASSERT_TRUE(pc->WaitWord("CHROOM", l->user, kWaitMs)) << name;
    }

    // W hears of each as it sits down, lists the room, and starts a game.
    TReadBack seen;
    wc->SendCommand("RUSER " + r, w);
    ASSERT_TRUE(ReadBackUntil(*wc, seen, [](const TWireLine& l) { return IsWord(l, "RUSEREND"); }));
    for (const auto& [name, face] : {std::pair{p, pf}, {c, cf}, {f, ff}}) {
      for (const char* word : {"ADDUSER ", "ADDUSER2 "}) {
        EXPECT_NE(std::find(seen.names.begin(), seen.names.end(), word + name), seen.names.end()) << word << name;
        EXPECT_NE(std::find(seen.faces.begin(), seen.faces.end(), word + face), seen.faces.end()) << word << face;
      }
    }
    wc->SendCommand("START 0,0", w);
    ASSERT_TRUE(ReadBackUntil(*wc, seen, [](const TWireLine& l) { return IsWord(l, "TURN"); }));
    EXPECT_EQ(seen.seats, (std::vector<std::pair<int, std::string>>{{0, "W" + t.text}, {1, p}, {2, c}}));
    wc->SendCommand("ENDGAME", w);
    ASSERT_TRUE(wc->WaitWord("END", w, kWaitMs));

    // P drops its computer players, chats, goes to the lobby and back, and
    // leaves.
    pc->SendCommand("CLEARNPC", up);
    pc->SendCommand(kest::proto::CmdChat(room, "hi"), up);
    ASSERT_TRUE(ReadBackUntil(*wc, seen, [](const TWireLine& l) { return IsWord(l, "PRINT"); }));
    EXPECT_EQ(seen.byes, (std::vector<std::string>{c, f}));
    EXPECT_EQ(seen.prints.back(), "[" + p + "] hi");
    pc->SendCommand("CHROOM 0", up);
    ASSERT_TRUE(ReadBackUntil(*wc, seen, [](const TWireLine& l) { return IsWord(l, "REMOVEUSER"); }));
    EXPECT_EQ(seen.removed, std::vector<std::string>{p});
    pc->SendCommand("CHROOM " + r, up);
    ASSERT_TRUE(ReadBackUntil(*wc, seen, [](const TWireLine& l) { return IsWord(l, "ADDUSER"); }));
    EXPECT_EQ(seen.names.back(), "ADDUSER " + p);
    pc->Close();
    ASSERT_TRUE(ReadBackUntil(*wc, seen, [](const TWireLine& l) { return IsWord(l, "PRINT"); }));
    EXPECT_EQ(seen.byes.back(), p);
    EXPECT_EQ(seen.prints.back(), p + kest::proto::kLoggedOutText);
    wc->Close();
  }
}

// START is echoed up to the first argument that is not a plain decimal
// number, so that a quoted one cannot carry a ":" that readers would take
// for the user number.
TEST_F(HostileLines, StartEchoEndsBeforeTheFirstArgumentThatIsNotANumber) {
  int host = -1, guest = -1;
  auto hc = Client("Host", &host);
  auto gc = Client("Guest", &guest);
  for (auto [c, u] : {std::pair{hc.get(), host}, {gc.get(), guest}}) {
    c->SendCommand("CHROOM 1", u);
    ASSERT_EQ(Next(*c, "CHROOM", u).substr(0, 8), "CHROOM 1");
  }
  const std::string g = std::to_string(guest);
  const struct {
    std::string args, echo, readBack;
  } cases[] = {
      {"1,1", "START 1,1:" + g, g + ": 1 1"},
      {"0,0," BS "x:5" BS, "START 0,0:" + g, g + ": 0 0"},
      {"1,-2,3x,4", "START 1,-2:" + g, g + ": 1 -2"},
      {"1," BS "a b" BS ",1", "START 1:" + g, g + ": 1"},
  };
  for (const auto& c : cases) {
    hc->SendCommand("START " + c.args, host);
    auto l = gc->WaitWord("START", guest, kWaitMs);
    ASSERT_TRUE(l.has_value()) << c.args;
    EXPECT_EQ(l->text, c.echo) << c.args;
    TReadBack r;
    client::CommandDispatcher(r, l->text);
    EXPECT_EQ(r.starts, std::vector<std::string>{c.readBack}) << c.args;
    hc->SendCommand("ENDGAME", host);
    ASSERT_TRUE(gc->WaitWord("END", guest, kWaitMs)) << c.args;
  }
}

// One suggestion a turn: once a SUIRI of the turn seat has been relayed,
// its later SUIRISTART and SUIRI are dropped until the next TURN. A
// cancelled opening, an invalid SUIRI, a computer player's suggestion and
// the next turn's suggestion still go through.
TEST_F(HostileLines, OneSuggestionATurn) {
  // Seats: Alice 0 (host), Bob 1, Alice's computer player Cpu 2.
  int alice = -1, bob = -1;
  auto ac = Client("Alice", &alice);
  auto bc = Client("Bob", &bob);
  ac->SendCommand("CHROOM 1", alice);
  ASSERT_TRUE(ac->WaitWord("CHROOM", alice, kWaitMs));
  bc->SendCommand("CHROOM 1", bob);
  ASSERT_TRUE(bc->WaitWord("CHROOM", bob, kWaitMs));
  ac->SendCommand(kest::proto::CmdAddCom(kest::proto::cmAddCom, "Cpu", "face", 0), alice);
  auto cl = ac->WaitFor([](const TWireLine& l) { return IsWord(l, "LOGIN"); }, kWaitMs);
  ASSERT_TRUE(cl.has_value());
  const int cpu = cl->user;
  ac->SendCommand("CHROOM 1", cpu);
  ASSERT_TRUE(ac->WaitWord("CHROOM", cpu, kWaitMs));
  ac->SendCommand("START 1,1", alice);
  ASSERT_EQ(Next(*bc, "TURN", bob), "TURN 0:" + std::to_string(bob));

  const int seatUser[] = {alice, bob, cpu};
  TWireClient* seatConn[] = {ac.get(), bc.get(), ac.get()};
  // Everything Bob receives up to the answer of the marker `until`, by word.
  auto bobSees = [&](const char* until) {
    std::vector<std::string> before;
    auto hit = bc->WaitFor([&](const TWireLine& l) { return IsWord(l, until) && l.user == bob; }, kWaitMs, &before);
    EXPECT_TRUE(hit.has_value()) << until;
    std::vector<std::string> words;
    for (const auto& t : before)
      if (auto l = velmora::tools::ParseWireLine(t); !l.word.empty()) words.push_back(l.word);
    return words;
  };
  // The suggestion of the seat `turn`, answered by whoever is asked (the
  // server puts a matching card in place of a wrong NO) up to SUIRIEND,
  // and Bob's lines up to a SAIKORO after it.
  auto suggest = [&](int turn) {
    TWireClient& sc = *seatConn[turn];
    const int su = seatUser[turn];
    sc.SendCommand("SUIRI 1,2,3", su);
    for (;;) {
      auto l = sc.WaitFor([&](const TWireLine& m) {
        return m.user == su && (IsWord(m, "SHOWWAIT") || IsWord(m, "SUIRIEND"));
      }, kWaitMs);
      ASSERT_TRUE(l.has_value()) << "no SHOWWAIT or SUIRIEND for seat " << turn;
      if (l->word == "SUIRIEND") break;
      const int asked = std::stoi(l->args[0]);
      seatConn[asked]->SendCommand("SHOW NO", seatUser[asked]);
    }
    sc.SendCommand("SAIKORO", su);
    bobSees("SAIKORO");
  };

  // Alice opens, cancels, opens again and sends an invalid SUIRI: all of it
  // before her one suggestion.
  for (const char* line : {"SUIRISTART 1", "SUIRICANCEL", "SUIRISTART 1", "SUIRI 9,9,9"}) ac->SendCommand(line, alice);
  ac->SendCommand("SAIKORO", alice);
  EXPECT_EQ(bobSees("SAIKORO"), (std::vector<std::string>{"SUIRISTART", "SUIRICANCEL", "SUIRISTART"}));
  suggest(0);
  // A second opening and suggestion of the seat in the same turn reach
  // nobody: Bob hears nothing of them before the die that follows.
  auto secondIsDropped = [&](int turn) {
    for (const char* line : {"SUIRISTART 1", "SUIRI 1,2,3", "SAIKORO"}) seatConn[turn]->SendCommand(line, seatUser[turn]);
    for (const auto& w : bobSees("SAIKORO")) EXPECT_TRUE(w != "SUIRISTART" && w != "SUIRI" && w != "SHOWWAIT") << w;
  };
  secondIsDropped(0);

  // The next turn's suggestion goes through, once; so does the computer
  // player's, on its person's connection.
  for (int turn : {1, 2}) {
    seatConn[turn - 1]->SendCommand("TURNEND", seatUser[turn - 1]);
    ASSERT_EQ(Next(*bc, "TURN", bob), "TURN " + std::to_string(turn) + ":" + std::to_string(bob));
    seatConn[turn]->SendCommand("SUIRISTART 1", seatUser[turn]);
    suggest(turn);
    secondIsDropped(turn);
  }
}

}  // namespace
