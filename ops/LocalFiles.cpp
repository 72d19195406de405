#include "ops/LocalFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#include "comms/Cp1252.h"

namespace vxk {
namespace {

// Closes a descriptor and removes a temporary file unless released.
class TempFile {
 public:
  TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the descriptor, reporting a failed close (a late write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  void Keep() { path_.clear(); }

 private:
  int fd_;
  std::string path_;
};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw LocalFileError(what + " " + path + ": " + std::strerror(error));
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

bool IsSafeLocalName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool HasControlChars(const std::string& name) {
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

std::string DeviceNameToLocal(const std::string& deviceName) {
  std::string out;
  out.reserve(deviceName.size() * 2);
  for (const char c : deviceName) AppendUtf8(out, Cp1252ToUnicode(static_cast<uint8_t>(c)));
  return out;
}

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadLocalFile(const std::string& path) {
  // Non-blocking, so that opening a FIFO without a writer does not hang; only regular files
  // are read.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.fd() < 0) Fail("Cannot open file", path, errno);
  struct stat info {};
  if (::fstat(file.fd(), &info) != 0) Fail("Cannot open file", path, errno);
  if (!S_ISREG(info.st_mode)) throw LocalFileError("Cannot open file " + path + ": not a file");
  std::string content;
  content.reserve(static_cast<size_t>(info.st_size));
  std::vector<char> buffer(65536);
  for (;;) {
    const ssize_t n = ::read(file.fd(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot read file", path, errno);
    if (n == 0) break;
    content.append(buffer.data(), static_cast<size_t>(n));
  }
  return content;
}

void WriteLocalFile(const std::string& path, const std::string& content, TDateTime time) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw LocalFileError("Cannot create folder " + folder.string() + ": " + ec.message());
  }
  std::string pattern = (folder.empty() ? std::string(".") : folder.string()) + "/." +
                        target.filename().string() + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) Fail("Cannot create file", path, errno);
  TempFile temp(fd, name.data());
  // mkstemp makes the file private; a saved file gets the usual permissions.
  ::fchmod(temp.fd(), 0666 & ~CurrentUmask());
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(temp.fd(), content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot write file", path, errno);
    done += static_cast<size_t>(n);
  }
  if (time != 0) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    try {
      times[1].tv_sec = LocalDateTimeToTime(time);
      times[1].tv_nsec = 0;
      ::futimens(temp.fd(), times);
    } catch (const std::runtime_error&) {
      // A time stamp without a calendar time leaves the time of writing.
    }
  }
  if (!temp.Close()) Fail("Cannot write file", path, errno);
  if (::rename(temp.path().c_str(), path.c_str()) != 0) Fail("Cannot create file", path, errno);
  temp.Keep();
}

}  // namespace vxk
