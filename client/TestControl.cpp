#include "TestControl.h"

#include <QComboBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolButton>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "CardSelForm.h"
#include "CardShowForm.h"
#include "KekkaForm.h"
#include "KestClientForm.h"
#include "ScriptHost.h"

namespace client {

TTestControl::TTestControl(TKestClientForm* main, const std::string& path) : main_(main), path_(path) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) {
    std::fprintf(stderr, "velmora: test control path too long\n");
    return;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
    std::fprintf(stderr, "velmora: test control cannot listen at %s: %s\n", path.c_str(), std::strerror(errno));
    ::close(fd);
    return;
  }
  listenFd_ = fd;
  acceptNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(acceptNotifier_.get(), &QSocketNotifier::activated, this, [this] { Accept(); });
}

TTestControl::~TTestControl() {
  for (auto& p : peers_) ::close(p->fd);
  peers_.clear();
  if (listenFd_ >= 0) {
    acceptNotifier_.reset();
    ::close(listenFd_);
    ::unlink(path_.c_str());
  }
}

void TTestControl::Accept() {
  int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  auto peer = std::make_unique<Peer>();
  peer->fd = fd;
  peer->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(peer->notifier.get(), &QSocketNotifier::activated, this, [this, fd] { Read(fd); });
  peers_.push_back(std::move(peer));
}

void TTestControl::Drop(int fd) {
  for (auto& p : peers_)
    if (p->fd == fd) {
      p->notifier->setEnabled(false);
      // Freed from the event loop, never inside its own notification.
      QSocketNotifier* n = p->notifier.release();
      n->deleteLater();
      ::close(fd);
      p->fd = -1;
    }
  std::erase_if(peers_, [](const auto& p) { return p->fd < 0; });
}

void TTestControl::Read(int fd) {
  Peer* peer = nullptr;
  for (auto& p : peers_)
    if (p->fd == fd) peer = p.get();
  if (!peer) return;
  char buf[512];
  ssize_t n = ::read(fd, buf, sizeof buf);
  if (n <= 0) {
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) Drop(fd);
    return;
  }
  peer->buffer.append(buf, size_t(n));
  if (peer->buffer.size() > 4096) {
    Drop(fd);
    return;
  }
  size_t pos;
  while ((pos = peer->buffer.find('\n')) != std::string::npos) {
    std::string line = peer->buffer.substr(0, pos);
    peer->buffer.erase(0, pos + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string answer;
    try {
      answer = Execute(line) + "\n";
    } catch (const std::exception& e) {
      answer = std::string("ERROR ") + e.what() + "\n";
    }
    // Small answers to a local peer; a full socket drops the peer.
    if (::write(fd, answer.data(), answer.size()) != ssize_t(answer.size())) {
      Drop(fd);
      return;
    }
  }
}

std::string TTestControl::StateLine() const {
  TKestClientForm& m = *main_;
  std::ostringstream s;
  s << "STATE " << int(m.Game.State()) << " seat " << m.Game.MySeat() << " turn " << m.Game.TurnSeat() << " place " << m.Game.Walk().place
    << " x " << m.Game.Walk().x << " y " << m.Game.Walk().y << " steps " << m.Game.Walk().steps << " enabled";
  struct {
    const char* name;
    QWidget* w;
  } controls[] = {{"die", m.MoveButton},     {"suggest", m.SuiriButton}, {"accuse", m.KokusoButton},
                  {"out", m.OutButton},      {"start", m.StartButton},   {"up", m.UpSpdButton},
                  {"down", m.DownSpdButton}, {"left", m.LeftSpdButton},  {"right", m.RightSpdButton},
                  {"up2", m.Up2SpdButton},   {"down2", m.Down2SpdButton}};
  for (auto& c : controls)
    if (c.w->isEnabled() && !c.w->isHidden()) s << " " << c.name;
  if (m.Forms().cardSelForm && m.Forms().cardSelForm->isVisible()) s << " picker";
  if (m.Forms().cardShowForm && m.Forms().cardShowForm->isVisible())
    s << " cardshow:" << m.Forms().cardShowForm->Pictures.size();
  if (m.Forms().kekkaForm && m.Forms().kekkaForm->isVisible()) s << " result";
  s << " hand";
  for (int i = 0; i < m.Game.LocalUser().hand.CardCount(); ++i) s << " " << m.Game.LocalUser().hand.CardAt(i).WireCode();
  if (m.Game.Winner() >= 0) {
    s << " winner " << m.Game.Winner();
  } else if (m.Game.Ended()) {
    s << " end";
  }
  bool out = false;
  for (int seat = 0; seat < 6; ++seat) {
    if (!m.Game.SeatsOut()[size_t(seat)]) continue;
    if (!out) s << " out";
    out = true;
    s << " " << seat;
  }
  return s.str();
}

