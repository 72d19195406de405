#include "cli/ResultsFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ops/LocalFiles.h"

namespace vxk {

ResultsFile::ResultsFile(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    throw LocalFileError("cannot open the results file " + path + ": " + std::strerror(errno));
  }
}

ResultsFile::~ResultsFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ResultsFile::Append(const std::string& line, std::string& error) {
  const std::string text = line + "\n";
  std::lock_guard<std::mutex> guard(mutex_);
  ssize_t n;
  do {
    n = ::write(fd_, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    error = std::strerror(errno);
    return false;
  }
  if (static_cast<size_t>(n) != text.size()) {
    // A full disk: the rest is not written after it, so no other line lands inside this one.
    error = "only " + std::to_string(n) + " of " + std::to_string(text.size()) + " bytes written";
    return false;
  }
  return true;
}

void ResultsFile::Sync() {
  std::lock_guard<std::mutex> guard(mutex_);
  ::fdatasync(fd_);
}

}  // namespace vxk
