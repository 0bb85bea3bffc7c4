// Line and packet framing of the read/write engines, driven over a local
// socket pair so that each read sees exactly the bytes a test feeds.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SocketRW.h"

using kest::TLineSocketRW;
using kest::TPacketSocketRW;
using plat::TCustomWinSocket;

namespace {

// One end of a socket pair served by an engine; the test writes to the
// other end and raises the read and disconnect notifications itself.
template <class RW>
struct Pipe {
  Pipe() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    peer = fds[1];
    sock = std::make_unique<TCustomWinSocket>(fds[0]);
    sock->OnSocketEvent = [this](plat::TObject*, TCustomWinSocket*, plat::TSocketEvent e) { events.push_back(e); };
    rw = std::make_unique<RW>(sock.get());
  }
  ~Pipe() {
    rw.reset();
    sock.reset();
    ::close(peer);
  }
  void Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(peer, bytes.data() + done, bytes.size() - done);
      ASSERT_GT(n, 0);
      done += static_cast<size_t>(n);
    }
  }
  void Feed(const std::string& bytes) {
    Write(bytes);
    rw->SocketEvent(sock.get(), sock.get(), plat::seRead);
  }
  void Disconnect() { rw->SocketEvent(sock.get(), sock.get(), plat::seDisconnect); }
  // What the engine sent to the peer so far.
  std::string Sent() {
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(peer, buf, sizeof buf, MSG_DONTWAIT)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
  }

  int peer = -1;
  std::unique_ptr<TCustomWinSocket> sock;
  std::unique_ptr<RW> rw;
  std::vector<plat::TSocketEvent> events;
};

struct LinePipe : Pipe<TLineSocketRW> {
  LinePipe() {
    rw->OnLineArrived = [this](plat::TObject*, TCustomWinSocket*, const std::string& l) { lines.push_back(l); };
  }
  std::vector<std::string> lines;
};

using Lines = std::vector<std::string>;

std::string B(const char* s, size_t n) { return std::string(s, n); }

struct FramingCase {
  const char* name;
  std::vector<std::string> reads;
  bool disconnect;
  Lines expected;
};

const std::vector<FramingCase>& FramingCases() {
  static const std::vector<FramingCase> cases = {
      {"crlf pairs in one read", {"A\r\nB\r\n"}, false, {"A", "B"}},
      {"crlf split across reads", {"A\r", "\nB\n"}, false, {"A", "B"}},
      {"cr then lone lf", {"A\r", "\n"}, false, {"A"}},
      {"lf cr gives an empty line", {"A\n\rB\r"}, false, {"A", "", "B"}},
      {"nul ends a line", {B("A\0B\n", 4)}, false, {"A", "B"}},
      {"cr cr", {"A\r\rB\n"}, false, {"A", "", "B"}},
      {"cr nul", {B("A\r\0", 3)}, false, {"A", ""}},
      {"empty lines", {"\r\n\n"}, false, {"", ""}},
      {"shift-jis bytes pass unchanged", {"\x83\x5c\x95\x5c\r\n"}, false, {"\x83\x5c\x95\x5c"}},
      {"unterminated line at disconnect", {"XYZ"}, true, {"XYZ"}},
      {"cr at disconnect", {"XYZ\r"}, true, {"XYZ"}},
      {"line then rest at disconnect", {"A\nXY", "Z"}, true, {"A", "XYZ"}},
      {"nothing at disconnect", {}, true, {}},
  };
  return cases;
}

Lines Frame(const std::vector<std::string>& reads, bool disconnect) {
  LinePipe p;
  for (const auto& r : reads) p.Feed(r);
  if (disconnect) p.Disconnect();
  return p.lines;
}

}  // namespace

TEST(LineFraming, Cases) {
  for (const auto& c : FramingCases()) EXPECT_EQ(Frame(c.reads, c.disconnect), c.expected) << c.name;
}

// The same bytes cut into two or three reads at every position give the
// same lines as one read.
TEST(LineFraming, EverySplitGivesTheSameLines) {
  for (const auto& c : FramingCases()) {
    std::string all;
    for (const auto& r : c.reads) all += r;
    const Lines whole = Frame({all}, true);
    for (size_t i = 0; i <= all.size(); ++i) {
      for (size_t j = i; j <= all.size(); ++j) {
        const Lines split = Frame({all.substr(0, i), all.substr(i, j - i), all.substr(j)}, true);
        ASSERT_EQ(split, whole) << c.name << " split at " << i << "," << j;
      }
    }
  }
}

