#include "Streams.h"

#include <netdb.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>

namespace kest {

int32_t TStream::Size() {
  const int32_t pos = Seek(0, soCurrent);
  const int32_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

// --- TPipedMemoryStream -----------------------------------------------------

TPipedMemoryStream::TPipedMemoryStream(int32_t capacity) : capacity_(std::max<int32_t>(capacity, 1)) {
  base_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(capacity_)));
  if (!base_) throw std::bad_alloc();
}

TPipedMemoryStream::~TPipedMemoryStream() { std::free(base_); }

int32_t TPipedMemoryStream::Read(void* buf, int32_t count) {
  const int32_t n = std::clamp<int32_t>(count, 0, Count());
  if (n > 0) std::memcpy(buf, base_ + head_, static_cast<size_t>(n));
  AdvanceHead(n);
  return n;
}

int32_t TPipedMemoryStream::Write(const void* buf, int32_t count) {
  if (count <= 0) return 0;
  Reserve(count);
  std::memcpy(base_ + end_, buf, static_cast<size_t>(count));
  end_ += count;
  return count;
}

int32_t TPipedMemoryStream::Seek(int32_t offset, TSeekOrigin origin) {
  if (origin == soBeginning || (origin == soCurrent && offset != 0)) {
    AdvanceHead(offset);
    return 0;
  }
  if (origin == soEnd && offset == 0) return Count();
  return 0;
}

void TPipedMemoryStream::SetSize(int32_t n) { end_ = head_ + std::clamp<int32_t>(n, 0, capacity_ - head_); }

void TPipedMemoryStream::AdvanceHead(int32_t n) {
  if (n <= 0) return;
  head_ += std::min(n, Count());
  const int32_t left = Count();
  if (left == 0) {
    head_ = end_ = 0;
  } else if (head_ > 0 && static_cast<double>(left) < capacity_ / 3.0) {
    std::memmove(base_, base_ + head_, static_cast<size_t>(left));
    head_ = 0;
    end_ = left;
  }
}

void TPipedMemoryStream::Reserve(int32_t k) {
  if (static_cast<int64_t>(end_) + k <= capacity_) return;
  const int32_t size = Count();
  const int64_t needed = 2 * static_cast<int64_t>(size) + k;
  if (needed > INT32_MAX) throw std::length_error("TPipedMemoryStream: buffer would exceed 2 GiB");
  if (size > 0 && head_ > 0) std::memmove(base_, base_ + head_, static_cast<size_t>(size));
  head_ = 0;
  end_ = size;
  if (needed > capacity_) {
    auto* grown = static_cast<uint8_t*>(std::realloc(base_, static_cast<size_t>(needed)));
    if (!grown) throw std::bad_alloc();
    base_ = grown;
    capacity_ = static_cast<int32_t>(needed);
  }
}

int32_t TPipedMemoryStream::ReadFromStream(TStream& stream, int32_t count) {
  if (count == 0) count = stream.Size();
  if (count <= 0) return 0;
  Reserve(count);
  const int32_t got = stream.Read(base_ + end_, count);
  if (got > 0) end_ += std::min(got, count);
  return std::max(got, 0);
}

bool TPipedMemoryStream::ReadFromStreamUntil(TStream& stream, int32_t limit) {
  const int32_t available = stream.Size();
  if (available <= 0) return false;
  const int32_t want = std::min<int64_t>(available, static_cast<int64_t>(limit) - Count());
  if (want <= 0) return true;
  return ReadFromStream(stream, want) == want;
}

int32_t TPipedMemoryStream::WriteToStream(TStream& stream, int32_t count) {
  if (count == 0) count = Count();
  count = std::min(count, Count());
  if (count <= 0) return 0;
  const int32_t taken = std::clamp(stream.Write(base_ + head_, count), 0, count);
  AdvanceHead(taken);
  return taken;
}

// --- TConstMemoryStream -----------------------------------------------------

void TConstMemoryStream::SetBuffer(const void* buffer, int32_t size) {
  buffer_ = static_cast<const uint8_t*>(buffer);
  size_ = std::max<int32_t>(size, 0);
  position_ = 0;
}

