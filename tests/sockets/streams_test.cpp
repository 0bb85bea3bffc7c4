#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "SocketComponents.h"
#include "Streams.h"
#include "../plat/TestLoop.h"

using namespace kest;

namespace {

std::string Take(TPipedMemoryStream& s, int32_t n) {
  std::string out(static_cast<size_t>(n), '\0');
  out.resize(static_cast<size_t>(s.Read(out.data(), n)));
  return out;
}

void Put(TPipedMemoryStream& s, const std::string& bytes) { s.Write(bytes.data(), static_cast<int32_t>(bytes.size())); }

}  // namespace

TEST(PipedMemoryStream, GrowthAndCompactionFigures) {
  {
    // 100 bytes left of 3100 (under a third of 4096) move to the start.
    TPipedMemoryStream s;
    Put(s, std::string(3000, 'a') + std::string(100, 'b'));
    Take(s, 3000);
    EXPECT_EQ(s.HeadOffset(), 0);
    EXPECT_EQ(s.Count(), 100);
    EXPECT_EQ(Take(s, 200), std::string(100, 'b'));
  }
  {
    TPipedMemoryStream s;
    Put(s, std::string(5000, 'x'));
    EXPECT_EQ(s.Capacity(), 5000);
    Take(s, 1000);  // 4000 left, not under a third: stays in place
    EXPECT_EQ(s.HeadOffset(), 1000);
    Put(s, std::string(3000, 'y'));
    EXPECT_EQ(s.Capacity(), 11000);
    EXPECT_EQ(s.HeadOffset(), 0);
    EXPECT_EQ(Take(s, 7000), std::string(4000, 'x') + std::string(3000, 'y'));
  }
  {
    // A write that fits once the bytes move to the start does not grow.
    TPipedMemoryStream s;
    Put(s, std::string(4000, 'a'));
    Take(s, 2500);
    EXPECT_EQ(s.HeadOffset(), 2500);
    Put(s, std::string(500, 'b'));
    EXPECT_EQ(s.Capacity(), 4096);
    EXPECT_EQ(s.HeadOffset(), 0);
    EXPECT_EQ(Take(s, 2000), std::string(1500, 'a') + std::string(500, 'b'));
    EXPECT_EQ(s.Count(), 0);
  }
}

TEST(PipedMemoryStream, SeekConsumesAndClamps) {
  TPipedMemoryStream s;
  Put(s, "0123456789");
  EXPECT_EQ(s.Size(), 10);  // asking the size consumes nothing
  EXPECT_EQ(s.Seek(2, soBeginning), 0);
  EXPECT_EQ(s.Seek(1, soCurrent), 0);
  EXPECT_EQ(s.Seek(-5, soCurrent), 0);
  EXPECT_EQ(s.Seek(0, soEnd), 7);
  EXPECT_EQ(Take(s, 2), "34");
  s.AdvanceHead(-1);
  s.AdvanceHead(1000000);  // clamps to what is buffered
  EXPECT_EQ(s.Count(), 0);
  Put(s, "abc");
  EXPECT_EQ(Take(s, 3), "abc");
  Put(s, "abcdef");
  s.SetSize(2);
  EXPECT_EQ(Take(s, 10), "ab");
  Put(s, "xyz");
  s.SetData(1, 'Y');
  EXPECT_EQ(s.GetData(1), 'Y');
  s.Clear();
  EXPECT_EQ(s.Count(), 0);
}

TEST(PipedMemoryStream, StreamToStream) {
  TPipedMemoryStream a, b;
  TConstMemoryStream src("hello world", 11);
  EXPECT_EQ(a.ReadFromStream(src, 5), 5);
  EXPECT_EQ(a.ReadFromStream(src), 6);  // the rest
  EXPECT_EQ(a.ReadFromStream(src), 0);  // empty: nothing
  EXPECT_EQ(a.WriteToStream(b, 100), 11);  // clamps to the own size
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(Take(b, 20), "hello world");

  TConstMemoryStream more("abcdefgh", 8);
  Put(a, "12");
  EXPECT_TRUE(a.ReadFromStreamUntil(more, 5));  // takes 3
  EXPECT_EQ(Take(a, 10), "12abc");
  Put(a, "12345");
  EXPECT_TRUE(a.ReadFromStreamUntil(more, 5));  // already at the limit
  EXPECT_EQ(a.Count(), 5);
  TConstMemoryStream none;
  EXPECT_FALSE(a.ReadFromStreamUntil(none, 100));
}