TEST(LineFraming, LongLineArrivesWholeAcrossManyReads) {
  LinePipe p;
  const std::string big(100000, 'q');
  for (size_t at = 0; at < big.size(); at += 997) p.Feed(big.substr(at, 997));
  EXPECT_TRUE(p.lines.empty());
  p.Feed("\r\n");
  ASSERT_EQ(p.lines.size(), 1u);
  EXPECT_EQ(p.lines[0], big);
}

// One read notification takes at most 64 KiB from the socket and delivers
// every complete line among them; the rest waits for the next notification,
// so a peer that never pauses cannot hold the loop.
TEST(LineFraming, OneNotificationReadsABoundedChunk) {
  LinePipe p;
  std::string all;
  Lines expected;
  for (int i = 0; all.size() < 100 * 1024; ++i) {
    expected.push_back("line " + std::to_string(i));
    all += expected.back() + "\r\n";
  }
  p.Feed(all);
  size_t delivered = 0;
  for (const auto& l : p.lines) delivered += l.size() + 2;
  ASSERT_FALSE(p.lines.empty());
  EXPECT_EQ(delivered + size_t(p.rw->RecvBuffer().Count()), size_t(kest::TCustomSocketRW::kMaxReadPerEvent));
  for (int n = 0; n < 10 && p.lines.size() < expected.size(); ++n)
    p.rw->SocketEvent(p.sock.get(), p.sock.get(), plat::seRead);
  EXPECT_EQ(p.lines, expected);
}

// With a line limit, a longer line closes the connection whether or not its
// end has arrived, and is never delivered.
TEST(LineFraming, LineLimit) {
  const std::string limit(1000, 'a'), longer(1001, 'b');
  const struct {
    const char* name;
    std::string bytes;
    Lines lines;
    bool closes;
  } cases[] = {
      {"a line as long as the limit", "ok\n" + limit + "\r\nnext\n", {"ok", limit, "next"}, false},
      {"the limit still unterminated", "ok\n" + limit, {"ok"}, false},
      {"a longer complete line", "ok\n" + longer + "\r\nnext\n", {"ok"}, true},
      {"a longer unterminated rest", "ok\n" + longer, {"ok"}, true},
  };
  for (const auto& c : cases) {
    LinePipe p;
    p.rw->MaxLineLength = 1000;
    int told = 0;
    p.rw->OnLineTooLong = [&](plat::TObject*, TCustomWinSocket*) { ++told; };
    p.Feed(c.bytes);
    EXPECT_EQ(p.lines, c.lines) << c.name;
    EXPECT_EQ(p.sock->IsOpen(), !c.closes) << c.name;
    EXPECT_EQ(told, c.closes ? 1 : 0) << c.name;
  }
}

TEST(LineFraming, SendAddsCrLf) {
  LinePipe p;
  p.rw->Send("HELLO");
  p.rw->Send("");
  kest::TPipedMemoryStream empty;
  p.rw->SendStream(empty);
  kest::TPipedMemoryStream body;
  body.Write("abcdef", 6);
  p.rw->SendStream(body, 3);
  EXPECT_EQ(p.Sent(), "HELLO\r\n\r\n\r\nabc\r\n");
  EXPECT_EQ(body.Count(), 3);
}

