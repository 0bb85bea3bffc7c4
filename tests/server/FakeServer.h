// In-process connections for driving the server core, and a recorder of
// every copy the server sends, in order, with the connection it went to.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Protocol.h"
#include "ServerCore.h"

namespace velmora::test {

struct TSent {
  std::string conn;  // the connection's name
  std::string line;
  bool operator==(const TSent& o) const { return conn == o.conn && line == o.line; }
};

inline std::ostream& operator<<(std::ostream& os, const TSent& s) {
  std::string shown;
  for (char c : s.line) shown += c == '\x08' ? std::string("<BS>") : c == '\r' ? std::string("<CR>") : std::string(1, c);
  return os << s.conn << ": " << shown;
}

class TFakeConn : public TServerConnection {
 public:
  TFakeConn(std::string name, std::vector<TSent>* wire) : name_(std::move(name)), wire_(wire) {}

  bool SendLine(const std::string& text) override {
    if (onSend) std::exchange(onSend, nullptr)(text);  // one shot
    if (failSends) return false;
    wire_->push_back({name_, text});
    return true;
  }
  bool SendRaw(const std::string& bytes) override {
    wire_->push_back({name_, "RAW " + bytes});
    return true;
  }
  bool Connected() const override { return connected; }
  void Close() override {
    closed = true;
    if (onClose) onClose();
  }

  const std::string& Name() const { return name_; }
  bool connected = true;
  bool closed = false;
  bool failSends = false;
  std::function<void()> onClose;  // the transport's disconnect event
  std::function<void(const std::string&)> onSend;  // runs before the next send, once

 private:
  std::string name_;
  std::vector<TSent>* wire_;
};

class ServerFixture : public ::testing::Test {
 protected:
  TFakeConn* Connect(const std::string& name) {
    conns_.push_back(std::make_unique<TFakeConn>(name, &wire_));
    TFakeConn* c = conns_.back().get();
    c->onClose = [this, c] {
      c->connected = false;
      core_.ClientDisconnect(c);
    };
    core_.ClientConnect(c);
    return c;
  }

  // A client command as it reaches the server: the line, then the empty
  // line that its CR CR LF ending makes.
  void Cmd(TFakeConn* c, const std::string& text, int user) {
    core_.LineArrived(c, kest::proto::Addressed(text, user));
    core_.LineArrived(c, "");
  }

  // Logs in and returns the user number the LOGIN answer carried.
  int Login(TFakeConn* c, const std::string& name, const std::string& face = "f") {
    const size_t mark = wire_.size();
    Cmd(c, kest::proto::CmdLogin(name, face), 0);
    for (size_t i = mark; i < wire_.size(); ++i)
      if (wire_[i].conn == c->Name() && wire_[i].line.rfind("LOGIN:", 0) == 0)
        return std::stoi(wire_[i].line.substr(6));
    return -1;
  }

  int AddCom(TFakeConn* host, int hostNo, const std::string& name, int command = kest::proto::cmAddCom,
             int cpuType = 1) {
    const size_t mark = wire_.size();
    Cmd(host, kest::proto::CmdAddCom(command, name, "cf", cpuType), hostNo);
    for (size_t i = mark; i < wire_.size(); ++i)
      if (wire_[i].line.rfind("LOGIN:", 0) == 0) return std::stoi(wire_[i].line.substr(6));
    return -1;
  }

  // What was sent since the last call.
  std::vector<TSent> Take() {
    std::vector<TSent> out(wire_.begin() + long(taken_), wire_.end());
    taken_ = wire_.size();
    return out;
  }
  void Skip() { taken_ = wire_.size(); }

  bool LogHas(const std::string& text) const {
    for (const auto& l : core_.Log())
      if (l == text) return true;
    return false;
  }

  std::vector<TSent> wire_;
  size_t taken_ = 0;
  std::vector<std::unique_ptr<TFakeConn>> conns_;  // outlive the core's records
  TKestServerCore core_;
};

// Builds expected transcripts: Room(copies, line) gives one copy per
// (connection, user number), in that order.
struct TExpect {
  std::vector<TSent> lines;
  TExpect& To(const std::string& conn, const std::string& text, int user) {
    lines.push_back({conn, kest::proto::Addressed(text, user)});
    return *this;
  }
  TExpect& Raw(const std::string& conn, const std::string& bytes) {
    lines.push_back({conn, "RAW " + bytes});
    return *this;
  }
  // One copy to each (connection, user) pair, in the order given.
  TExpect& Each(const std::vector<std::pair<std::string, int>>& to, const std::string& text) {
    for (const auto& [c, u] : to) To(c, text, u);
    return *this;
  }
};

}  // namespace velmora::test