TEST(ConstMemoryStream, ReadSeekAndRefusedWrite) {
  const char data[] = "abcdef";
  TConstMemoryStream s(data, 6);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(s.Read(buf, 4), 2);
  EXPECT_EQ(s.Seek(-2, soEnd), 4);
  EXPECT_EQ(s.Seek(10, soCurrent), 6);
  EXPECT_EQ(s.Seek(-10, soBeginning), 0);
  EXPECT_EQ(s.Size(), 6);
  try {
    s.Write("x", 1);
    ADD_FAILURE();
  } catch (const plat::Exception& e) {
    // "バッファは書き込み禁止です."
    EXPECT_STREQ(e.what(), "\x83\x6f\x83\x62\x83\x74\x83\x40\x82\xcd\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x8b\xd6\x8e\x7e\x82\xc5\x82\xb7.");
  }
}

TEST(FileMimeType, FromTable) {
  char path[] = "/tmp/velmora_mime_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  std::ofstream(path) << "# comment\ntext/plain\t\ttxt text\nimage/jpeg jpeg jpg\napplication/x-empty\n";
  const struct {
    const char* name;
    const char* type;
  } cases[] = {
      {"readme", "*"},      {"notes.txt", "text/plain"}, {"PHOTO.JPG", "image/jpeg"},
      {"a.unknown", "*"},   {"dir.d/file", "*"},         {"trailing.", "*"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetFileMimeType(c.name, path), c.type) << c.name;
  std::remove(path);
  EXPECT_EQ(GetFileMimeType("noext"), "*");
}

TEST(NameFunctions, LocalNames) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(GetLocalHostName(), host);
  EXPECT_EQ(GetNBComputerName(), std::string(host).substr(0, 15));
  EXPECT_FALSE(GetNBUserName().empty());
}

TEST(SocketStreams, ModeChecks) {
  plat::TClientWinSocket blocking(plat::ctBlocking), nonBlocking(plat::ctNonBlocking);
  try {
    TNonBlockingSocketStream s(&blocking);
    ADD_FAILURE();
  } catch (const plat::ESocketError& e) {
    EXPECT_STREQ(e.what(), "Socket mode must be NonBlocking.");
  }
  try {
    TBlockingSocketStream s(&nonBlocking);
    ADD_FAILURE();
  } catch (const plat::ESocketError& e) {
    EXPECT_STREQ(e.what(), "Socket mode must be Blocking.");
  }
  TNonBlockingSocketStream s(&nonBlocking);
  char c;
  EXPECT_EQ(s.Read(&c, 1), 0);  // not connected
  EXPECT_EQ(s.Write("x", 1), 0);
}

TEST(SocketStreams, BlockingStreamTalksToALineServer) {
  using testloop::WaitUntil;
  TLineServerSocket server;
  std::vector<std::string> lines;
  TCustomWinSocket* peer = nullptr;
  server.OnClientConnect = [&](plat::TObject*, TCustomWinSocket* s) { peer = s; };
  server.OnLineArrived = [&](plat::TObject*, TCustomWinSocket*, const std::string& l) { lines.push_back(l); };
  server.SetActive(true);

  plat::TClientWinSocket client(plat::ctBlocking);
  client.Open("", "127.0.0.1", "", server.LocalPort());
  ASSERT_TRUE(client.Connected());
  EXPECT_EQ(GetLocalHostAddress(&client), "127.0.0.1");
  TBlockingSocketStream stream(&client);
  stream.UseLock = true;
  EXPECT_EQ(stream.Write("hello\r\n", 7), 7);
  ASSERT_TRUE(WaitUntil([&] { return !lines.empty() && peer; }));
  EXPECT_EQ(lines[0], "hello");

  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(stream.WaitForRead(300));  // nothing sent yet
  EXPECT_GE(clock.elapsed(), 250);
  EXPECT_LT(clock.elapsed(), 3000);

  server.Send(peer, "abc");
  char buf[5] = {};
  EXPECT_EQ(stream.Read(buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "abc\r\n");
  EXPECT_EQ(stream.Size(), 0);
}