// The receive limit bounds one unit, ended or not: complete lines waiting
// to be handled do not add up, however many arrive at once.
TEST(LineFraming, ReceiveLimit) {
  auto lines = [](size_t each, size_t total) {
    std::string s;
    while (s.size() < total) s += std::string(each, 'a') + "\r\n";
    return s;
  };
  const struct {
    const char* name;
    int buffered;  // unterminated bytes already read
    std::string more;
    bool trips;
  } cases[] = {
      {"exactly the limit", 60000, std::string(5536, 'y'), false},
      {"one byte over", 60000, std::string(5537, 'y'), true},
      {"60000 and 6000 more", 60000, std::string(6000, 'y'), true},
      {"a burst of short lines", 0, lines(1, 100000), false},
      {"a burst of long lines", 0, lines(20000, 5 * 20002), false},
      {"a unit ended within the limit, then a long one", 60000, std::string(5000, 'y') + "\n" + lines(60000, 1), false},
      {"one complete line over the limit", 0, std::string(65537, 'z') + "\r\n", true},
  };
  for (const auto& c : cases) {
    LinePipe p;
    p.rw->MaxRecvSize = 65536;
    if (c.buffered) p.Feed(std::string(c.buffered, 'x'));
    p.Write(c.more);
    if (!c.trips) {
      // One notification reads a bounded chunk; the rest comes with the next.
      for (int n = 0; n < 20; ++n)
        EXPECT_NO_THROW(p.rw->SocketEvent(p.sock.get(), p.sock.get(), plat::seRead)) << c.name;
      EXPECT_TRUE(p.sock->Connected()) << c.name;
      // Every byte but the line ends arrived, in lines or still buffered.
      size_t got = size_t(p.rw->RecvBuffer().Count());
      for (const auto& l : p.lines) got += l.size();
      const auto ends = size_t(std::count_if(c.more.begin(), c.more.end(), [](char ch) { return ch == '\r' || ch == '\n'; }));
      EXPECT_EQ(got, size_t(c.buffered) + c.more.size() - ends)
          << c.name;
      continue;
    }
    try {
      for (int n = 0; n < 20; ++n) p.rw->SocketEvent(p.sock.get(), p.sock.get(), plat::seRead);
      ADD_FAILURE() << "no error: " << c.name;
    } catch (const plat::ESocketError& e) {
      // "パケットサイズが MaxRecvSize を超えました"
      EXPECT_STREQ(e.what(),
                   "\x83\x70\x83\x50\x83\x62\x83\x67\x83\x54\x83\x43\x83\x59\x82\xaa MaxRecvSize "
                   "\x82\xf0\x92\xb4\x82\xa6\x82\xdc\x82\xb5\x82\xbd");
    }
    EXPECT_FALSE(p.sock->IsOpen()) << c.name;
    // The socket's own disconnect handler ran, and the discarded rest was
    // never delivered as a line.
    ASSERT_FALSE(p.events.empty());
    EXPECT_EQ(p.events.back(), plat::seDisconnect);
    EXPECT_TRUE(p.lines.empty()) << c.name;
  }
}

// A handler that feeds more bytes (as a pumped loop would) sees every line
// once and in order.
TEST(LineFraming, NestedReadsDeliverEachLineOnceInOrder) {
  LinePipe p;
  bool nested = false;
  p.rw->OnLineArrived = [&](plat::TObject*, TCustomWinSocket*, const std::string& l) {
    p.lines.push_back(l);
    if (l == "1" && !nested) {
      nested = true;
      p.Feed("3\r");
      p.Feed("\n4\n5");
    }
  };
  p.Feed("1\n2\n");
  p.Feed("\n6\n");
  EXPECT_EQ(p.lines, (Lines{"1", "2", "3", "4", "5", "6"}));
}

TEST(LineFraming, CloseInsideHandlerStopsDelivery) {
  LinePipe p;
  p.rw->OnLineArrived = [&](plat::TObject*, TCustomWinSocket*, const std::string& l) {
    p.lines.push_back(l);
    if (l == "QUIT") p.sock->Close();
  };
  p.Feed("A\nQUIT\nB\nC");
  EXPECT_EQ(p.lines, (Lines{"A", "QUIT"}));
  EXPECT_EQ(p.rw->RecvBuffer().Count(), 0);
}

// --- packets -----------------------------------------------------------------

namespace {

struct PacketPipe : Pipe<TPacketSocketRW> {
  PacketPipe() {
    rw->OnPacketArrived = [this](plat::TObject*, TCustomWinSocket*, const void* d, int32_t n) {
      packets.emplace_back(static_cast<const char*>(d), static_cast<size_t>(n));
    };
  }
  std::vector<std::string> packets;
};

std::string Len(int32_t n) {
  const auto v = static_cast<uint32_t>(n);
  std::string s(4, '\0');
  for (int b = 0; b < 4; ++b) s[b] = static_cast<char>(v >> (8 * b));
  return s;
}

}  // namespace

