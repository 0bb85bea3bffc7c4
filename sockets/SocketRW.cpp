#include "SocketRW.h"

#include "LoopGuard.h"

#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace kest {
namespace {

constexpr uint8_t kCR = 0x0D;
constexpr uint8_t kLF = 0x0A;

// "パケットサイズが MaxRecvSize を超えました"
const char kRecvLimitPassed[] =
    "\x83\x70\x83\x50\x83\x62\x83\x67\x83\x54\x83\x43\x83\x59\x82\xaa MaxRecvSize "
    "\x82\xf0\x92\xb4\x82\xa6\x82\xdc\x82\xb5\x82\xbd";
// "既にパケット書き込み中です."
const char kPacketAlreadyOpen[] =
    "\x8a\xf9\x82\xc9\x83\x70\x83\x50\x83\x62\x83\x67\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x92\x86\x82\xc5\x82\xb7.";
// "パケット書き込み中ではありません."
const char kPacketNotOpen[] =
    "\x83\x70\x83\x50\x83\x62\x83\x67\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x92\x86\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82"
    "\xdc\x82\xb9\x82\xf1.";
// "パケットの長さが不正です."
const char kBadPacketLength[] =
    "\x83\x70\x83\x50\x83\x62\x83\x67\x82\xcc\x92\xb7\x82\xb3\x82\xaa\x95\x73\x90\xb3\x82\xc5\x82\xb7.";

struct DepthScope {
  explicit DepthScope(int& n) : n_(n) { ++n_; }
  ~DepthScope() { --n_; }
  int& n_;
};

}  // namespace

// --- TCustomSocketRW --------------------------------------------------------

TCustomSocketRW::TCustomSocketRW(TCustomWinSocket* socket, bool hookEvents)
    : stream_(socket, true), hooked_(hookEvents) {
  SetSocket(socket);
}

TCustomSocketRW::~TCustomSocketRW() { SetSocket(nullptr); }

void TCustomSocketRW::SetSocket(TCustomWinSocket* socket) {
  if (socket_ && hooked_) socket_->OnSocketEvent = std::move(saved_);
  saved_ = nullptr;
  socket_ = socket;
  stream_.SetSocket(socket);
  if (socket_ && hooked_) {
    saved_ = std::move(socket_->OnSocketEvent);
    socket_->OnSocketEvent = [this](TObject* Sender, TCustomWinSocket* Socket, TSocketEvent event) {
      SocketEvent(Sender, Socket, event);
    };
  }
}

void TCustomSocketRW::SocketEvent(TObject* Sender, TCustomWinSocket* Socket, TSocketEvent event) {
  if (event == plat::seConnect) {
    recv_.Clear();
    send_.Clear();
    ResetFraming();
  }
  if (event == plat::seConnect || event == plat::seDisconnect) ++generation_;
  // A failing handler is reported; the engine still does its part.
  if (saved_) plat::GuardedCall([&] { saved_(Sender, Socket, event); });
  switch (event) {
    case plat::seConnect: ConnectEvent(Sender, Socket); break;
    case plat::seDisconnect: DisconnectEvent(Sender, Socket); break;
    case plat::seWrite:
      WriteEvent(Sender, Socket);
      DoWrite();
      break;
    case plat::seRead: ReadLoop(Sender, Socket); break;
    default: break;
  }
}

void TCustomSocketRW::ConnectEvent(TObject*, TCustomWinSocket*) {}
void TCustomSocketRW::DisconnectEvent(TObject*, TCustomWinSocket*) {}
void TCustomSocketRW::WriteEvent(TObject*, TCustomWinSocket*) {}

void TCustomSocketRW::ReadLoop(TObject* Sender, TCustomWinSocket* Socket) {
  const uint32_t gen = generation_;
  // Scratch for one read, so that a receive buffer grows only by what arrived.
  thread_local std::vector<uint8_t> chunk(kMaxReadPerEvent);
  for (int32_t budget = kMaxReadPerEvent; budget > 0;) {
    const int32_t got = stream_.Read(chunk.data(), budget);
    if (got <= 0) break;
    try {
      recv_.Write(chunk.data(), got);
    } catch (const std::exception& e) {
      // The buffer cannot grow any more (about 1 GiB without a unit end).
      CloseWithError(e.what());
    }
    const bool drained = got < budget;  // asking again would only cost a call
    budget -= got;
    ReadEvent(Sender, Socket);
    if (generation_ != gen || drained) break;
  }
}

void TCustomSocketRW::CloseIfPastRecvLimit(int64_t size) {
  if (MaxRecvSize > 0 && size > MaxRecvSize) CloseWithError(kRecvLimitPassed);
}

void TCustomSocketRW::CloseWithError(const std::string& message) {
  // What was received is dropped, never delivered.
  recv_.Clear();
  ResetFraming();
  if (socket_) socket_->Close();
  throw ESocketError(message);
}

void TCustomSocketRW::DoWrite() {
  if (send_.Count() > 0) send_.WriteToStream(stream_);
}

// --- TLineSocketRW ----------------------------------------------------------

void TLineSocketRW::Send(const std::string& line) {
  send_.Write(line.data(), static_cast<int32_t>(line.size()));
  send_.Write("\r\n", 2);
  DoWrite();
}

void TLineSocketRW::SendStream(TStream& stream, int32_t count) {
  send_.ReadFromStream(stream, count);
  send_.Write("\r\n", 2);
  DoWrite();
}

