#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace vxk {

// A blocking TCP socket that owns its descriptor. Nothing here throws: every operation
// reports failure through its result and records errno, which LastError() returns (0 after
// an operation that succeeded). Descriptors it creates are close-on-exec.
class TcpSocket {
 public:
  TcpSocket() = default;
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  int Handle() const { return handle_; }
  bool HasHandle() const { return handle_ >= 0; }
  int LastError() const { return lastError_; }

  void Close();
  // Closes the current descriptor and takes ownership of a connected stream socket.
  // Anything else (0 or less, not a socket, not a stream) is left untouched and false
  // is returned; the object then has no descriptor.
  bool Adopt(int handle);

  // "address:port" of each end, read when the descriptor was adopted; empty when unknown.
  const std::string& LocalAddress() const { return localAddress_; }
  const std::string& RemoteAddress() const { return remoteAddress_; }

  // SO_LINGER; the time is given in ms and rounded up to whole seconds.
  bool SetLinger(bool on, int timeMs);
  // Readable within the time-out (negative: no limit); a closed or failed connection
  // counts as readable, as the next receive returns at once.
  bool WaitReadable(int timeoutMs);
  bool WaitWritable(int timeoutMs);
  // True when the connection reports an error or a hang-up right now.
  bool Broken();
  // Bytes that can be received without waiting; -1 on failure.
  int BytesWaiting();
  // Receives at most maxSize bytes of whatever arrives within the time-out. Returns the
  // number of bytes, 0 when none arrived or the peer closed, -1 on failure.
  ssize_t Receive(char* buffer, size_t maxSize, int timeoutMs);
  // SO_SNDTIMEO; 0 or less means no limit.
  bool SetSendTimeout(int timeoutMs);
  // Sends everything, looping over partial sends; false when the connection fails or a
  // send times out. A peer that has gone never raises SIGPIPE.
  bool SendAll(const char* data, size_t size);

  // Creates the socket (when there is none) and binds it to a numeric address and port.
  bool Bind(const std::string& address, const std::string& port);
  bool Listen(int backlog);
  // The descriptor of the accepted connection (owned by the caller), -1 on failure.
  int Accept();

 private:
  bool Fail();
  bool Succeed();
  // Waits for events; returns the events seen, 0 on time-out, -1 on failure.
  int WaitFor(short events, int timeoutMs);
  void ReadAddresses();

  int handle_ = -1;
  int lastError_ = 0;
  std::string localAddress_;
  std::string remoteAddress_;
};

}  // namespace vxk