// A packet is taken only while more than its 4 length bytes are buffered,
// so an empty packet that is all there is waits for the next bytes.
TEST(PacketFraming, ReceivesSplitAndZeroLengthPackets) {
  PacketPipe p;
  p.Feed(Len(3) + "ab");
  EXPECT_TRUE(p.packets.empty());
  p.Feed("c" + Len(0));
  EXPECT_EQ(p.packets, (Lines{"abc"}));
  EXPECT_EQ(p.rw->RecvBuffer().Count(), 4);
  p.Feed(Len(2).substr(0, 3));
  EXPECT_EQ(p.packets, (Lines{"abc", ""}));
  p.Feed(Len(2).substr(3) + "xy" + Len(1) + "z");
  EXPECT_EQ(p.packets, (Lines{"abc", "", "xy", "z"}));
}

TEST(PacketFraming, BadLengthsCloseTheConnection) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"negative", Len(-1) + "abcd"},
      {"minimum", Len(INT32_MIN)},
      {"can never be buffered", Len(INT32_MAX) + "a"},
      {"4 + length overflows 32 bits", Len(INT32_MAX - 2) + "a"},
  };
  for (const auto& c : cases) {
    PacketPipe p;
    EXPECT_THROW(p.Feed(c.bytes), plat::ESocketError) << c.name;
    EXPECT_FALSE(p.sock->IsOpen()) << c.name;
    EXPECT_TRUE(p.packets.empty()) << c.name;
  }
  // A large but possible length just waits for its payload.
  PacketPipe p;
  EXPECT_NO_THROW(p.Feed(Len(INT32_MAX - 4) + "abc"));
  EXPECT_TRUE(p.sock->IsOpen());
  EXPECT_TRUE(p.packets.empty());
}

TEST(PacketFraming, SendFormsAndOpenPackets) {
  PacketPipe p;
  p.rw->Send("hi", 2);
  p.rw->Send(nullptr, 0);
  kest::TPipedMemoryStream empty;
  p.rw->SendStream(empty);  // nothing
  EXPECT_EQ(p.Sent(), Len(2) + "hi" + Len(0));

  // A send between PacketBegin and PacketEnd goes out first and leaves the
  // open packet intact.
  kest::TStream& s = p.rw->PacketBegin();
  s.Write("abc", 3);
  p.rw->Send("Z", 1);
  s.Write("de", 2);
  p.rw->DoWrite();
  p.rw->PacketEnd();
  EXPECT_EQ(p.Sent(), Len(1) + "Z" + Len(5) + "abcde");

  p.rw->PacketBegin();
  p.rw->PacketEnd();  // no payload: nothing sent
  p.rw->PacketBegin().Write("gone", 4);
  p.rw->PacketDiscard();
  EXPECT_EQ(p.Sent(), "");

  p.rw->PacketBegin();
  try {
    p.rw->PacketBegin();
    ADD_FAILURE();
  } catch (const plat::Exception& e) {
    // "既にパケット書き込み中です."
    EXPECT_STREQ(e.what(),
                 "\x8a\xf9\x82\xc9\x83\x70\x83\x50\x83\x62\x83\x67\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x92\x86\x82\xc5\x82"
                 "\xb7.");
  }
  p.rw->PacketDiscard();
  try {
    p.rw->PacketEnd();
    ADD_FAILURE();
  } catch (const plat::Exception& e) {
    // "パケット書き込み中ではありません."
    EXPECT_STREQ(e.what(),
                 "\x83\x70\x83\x50\x83\x62\x83\x67\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x92\x86\x82\xc5\x82\xcd\x82\xa0\x82"
                 "\xe8\x82\xdc\x82\xb9\x82\xf1.");
  }
}

TEST(PacketFraming, HandlerFeedingMoreBytesSeesEachPacketOnce) {
  PacketPipe p;
  bool nested = false;
  p.rw->OnPacketArrived = [&](plat::TObject*, TCustomWinSocket*, const void* d, int32_t n) {
    p.packets.emplace_back(static_cast<const char*>(d), static_cast<size_t>(n));
    if (!nested) {
      nested = true;
      p.Feed(Len(2) + "cd" + std::string(20000, '\0'));  // forces the buffer to move
      EXPECT_EQ(std::string(static_cast<const char*>(d), static_cast<size_t>(n)), "ab");
    }
  };
  p.Feed(Len(2) + "ab");
  ASSERT_GE(p.packets.size(), 2u);
  EXPECT_EQ(p.packets[0], "ab");
  EXPECT_EQ(p.packets[1], "cd");
}
