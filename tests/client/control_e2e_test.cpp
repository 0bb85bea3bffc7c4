// Client processes driven through their test control sockets against the
// server program: a whole game of two, one wrong accusation, one right.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <QApplication>
#include "ClientTestUtil.h"
#include "ServerProcess.h"

namespace {

namespace fs = std::filesystem;
using velmora::test::FreePort;
using velmora::test::TServerProcess;

// A client process with its own folder, logged in from its settings.
class ClientProcess {
 public:
  // extraEnv entries ("NAME=value") replace the defaults below.
  ClientProcess(const std::string& tag, const std::string& name, int port, std::vector<std::string> extraEnv = {}) {
    home_ = fs::temp_directory_path() / ("velmora_ctl_" + std::to_string(::getpid()) + "_" + tag);
    fs::remove_all(home_);
    fs::create_directories(home_ / "faces");
    clienttest::WriteFace(home_ / "faces" / "f.bmp", qRgb(200, 0, 0));
    clienttest::WriteFace(home_ / "faces" / "unknown.bmp", qRgb(90, 90, 90));
    std::ofstream(home_ / "velmora.ini", std::ios::binary)
        << "[Server]\r\nIPADDR=127.0.0.1\r\nPORT=" << port << "\r\n[User]\r\nNAME=" << name << "\r\nFACE=f\r\n";
    socket_ = (home_ / "control").string();
    std::vector<std::string> env = std::move(extraEnv);
    const std::vector<std::string> defaults = {"QT_QPA_PLATFORM=offscreen", "VELMORA_HOME=" + home_.string(),
                                               "VELMORA_AUTOLOGIN=1", "VELMORA_TEST_CONTROL=" + socket_,
                                               "VELMORA_MIDI=null", "VELMORA_SOUND=null"};
    for (const std::string& d : defaults) {
      bool given = false;
      for (const std::string& e : env) given = given || e.rfind(d.substr(0, d.find('=') + 1), 0) == 0;
      if (!given) env.push_back(d);
    }
    process_ = std::make_unique<velmora::proc::TChildProcess>(VELMORA_CLIENT_PATH, std::vector<std::string>{},
                                                              std::move(env), (home_ / "stderr.txt").string());
  }
  const fs::path& Home() const { return home_; }
  velmora::proc::TChildProcess& Process() { return *process_; }
  ~ClientProcess() {
    process_->Kill();
    fs::remove_all(home_);
  }
  bool Connect() { return process_->Running() && control_.Connect(socket_, 5); }
  // Sends one command; the answer line, or "" after two seconds.
  std::string Ask(const std::string& command) { return control_.Ask(command, 2000); }
  // Asks for the state until it holds every word of want (ten seconds at most).
  bool WaitState(const std::vector<std::string>& want, std::string* last = nullptr) {
    for (int i = 0; i < 500; ++i) {
      std::string s = Ask("state") + " ";
      if (last) *last = s;
      bool all = true;
      for (const auto& w : want) all = all && s.find(w) != std::string::npos;
      if (all) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  std::vector<int> Hand() {
    std::istringstream in(Ask("state").substr(Ask("state").find(" hand") + 5));
    std::vector<int> h;
    for (int c; in >> c;) h.push_back(c);
    return h;
  }

 private:
  fs::path home_;
  std::string socket_;
  std::unique_ptr<velmora::proc::TChildProcess> process_;
  velmora::proc::TControlClient control_;
};

TEST(ControlE2E, TwoProcessesPlayToLoseAndWin) {
  clienttest::App();
  int port = FreePort();
  TServerProcess server(port, {"VELMORA_SEED=77"});
  bool up = false;
  for (int i = 0; i < 250 && !(up = velmora::proc::PortOpen(port)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(up);
  ClientProcess a("a", "anna", port);
  ASSERT_TRUE(a.Connect());
  std::string st;
  ASSERT_TRUE(a.WaitState({"STATE 1 seat 0", " start"}, &st)) << st;
  ClientProcess b("b", "ben", port);
  ASSERT_TRUE(b.Connect());
  ASSERT_TRUE(b.WaitState({"STATE 1 seat 1"}, &st)) << st;
  // Anna starts once she has Ben at her table.
  bool seated = false;
  for (int i = 0; i < 500 && !(seated = a.Ask("members") == "MEMBERS 2"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(seated) << a.Ask("members");
  EXPECT_NE(a.Ask("click start").find("STATE"), std::string::npos);
  ASSERT_TRUE(a.WaitState({"STATE 2 ", " die"}, &st)) << st;
  ASSERT_TRUE(b.WaitState({"STATE 2 "}, &st)) << st;
  std::vector<int> ha = a.Hand(), hb = b.Hand();
  ASSERT_EQ(ha.size() + hb.size(), 18u);
  bool held[40] = {};
  for (int c : ha) held[c] = true;
  for (int c : hb) held[c] = true;
  int sol[4] = {-1, -1, -1, -1};
  for (int c = 10; c < 39; ++c)
    if (c % 10 <= (c / 10 == 3 ? 8 : 5) && !held[c]) sol[c / 10] = c % 10;

  // Anna rolls, then accuses with her own room card: out.
  a.Ask("click die");
  ASSERT_TRUE(a.WaitState({"STATE 2 ", " up"}, &st)) << st;
  a.Ask("click accuse");
  ASSERT_TRUE(a.WaitState({"picker"}, &st)) << st;
  a.Ask("pick " + std::to_string(ha[0] % 10) + " " + std::to_string(sol[1]) + " " + std::to_string(sol[2]));
  ASSERT_TRUE(a.WaitState({"STATE 6 ", " out"}, &st)) << st;
  EXPECT_EQ(st.find(" winner"), std::string::npos) << st;
  EXPECT_EQ(st.find(" accuse"), std::string::npos);
  a.Ask("click out");
  ASSERT_TRUE(b.WaitState({"STATE 10 ", " out"}, &st)) << st;
  b.Ask("click out");  // confirms; ben's turn
  ASSERT_TRUE(b.WaitState({"STATE 2 ", "turn 1", " accuse"}, &st)) << st;
  b.Ask("click accuse");
  ASSERT_TRUE(b.WaitState({"picker"}, &st)) << st;
  b.Ask("pick " + std::to_string(sol[3]) + " " + std::to_string(sol[1]) + " " + std::to_string(sol[2]));
  ASSERT_TRUE(a.WaitState({"STATE 1 ", " result"}, &st)) << st;
  // The outcome closes the line: the winner, then the seats out.
  EXPECT_NE(st.find(" winner 1 out 0 "), std::string::npos) << st;
  ASSERT_TRUE(b.WaitState({"STATE 1 ", " result"}, &st)) << st;
  EXPECT_EQ(a.Ask("result").find(" result"), std::string::npos);
  EXPECT_EQ(b.Ask("result").find(" result"), std::string::npos);
  ASSERT_TRUE(a.WaitState({"STATE 1 ", " start"}, &st)) << st;
}

// A listening socket that stands in for the server: it takes one connection
// and reads what arrives.
class StandInServer {
 public:
  explicit StandInServer(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    listening_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 1) == 0;
  }
  ~StandInServer() {
    if (conn_ >= 0) ::close(conn_);
    ::close(fd_);
  }
  bool Listening() const { return listening_; }
  // Reads until text has arrived; false after ms.
  bool WaitFor(const std::string& text, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (received_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end || !ReadSome(50)) return false;
    }
    return true;
  }
  // True when the client closes its end within ms.
  bool WaitClosed(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
      if (!ReadSome(50)) return conn_ >= 0;
    return false;
  }

 private:
  // False once the connection has closed.
  bool ReadSome(int ms) {
    if (conn_ < 0) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, ms) > 0) conn_ = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      return true;
    }
    pollfd p{conn_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return true;
    char buf[512];
    ssize_t n = ::read(conn_, buf, sizeof buf);
    if (n <= 0) return false;
    received_.append(buf, size_t(n));
    return true;
  }
  int fd_ = -1, conn_ = -1;
  bool listening_ = false;
  std::string received_;
};

// With the sound on through SDL, SIGTERM and SIGINT end the client as closing
// its window does: the settings are saved and the connection is closed.
TEST(ControlE2E, TermAndIntEndTheClientAsItsWindowCloses) {
  clienttest::App();
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    int port = FreePort();
    StandInServer server(port);
    ASSERT_TRUE(server.Listening());
    ClientProcess c("sig" + std::to_string(sig), "anna", port, {"VELMORA_SOUND=sdl", "SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(c.Connect());
    ASSERT_TRUE(server.WaitFor("LOGIN ", 10000));
    c.Process().Signal(sig);
    EXPECT_EQ(c.Process().WaitExit(10000), 0);
    EXPECT_TRUE(server.WaitClosed(2000));
    std::ifstream ini(c.Home() / "velmora.ini", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("KOKUSOMODE="), std::string::npos) << text;
    std::ifstream err(c.Home() / "stderr.txt");
    std::string errors((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_EQ(errors.find("no sound"), std::string::npos) << errors;
  }
}

// A program folder without faces/unknown.bmp: the client says which file is
// missing and ends.
TEST(ControlE2E, MissingUnknownFaceEndsTheProgramNamingTheFile) {
  fs::path home = fs::temp_directory_path() / ("velmora_nounknown_" + std::to_string(::getpid()));
  fs::remove_all(home);
  fs::create_directories(home / "faces");
  clienttest::App();
  clienttest::WriteFace(home / "faces" / "f.bmp", qRgb(200, 0, 0));
  velmora::proc::TChildProcess c(VELMORA_CLIENT_PATH, {},
                                 {"QT_QPA_PLATFORM=offscreen", "VELMORA_HOME=" + home.string(), "VELMORA_MIDI=null",
                                  "VELMORA_SOUND=null"},
                                 (home / "stderr.txt").string());
  EXPECT_EQ(c.WaitExit(10000), 1);
  std::ifstream err(home / "stderr.txt");
  std::string errors((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_NE(errors.find((home / "faces" / "unknown.bmp").string()), std::string::npos) << errors;
  fs::remove_all(home);
}

}  // namespace
