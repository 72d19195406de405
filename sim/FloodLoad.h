#pragma once

#include <string>

namespace vxk {

// A burst of devices connecting to a TCP port, for load tests of the server daemon and the
// listen mode. Connection i opens at i * seconds / count after the start; half of them send a
// valid connection header (proving key), a quarter send garbage and a quarter send nothing.
// Unauthenticated, none proves itself: a third close at once, a third send garbage and a
// third send nothing. Each stays open for holdMs and then closes. The run is bounded: it ends
// by seconds + 2 * connectTimeoutMs + holdMs, whatever the other end does.
struct FloodOptions {
  std::string host = "127.0.0.1";
  int port = 0;
  int count = 1000;
  double seconds = 10;
  int holdMs = 1000;
  int connectTimeoutMs = 1000;
  std::string key;
  bool unauthenticated = false;
};

struct FloodResult {
  int opened = 0;  // connections established
  int failed = 0;  // connects refused or timed out
  int valid = 0;   // of the opened: sent a valid header
  int garbage = 0;
  int silent = 0;
  int closed = 0;        // closed at once
  double lastOpenS = 0;  // when the last connection was tried
  double elapsedS = 0;
};

class FloodLoad {
 public:
  enum class Kind { Valid, Garbage, Silent, ClosedAtOnce };

  explicit FloodLoad(FloodOptions options);
  FloodResult Run();

  Kind KindOf(int i) const;
  // What connection i sends: empty for a silent one or one closed at once.
  std::string Payload(int i) const;

 private:
  FloodOptions options_;
};

}  // namespace vxk