void TLineSocketRW::ReadEvent(TObject*, TCustomWinSocket*) {
  const uint32_t gen = generation_;
  for (;;) {
    if (pendingCR_ && recv_.Count() > 0) {
      if (recv_.GetData(0) == kLF) recv_.AdvanceHead(1);
      pendingCR_ = 0;
    }
    const int32_t size = recv_.Count();
    const uint8_t* p = recv_.Data();
    int32_t i = scanOffset_ < size ? scanOffset_ : size;
    while (i < size && p[i] != kCR && p[i] != kLF && p[i] != 0) ++i;
    if (MaxLineLength > 0 && i > MaxLineLength) {  // i is the line's length, ended or not
      LineTooLong();
      return;
    }
    CloseIfPastRecvLimit(i);
    if (i >= size) {
      scanOffset_ = size;
      return;
    }
    const uint8_t terminator = p[i];
    std::string line(reinterpret_cast<const char*>(p), static_cast<size_t>(i));
    recv_.AdvanceHead(i + 1);
    scanOffset_ = 0;
    if (terminator == kCR) {
      if (recv_.Count() == 0)
        pendingCR_ = 1;
      else if (recv_.GetData(0) == kLF)
        recv_.AdvanceHead(1);
    }
    if (OnLineArrived) {
      DepthScope depth(depth_);
      // A failing handler is reported and the next line still arrives.
      plat::GuardedCall([&] { OnLineArrived(this, socket_, line); });
    }
    if (generation_ != gen) return;
  }
}

void TLineSocketRW::LineTooLong() {
  recv_.Clear();
  ResetFraming();
  if (OnLineTooLong) plat::GuardedCall([&] { OnLineTooLong(this, socket_); });
  if (socket_ && socket_->IsOpen()) socket_->Close();
}

void TLineSocketRW::DisconnectEvent(TObject* Sender, TCustomWinSocket* Socket) {
  // A line handler that closes its own connection wants no more of it.
  if (depth_ > 0 && socket_ && socket_->ClosedByProgram()) {
    recv_.Clear();
    ResetFraming();
    return;
  }
  if (recv_.Count() == 0) return;
  const uint32_t gen = generation_;
  ReadEvent(Sender, Socket);
  if (generation_ != gen || recv_.Count() == 0) return;
  const uint8_t nul = 0;
  recv_.Write(&nul, 1);
  ReadEvent(Sender, Socket);
}

// --- TPacketSocketRW --------------------------------------------------------

namespace {

void PutLength(TPipedMemoryStream& s, int32_t at, int32_t n) {
  const auto v = static_cast<uint32_t>(n);
  for (int b = 0; b < 4; ++b) s.SetData(at + b, static_cast<uint8_t>(v >> (8 * b)));
}

}  // namespace

void TPacketSocketRW::AppendPacket(TStream& payload, int32_t count) {
  const int32_t at = send_.Count();
  const uint8_t zero[4] = {};
  send_.Write(zero, 4);
  const int32_t got = count > 0 ? send_.ReadFromStream(payload, count) : 0;
  PutLength(send_, at, got);
}

void TPacketSocketRW::Send(const void* data, int32_t size) {
  if (size < 0) throw std::invalid_argument("TPacketSocketRW::Send: negative size");
  TConstMemoryStream payload(data, size);
  AppendPacket(payload, size);
  DoWrite();
}

void TPacketSocketRW::SendStream(TStream& stream, int32_t count) {
  if (count == 0) count = stream.Size();
  if (count <= 0) return;
  AppendPacket(stream, count);
  DoWrite();
}

TStream& TPacketSocketRW::PacketBegin() {
  if (packetOpen_) throw Exception(kPacketAlreadyOpen);
  packet_.Clear();
  packetOpen_ = true;
  return packet_;
}

void TPacketSocketRW::PacketEnd() {
  if (!packetOpen_) throw Exception(kPacketNotOpen);
  packetOpen_ = false;
  if (packet_.Count() == 0) return;  // nothing written: no packet
  AppendPacket(packet_, packet_.Count());
  packet_.Clear();
  DoWrite();
}

void TPacketSocketRW::PacketDiscard() {
  packet_.Clear();
  packetOpen_ = false;
}

void TPacketSocketRW::ReadEvent(TObject*, TCustomWinSocket*) {
  const uint32_t gen = generation_;
  while (recv_.Count() >= 4) {
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b) v |= static_cast<uint32_t>(recv_.GetData(b)) << (8 * b);
    const auto n = static_cast<int32_t>(v);
    const int64_t total = 4 + static_cast<int64_t>(n);
    // A negative length, or one whose packet could never be buffered, is
    // a protocol error.
    if (n < 0 || total > INT32_MAX) CloseWithError(kBadPacketLength);
    CloseIfPastRecvLimit(total);
    // A packet is taken only while more than its length is buffered, so an
    // empty one that is all there is waits for the next bytes.
    if (recv_.Count() <= 4 || recv_.Count() < total) return;
    // The payload is copied out and dropped from the buffer before the
    // call, so a handler that pumps the loop neither sees it twice nor
    // loses it when the buffer moves.
    std::vector<uint8_t> payload(recv_.Data() + 4, recv_.Data() + total);
    recv_.AdvanceHead(static_cast<int32_t>(total));
    if (OnPacketArrived) plat::GuardedCall([&] { OnPacketArrived(this, socket_, payload.data(), n); });
    if (generation_ != gen) return;
  }
}

}  // namespace kest
