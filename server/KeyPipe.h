#pragma once

#include <cstddef>
#include <string>

namespace vxk {

// Longest key a pipe carries: what a pipe holds without a reader (64 KiB on Linux).
constexpr size_t kMaxPipedKey = 64 * 1024;
// How long a child waits for its key's end; the daemon has written it all before the start.
constexpr int kPipedKeyWaitMs = 1000;

// Hands the key to a child process on an inherited pipe, not on its command line, which
// every user of the machine may read in /proc/PID/cmdline (a pipe's content only its owner
// reaches). The pipe holds the whole key and its write end is closed before the child starts,
// so the child reads up to the end and never waits on the daemon.
class KeyPipe {
 public:
  KeyPipe() = default;
  ~KeyPipe();
  KeyPipe(const KeyPipe&) = delete;
  KeyPipe& operator=(const KeyPipe&) = delete;

  // Makes the pipe and writes key into it; false when the pipe cannot be made or the key is
  // longer than kMaxPipedKey.
  bool Fill(const std::string& key);
  // The end the child inherits (3 or higher, close-on-exec here); -1 before Fill.
  int ReadEnd() const { return readEnd_; }

 private:
  int readEnd_ = -1;
};

// Reads a key handed over on descriptor fd (a pipe, or a file for a hand-started tool): its
// bytes, exactly, up to the end, and closes fd. False for a descriptor below 3 or of another
// kind (left open), more than kMaxPipedKey bytes, or no end within timeoutMs.
bool ReadPipedKey(int fd, std::string& key, int timeoutMs = kPipedKeyWaitMs);

}  // namespace vxk