int32_t TConstMemoryStream::Read(void* buf, int32_t count) {
  const int32_t n = std::clamp<int32_t>(count, 0, size_ - position_);
  if (n > 0) std::memcpy(buf, buffer_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TConstMemoryStream::Write(const void*, int32_t) {
  // "バッファは書き込み禁止です."
  throw Exception("\x83\x6f\x83\x62\x83\x74\x83\x40\x82\xcd\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x8b\xd6\x8e\x7e\x82\xc5\x82\xb7.");
}

int32_t TConstMemoryStream::Seek(int32_t offset, TSeekOrigin origin) {
  int64_t pos = offset;
  if (origin == soCurrent) pos += position_;
  if (origin == soEnd) pos += size_;
  position_ = static_cast<int32_t>(std::clamp<int64_t>(pos, 0, size_));
  return position_;
}

// --- TNonBlockingSocketStream -----------------------------------------------

TNonBlockingSocketStream::TNonBlockingSocketStream(TCustomWinSocket* socket) : socket_(socket) {
  if (socket && !socket->NonBlocking()) throw ESocketError("Socket mode must be NonBlocking.");
}

int32_t TNonBlockingSocketStream::Read(void* buf, int32_t count) {
  if (!socket_ || !socket_->Connected()) return 0;
  return std::max(socket_->ReceiveBuf(buf, count), 0);
}

int32_t TNonBlockingSocketStream::Write(const void* buf, int32_t count) {
  if (!socket_ || !socket_->Connected()) return 0;
  return std::max(socket_->SendBuf(buf, count), 0);
}

namespace {

// Seek of both socket streams: the size is what waits in the socket; a
// forward seek reads and discards.
int32_t SocketSeek(TStream& self, TCustomWinSocket* socket, int32_t offset, TSeekOrigin origin) {
  if (!socket) return 0;
  if (origin == soEnd && offset == 0) return socket->ReceiveLength();
  if (origin == soCurrent && offset > 0) {
    char scratch[4096];
    int32_t left = std::min(offset, socket->ReceiveLength());
    while (left > 0) {
      const int32_t got = self.Read(scratch, std::min<int32_t>(left, sizeof scratch));
      if (got <= 0) break;
      left -= got;
    }
  }
  return 0;
}

}  // namespace

int32_t TNonBlockingSocketStream::Seek(int32_t offset, TSeekOrigin origin) {
  return SocketSeek(*this, socket_, offset, origin);
}

// --- TBlockingSocketStream --------------------------------------------------

TBlockingSocketStream::TBlockingSocketStream(TCustomWinSocket* socket) : socket_(socket) {
  if (socket && socket->NonBlocking()) throw ESocketError("Socket mode must be Blocking.");
}

int32_t TBlockingSocketStream::Read(void* buf, int32_t count) {
  if (!socket_ || !socket_->Connected()) return 0;
  if (UseLock) socket_->Lock();
  int32_t total = 0;
  try {
    while (total < count) {
      if (!WaitForRead()) break;
      const int got = socket_->ReceiveBuf(static_cast<char*>(buf) + total, count - total);
      if (got < 0) {
        SocketError(plat::eeReceive);
        break;
      }
      if (got == 0) break;
      total += got;
    }
  } catch (...) {
    if (UseLock) socket_->Unlock();
    throw;
  }
  if (UseLock) socket_->Unlock();
  return total;
}

int32_t TBlockingSocketStream::Write(const void* buf, int32_t count) {
  if (!socket_ || !socket_->Connected()) return 0;
  if (UseLock) socket_->Lock();
  int32_t total = 0;
  try {
    while (total < count) {
      if (!WaitForWrite()) break;
      const int sent = socket_->SendBuf(static_cast<const char*>(buf) + total, count - total);
      if (sent < 0) {
        SocketError(plat::eeSend);
        break;
      }
      if (sent == 0) break;
      total += sent;
    }
  } catch (...) {
    if (UseLock) socket_->Unlock();
    throw;
  }
  if (UseLock) socket_->Unlock();
  return total;
}

int32_t TBlockingSocketStream::Seek(int32_t offset, TSeekOrigin origin) {
  return SocketSeek(*this, socket_, offset, origin);
}

bool TBlockingSocketStream::Wait(short events, int32_t ms) {
  if (!socket_ || socket_->SocketHandle() < 0) return false;
  pollfd p{socket_->SocketHandle(), events, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, ms < 0 ? -1 : ms);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

bool TBlockingSocketStream::WaitForRead(int32_t ms) { return Wait(POLLIN, ms); }
bool TBlockingSocketStream::WaitForWrite(int32_t ms) { return Wait(POLLOUT, ms); }

void TBlockingSocketStream::SocketError(plat::TErrorEvent kind) {
  lastError_ = socket_->LastError();
  if (lastError_ == 0) return;
  int code = lastError_;
  if (OnSocketError) OnSocketError(this, socket_, code, kind);
  if (code != 0) throw ESocketError(plat::SocketErrorMessage(code, kind));
}

// --- Name functions ---------------------------------------------------------

namespace {

std::string CanonicalName(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return {};
  std::string name = res->ai_canonname ? res->ai_canonname : "";
  freeaddrinfo(res);
  return name;
}

}  // namespace

std::string GetLocalHostName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return {};
  return buf;
}

std::string GetNBComputerName() { return GetLocalHostName().substr(0, 15); }

std::string GetNBUserName() {
  char buf[1024];
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &found) != 0 || !found) return {};
  return std::string(found->pw_name).substr(0, 99);
}

std::string GetLocalFQHostName() {
  const std::string host = GetLocalHostName();
  return host.empty() ? std::string() : CanonicalName(host);
}

std::string GetLocalFQHostName(TCustomWinSocket* socket) {
  if (!socket || socket->SocketHandle() < 0) return {};
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (getsockname(socket->SocketHandle(), reinterpret_cast<sockaddr*>(&a), &len) != 0) return {};
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&a), len, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) return {};
  return CanonicalName(host);
}

std::string GetLocalHostAddress() {
  const std::string host = GetLocalHostName();
  if (host.empty()) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return {};
  char buf[NI_MAXHOST] = {};
  const int rc = getnameinfo(res->ai_addr, res->ai_addrlen, buf, sizeof buf, nullptr, 0, NI_NUMERICHOST);
  freeaddrinfo(res);
  return rc == 0 ? buf : "";
}

std::string GetLocalHostAddress(TCustomWinSocket* socket) { return socket ? socket->LocalAddress() : ""; }

std::string GetFileMimeType(const std::string& fileName, const std::string& tablePath) {
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == fileName.size())
    return "*";
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string ext = lower(fileName.substr(dot + 1));
  std::ifstream table(tablePath);
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string type, word;
    words >> type;
    while (words >> word)
      if (lower(word) == ext) return type;
  }
  return "*";
}

std::string GetFileMimeType(const std::string& fileName) { return GetFileMimeType(fileName, "/etc/mime.types"); }

}  // namespace kest