std::string TTestControl::Execute(const std::string& command) {
  TKestClientForm& m = *main_;
  std::istringstream in(command);
  std::string word;
  in >> word;
  if (word == "click") {
    std::string name;
    in >> name;
    const std::pair<const char*, QAbstractButton*> buttons[] = {
        {"die", m.MoveButton},      {"suggest", m.SuiriButton},  {"accuse", m.KokusoButton},
        {"out", m.OutButton},       {"start", m.StartButton},    {"up", m.UpSpdButton},
        {"down", m.DownSpdButton},  {"left", m.LeftSpdButton},   {"right", m.RightSpdButton},
        {"up2", m.Up2SpdButton},    {"down2", m.Down2SpdButton}};
    QAbstractButton* b = nullptr;
    for (const auto& [n, w] : buttons)
      if (name == n) b = w;
    if (!b) return "ERROR unknown control " + name;
    if (!b->isEnabled() || b->isHidden()) return "ERROR disabled " + name;
    b->click();
  } else if (word == "pick") {
    int room = 0, person = 0, weapon = 0;
    in >> room >> person >> weapon;
    TCardSelForm* p = m.Forms().cardSelForm;
    if (!p || !p->isVisible()) return "ERROR no picker";
    if (p->PlaceBox->isEnabled()) p->PlaceBox->setCurrentIndex(room);
    p->HumanBox->setCurrentIndex(person);
    p->WeaponBox->setCurrentIndex(weapon);
    p->OkBtnClick();
  } else if (word == "pickcancel") {
    TCardSelForm* p = m.Forms().cardSelForm;
    if (!p || !p->isVisible()) return "ERROR no picker";
    p->Button1Click();
  } else if (word == "show") {
    int index = 0;
    in >> index;
    TCardShowForm* d = m.Forms().cardShowForm;
    if (!d || !d->isVisible()) return "ERROR no card-show dialog";
    d->CardClick(index);
    d->OkButtonClick();
  } else if (word == "result") {
    TKekkaForm* k = m.Forms().kekkaForm;
    if (!k || !k->isVisible()) return "ERROR no result";
    k->OKButtonClick();
  } else if (word == "scripts") {
    const npc::TScriptHost* h = m.ScriptHost();
    if (!h) return "ERROR no scripts";
    const npc::TScriptStats& st = h->Stats();
    std::ostringstream s;
    s << "SCRIPTS events " << st.events << " longest_us " << st.longestUs << " failed " << st.failed << " stopped "
      << st.stopped;
    return s.str();
  } else if (word == "members") {
    // The members seated at the table as this client has them, so that a test
    // can wait for another client's arrival before it starts the game.
    return "MEMBERS " + std::to_string(m.Game.PlayerCount());
  } else if (word != "state") {
    return "ERROR unknown command " + word;
  }
  return StateLine();
}

std::unique_ptr<TTestControl> StartTestControl(TKestClientForm* main) {
  const char* path = std::getenv("VELMORA_TEST_CONTROL");
  if (!path || !*path) return nullptr;
  auto c = std::make_unique<TTestControl>(main, path);
  if (!c->Listening()) return nullptr;
  return c;
}

}  // namespace client
