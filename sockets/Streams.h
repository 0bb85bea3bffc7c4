// Streams of the socket library: a FIFO memory stream, a read-only stream
// over a caller's buffer, streams over non-blocking and blocking sockets,
// and the host and user name functions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "WinSocket.h"

namespace kest {

using plat::ESocketError;
using plat::Exception;
using plat::TCustomWinSocket;

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// Base of every stream: read, write, seek, size.
class TStream : public plat::TObject {
 public:
  virtual int32_t Read(void* buf, int32_t count) = 0;
  virtual int32_t Write(const void* buf, int32_t count) = 0;
  virtual int32_t Seek(int32_t offset, TSeekOrigin origin) = 0;
  int32_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int32_t pos) { Seek(pos, soBeginning); }
  int32_t Size();
};

// A FIFO in memory: writes append, reads consume. The position is always 0
// and the size is what is buffered.
class TPipedMemoryStream : public TStream {
 public:
  TPipedMemoryStream() : TPipedMemoryStream(4096) {}
  explicit TPipedMemoryStream(int32_t capacity);
  ~TPipedMemoryStream() override;
  TPipedMemoryStream(const TPipedMemoryStream&) = delete;
  TPipedMemoryStream& operator=(const TPipedMemoryStream&) = delete;

  int32_t Read(void* buf, int32_t count) override;
  int32_t Write(const void* buf, int32_t count) override;
  int32_t ReadFromBuffer(const void* buf, int32_t count) { return Write(buf, count); }
  int32_t Seek(int32_t offset, TSeekOrigin origin) override;
  // Cuts (or extends up to the capacity) the buffered bytes to n.
  void SetSize(int32_t n);
  void Clear() { head_ = end_ = 0; }
  // Drops n bytes from the head (at most what is buffered).
  void AdvanceHead(int32_t n);

  // Appends count bytes (0: the other stream's size) read from the other
  // stream's current position; returns how many arrived.
  int32_t ReadFromStream(TStream& stream, int32_t count = 0);
  // Appends min(the other stream's size, limit - own size) bytes; false if
  // the other stream is empty.
  bool ReadFromStreamUntil(TStream& stream, int32_t limit);
  // Offers count bytes (0: everything) to the other stream and drops what
  // it took; returns that count.
  int32_t WriteToStream(TStream& stream, int32_t count = 0);

  uint8_t GetData(int32_t i) const { return base_[head_ + i]; }
  void SetData(int32_t i, uint8_t b) { base_[head_ + i] = b; }
  int32_t Capacity() const { return capacity_; }
  int32_t Count() const { return end_ - head_; }
  // Offset of the head from the start of the buffer.
  int32_t HeadOffset() const { return head_; }
  // The buffered bytes; valid until the next write or drop.
  const uint8_t* Data() const { return base_ + head_; }

 private:
  // Makes room for k more bytes at the end.
  void Reserve(int32_t k);

  int32_t capacity_;
  uint8_t* base_;
  int32_t head_ = 0;
  int32_t end_ = 0;
};

// A read-only stream over a buffer it does not own.
class TConstMemoryStream : public TStream {
 public:
  TConstMemoryStream() = default;
  TConstMemoryStream(const void* buffer, int32_t size) { SetBuffer(buffer, size); }
  void SetBuffer(const void* buffer, int32_t size);
  int32_t Read(void* buf, int32_t count) override;
  int32_t Write(const void* buf, int32_t count) override;  // raises Exception
  int32_t Seek(int32_t offset, TSeekOrigin origin) override;

 private:
  const uint8_t* buffer_ = nullptr;
  int32_t size_ = 0;
  int32_t position_ = 0;
};

// A stream over a non-blocking socket: reads and writes move what the socket
// takes now; the size is the number of bytes waiting.
class TNonBlockingSocketStream : public TStream {
 public:
  // Raises ESocketError when the socket is blocking.
  explicit TNonBlockingSocketStream(TCustomWinSocket* socket);
  // Without the mode check (for the read/write engines).
  TNonBlockingSocketStream(TCustomWinSocket* socket, bool /*unchecked*/) : socket_(socket) {}
  void SetSocket(TCustomWinSocket* socket) { socket_ = socket; }
  TCustomWinSocket* Socket() const { return socket_; }
  int32_t Read(void* buf, int32_t count) override;
  int32_t Write(const void* buf, int32_t count) override;
  int32_t Seek(int32_t offset, TSeekOrigin origin) override;

 private:
  TCustomWinSocket* socket_;
};

using TSocketStreamErrorEvent =
    std::function<void(plat::TObject* Sender, TCustomWinSocket* Socket, int& ErrorCode, plat::TErrorEvent Kind)>;

// A stream over a blocking socket: reads and writes wait until done.
class TBlockingSocketStream : public TStream {
 public:
  // Raises ESocketError when the socket is non-blocking.
  explicit TBlockingSocketStream(TCustomWinSocket* socket);
  int32_t Read(void* buf, int32_t count) override;
  int32_t Write(const void* buf, int32_t count) override;
  int32_t Seek(int32_t offset, TSeekOrigin origin) override;
  // Waits until readable (writable) or ms milliseconds passed; -1 waits
  // without limit.
  bool WaitForRead(int32_t ms = -1);
  bool WaitForWrite(int32_t ms = -1);

  bool UseLock = false;
  int32_t LastError() const { return lastError_; }
  TSocketStreamErrorEvent OnSocketError;

 protected:
  // Stores the socket's last error; the handler may clear it; a code left
  // set raises ESocketError.
  void SocketError(plat::TErrorEvent kind);

 private:
  bool Wait(short events, int32_t ms);
  TCustomWinSocket* socket_;
  int32_t lastError_ = 0;
};

// Name functions; each returns an empty string when the system call fails.
std::string GetNBComputerName();
std::string GetNBUserName();
std::string GetLocalHostName();
std::string GetLocalFQHostName();
std::string GetLocalFQHostName(TCustomWinSocket* socket);
std::string GetLocalHostAddress();
std::string GetLocalHostAddress(TCustomWinSocket* socket);
// The MIME type of a file name's extension from the system's MIME table,
// "*" when the name has no extension or the table does not know it.
std::string GetFileMimeType(const std::string& fileName);
// The same, from a given table file (for tests).
std::string GetFileMimeType(const std::string& fileName, const std::string& tablePath);

}  // namespace kest
