// The client's one connection to the server, as the main window uses it.
// The socket library's line client sits behind it in the program; tests put
// a fake in its place.
#pragma once

#include <functional>
#include <string>

namespace client {

class TClientConnection {
 public:
  virtual ~TClientConnection() = default;

  // Numeric address and host name exclude each other: setting one clears the other.
  virtual void SetAddress(const std::string& address) = 0;
  virtual void SetHost(const std::string& host) = 0;
  virtual void SetPort(int port) = 0;
  // Starts connecting; the outcome arrives as OnConnect or OnError. Returns
  // false (with a reason) when no attempt could be started.
  virtual bool Open(std::string* error) = 0;
  // Closes without raising any event.
  virtual void Close() = 0;
  virtual bool Active() const = 0;
  // Sends line followed by CR LF.
  virtual void Send(const std::string& line) = 0;

  std::function<void()> OnConnect;
  std::function<void(const std::string& what)> OnError;  // lookup, connect, send, receive
  std::function<void()> OnDisconnect;                      // closed by the server
  std::function<void()> OnLineTooLong;                     // closed here: a line over the receive limit
  std::function<void(const std::string& line)> OnLineArrived;
};

}  // namespace client
