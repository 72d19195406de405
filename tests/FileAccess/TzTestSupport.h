#pragma once

#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

namespace vxk::test {

// Sets the TZ variable while it lives and restores the previous value (or its absence).
class ScopedTz {
 public:
  explicit ScopedTz(const char* value) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    Set(value);
  }
  ~ScopedTz() { Set(saved_ ? saved_->c_str() : nullptr); }
  ScopedTz(const ScopedTz&) = delete;
  ScopedTz& operator=(const ScopedTz&) = delete;

  static void Set(const char* value) {
    if (value)
      setenv("TZ", value, 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

// A file with the given bytes in /tmp, removed with the object.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& bytes = "") {
    const int fd = mkstemp(&path_[0]);
    if (fd < 0) throw std::runtime_error("cannot create a temporary file");
    close(fd);
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~ScratchFile() { unlink(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }
  void SetModified(std::time_t t) const {
    utimbuf times{t, t};
    if (utime(path_.c_str(), &times) != 0) throw std::runtime_error("utime failed");
  }

 private:
  std::string path_ = "/tmp/vxk_test_XXXXXX";
};

}  // namespace vxk::test
