// The server against clients that do not play by the rules, over real
// sockets: output piling up for a client that does not read, descriptors
// running out, and a soak of a flood, a client that never reads and a
// slow-loris client beside a client whose every request must be answered.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "EventLoop.h"
#include "KestServerForm.h"
#include "Protocol.h"
#include "ServerSockets.h"
#include "SocketRW.h"
#include "WireClient.h"

using velmora::TKestServerCore;
using velmora::TKestServerForm;
using velmora::tools::TWireClient;
using velmora::tools::TWireLine;

namespace {

class ServerLimits : public ::testing::Test {
 protected:
  // Handles the server's events until pred holds or ms pass.
  static bool PumpUntil(const std::function<bool()>& pred, int ms = 5000) { return testloop::WaitUntil(pred, ms); }

  // Connects and logs in; the server's loop runs while waiting.
  static std::unique_ptr<TWireClient> Login(TKestServerForm& form, const std::string& name) {
    auto c = std::make_unique<TWireClient>();
    EXPECT_TRUE(c->Connect("127.0.0.1", form.ListeningPort(), 2000));
    c->SendCommand(kest::proto::CmdLogin(name, "f"), 0);
    const int before = form.Core().LoggedInCount();
    EXPECT_TRUE(PumpUntil([&] { return form.Core().LoggedInCount() == before + 1; }));
    return c;
  }
};

// What one connection may hold in the server: the output limit, plus one
// line of input not yet ended and one read.
constexpr size_t kBufferBound =
    velmora::kMaxQueuedOutput + size_t(kest::proto::kMaxLineSize) + size_t(kest::TCustomSocketRW::kMaxReadPerEvent);

// Sends as much of bytes as goes within ms; false when the peer is gone.
bool SendFor(int fd, const std::string& bytes, int ms) {
  size_t done = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// A name as long as a name may be, so that every answer naming it is long.
std::string LongName(int i) { return std::string(60, char('a' + i)) + std::to_string(i); }

}  // namespace

// A client that never reads: what waits for it never passes the limit,
// and once it would, the connection closes and its user is logged out.
TEST_F(ServerLimits, OutputForAClientThatDoesNotReadIsLimited) {
  TKestServerForm form(0);
  std::vector<std::unique_ptr<TWireClient>> lobby;
  for (int i = 0; i < 5; ++i) lobby.push_back(Login(form, LongName(i)));
  auto sleeper = Login(form, "Sleeper");
  const int user = 5;
  std::string burst;
  while (burst.size() < 32 * 1024) burst += kest::proto::ClientLine("RUSER 0", user) + "\r\n";
  size_t most = 0;
  bool closed = false;
  // Each answer is about 450 bytes: 200 bursts ask for some 200 MiB.
  for (int round = 0; round < 200 && !closed; ++round) {
    closed = !SendFor(sleeper->Fd(), burst, 1000);
    PumpUntil([&] {
      most = std::max(most, form.LargestBuffers());
      closed = closed || form.Core().UserOf(user) == nullptr;
      return false;
    }, 20);
    for (auto& c : lobby)
      while (c->ReadLine(0)) {
      }
  }
  ASSERT_TRUE(PumpUntil([&] { return form.Core().UserOf(user) == nullptr; }, 20000));
  EXPECT_LE(most, kBufferBound);
  EXPECT_GT(most, velmora::kMaxQueuedOutput / 2);  // the limit, not the kernel, stopped it
  EXPECT_EQ(form.Core().LoggedInCount(), 5);
  bool logged = false;
  for (const auto& l : form.Core().Log()) logged |= l.find("bytes waiting to be sent") != std::string::npos;
  EXPECT_TRUE(logged);
}

// With every descriptor taken by connections that never log in, the
// listener keeps going: once those are closed for not logging in in time,
// a waiting client gets in.
TEST_F(ServerLimits, AcceptsAgainOnceSilentConnectionsAreClosed) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizers' own checks need spare descriptors; the plain build
  // runs this case.
  GTEST_SKIP() << "needs a build without sanitizers";
#endif
  TKestServerForm form(0);
  int64_t now = 0;
  form.Core().SetClock([&] { return now; });
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(uint16_t(form.ListeningPort()));
  auto connectRaw = [&] {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    return fd;
  };
  constexpr int kSilent = 20;
  std::vector<int> taken;  // closed at the end, with the limit restored
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  struct Restore {
    rlimit limit;
    std::vector<int>& fds;
    ~Restore() {
      for (int fd : fds) ::close(fd);
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }
  } restore{old, taken};
  for (int i = 0; i < kSilent; ++i) {
    taken.push_back(connectRaw());
    ASSERT_TRUE(PumpUntil([&] { return form.Connections() == i + 1; })) << i;
  }
  // Clients and the server share this process's descriptors: take every
  // number below a lower limit but one, which the late client gets.
  const int lowestFree = ::dup(0);
  ::close(lowestFree);
  rlimit low = old;
  low.rlim_cur = rlim_t(lowestFree + 2);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  for (int fd; (fd = ::dup(0)) >= 0;) taken.push_back(fd);
  ::close(taken.back());
  taken.pop_back();
  const int late = connectRaw();  // the server has no descriptor left for it
  taken.push_back(late);
  const std::string login = kest::proto::ClientLine(kest::proto::CmdLogin("Late", "f"), 0) + "\r\n";
  ASSERT_EQ(::send(late, login.data(), login.size(), MSG_NOSIGNAL), ssize_t(login.size()));
  EXPECT_FALSE(PumpUntil([&] { return form.Core().LoggedInCount() == 1; }, 1500));
  now += TKestServerCore::kLoginTimeoutMs;
  EXPECT_TRUE(PumpUntil([&] { return form.Core().LoggedInCount() == 1; }, 20000));
  EXPECT_EQ(form.Connections(), 1);
}

// A soak: a flood of unknown words that never pauses, a client that asks
// and never reads, and a slow-loris client that sends a line a byte at a
// time, beside a normal client whose every request must be answered. The
// server's own buffers stay within their limits throughout.
TEST_F(ServerLimits, SoakOfHostileClientsBesideANormalOne) {
  TKestServerForm form(0);
  const int port = form.ListeningPort();
  std::atomic<bool> stop{false};
  std::atomic<long long> flooded{0};
  std::atomic<int> answered{0}, unanswered{0};
  std::atomic<bool> sleeperClosed{false};
  constexpr int kRequests = 100;

  auto connect = [port](TWireClient& c) { return c.Connect("127.0.0.1", port, 10000); };
  std::vector<std::thread> clients;
  clients.emplace_back([&] {  // the flood
    TWireClient c;
    if (!connect(c)) return;
    std::string words;
    while (words.size() < 64 * 1024) words += "XYZZY " + std::to_string(words.size()) + ":0\r\n";
    while (!stop && SendFor(c.Fd(), words, 200)) flooded += static_cast<long long>(words.size());
  });
  clients.emplace_back([&] {  // asks and never reads
    TWireClient c;
    if (!connect(c)) return;
    c.SendCommand(kest::proto::CmdLogin(LongName(1), "f"), 0);
    auto login = c.WaitFor([](const TWireLine& l) { return l.word == "LOGIN"; }, 30000);
    if (!login) return;
    std::string asks;
    while (asks.size() < 16 * 1024) asks += kest::proto::ClientLine("RUSER 0", login->user) + "\r\n";
    while (!stop && !sleeperClosed)
      if (!SendFor(c.Fd(), asks, 200)) sleeperClosed = true;
  });
  clients.emplace_back([&] {  // slow loris: one byte at a time, never a line end
    TWireClient c;
    if (!connect(c)) return;
    const std::string line = kest::proto::ClientLine(kest::proto::CmdLogin("Loris", "f"), 0);
    for (size_t i = 0; !stop; i = (i + 1) % line.size()) {
      if (line[i] != '\r' && !SendFor(c.Fd(), line.substr(i, 1), 200)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  clients.emplace_back([&] {  // the normal client
    TWireClient c;
    if (!connect(c)) return;
    c.SendCommand(kest::proto::CmdLogin(LongName(0), "f"), 0);
    auto login = c.WaitFor([](const TWireLine& l) { return l.word == "LOGIN"; }, 30000);
    if (!login) return;
    for (int i = 0; i < kRequests && !stop; ++i) {
      const std::string room = std::to_string(1 + i % 24);
      c.SendCommand("RUSER " + room, login->user);
      if (c.WaitWord("RUSEREND", login->user, 30000))
        ++answered;
      else
        ++unanswered;
    }
  });

  size_t most = 0;
  PumpUntil([&] {
    most = std::max(most, form.LargestBuffers());
    return answered + unanswered == kRequests && sleeperClosed;
  }, 180000);
  stop = true;
  testloop::PumpFor(300);  // let the client threads see the stop
  for (auto& t : clients) t.join();

  EXPECT_EQ(answered, kRequests);
  EXPECT_LE(most, kBufferBound);
  EXPECT_GT(flooded.load(), 0);
  EXPECT_TRUE(sleeperClosed);
}

namespace {

// The game's own client socket, with the receive limit the game sets,
// logged in and seated at a table; it records what arrives.
struct TGameClient {
  TGameClient(TKestServerForm& form, const std::string& name) {
    socket.Address = "127.0.0.1";
    socket.Port = form.ListeningPort();
    socket.SetMaxRecvSize(kest::proto::kMaxLineSize);
    socket.OnConnect = [this, name](plat::TObject*, plat::TCustomWinSocket*) {
      socket.Send(kest::proto::ClientLine(kest::proto::CmdLogin(name, "f"), 0));
    };
    socket.OnDisconnect = [this](plat::TObject*, plat::TCustomWinSocket*) { closed = true; };
    socket.OnError = [](plat::TObject*, plat::TCustomWinSocket*, plat::TErrorEvent, int& code) { code = 0; };
    socket.OnLineArrived = [this](plat::TObject*, plat::TCustomWinSocket*, const std::string& l) {
      lines.push_back(l);
    };
    socket.SetActive(true);
  }
  size_t Count(const std::string& prefix) const {
    return size_t(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }
  kest::TLineClientSocket socket;
  std::vector<std::string> lines;
  bool closed = false;
};

}  // namespace

// Another player's burst of long chat lines, each well within what the
// server takes, reaches the game's client whole, and the client stays
// connected; so does a chat text as long as the server takes, which
// arrives cut to the line bound.
TEST_F(ServerLimits, BurstOfLongChatLinesKeepsTheReceiverConnected) {
  TKestServerForm form(0);
  TGameClient a(form, "A");
  ASSERT_TRUE(PumpUntil([&] { return a.Count("LOGIN:") == 1; }));
  a.socket.Send(kest::proto::ClientLine(kest::proto::CmdChroom(1), 0));
  auto b = Login(form, "B");
  b->SendCommand(kest::proto::CmdChroom(1), 1);
  ASSERT_TRUE(PumpUntil([&] { return form.Core().Room(1).MemberCount() == 2; }));

  std::string burst;
  for (int i = 0; i < 16; ++i)
    burst += kest::proto::ClientLine(kest::proto::CmdChat(1, std::string(20000, char('a' + i))), 1) + "\r\n";
  ASSERT_TRUE(b->SendRaw(burst));
  EXPECT_TRUE(PumpUntil([&] { return a.Count("PRINT ") == 16 || a.closed; }, 20000));
  EXPECT_FALSE(a.closed);
  EXPECT_EQ(a.Count("PRINT "), 16u);

  // The longest CHAT line the server takes.
  const std::string head = "CHAT 1,\x08", tail = "\x08:1";
  std::string text;  // two-byte characters only
  while (text.size() + 2 <= size_t(kest::proto::kMaxLineSize) - head.size() - tail.size()) text += "\x82\xa0";
  ASSERT_TRUE(b->SendRaw(head + text + tail + "\r\r\n"));
  EXPECT_TRUE(PumpUntil([&] { return a.Count("PRINT ") == 17 || a.closed; }, 20000));
  EXPECT_FALSE(a.closed);
  ASSERT_EQ(a.Count("PRINT "), 17u);
  const std::string& cut = a.lines.back();
  EXPECT_LE(cut.size() + 2, size_t(kest::proto::kMaxLineSize));
  // Cut between characters: the text keeps whole two-byte pairs.
  const std::string prefix = "PRINT \x08[B] ";
  ASSERT_EQ(cut.rfind(prefix, 0), 0u);
  const size_t end = cut.rfind('\x08');
  EXPECT_EQ((end - prefix.size()) % 2, 0u);
  EXPECT_EQ(cut.substr(end), "\x08:0");
}
