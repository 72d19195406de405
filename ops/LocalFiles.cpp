#include "ops/LocalFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "comms/Cp1252.h"
#include "ops/LocalFolder.h"

namespace vxk {
namespace {

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
  // The user named the path: its folders are made, and followed where they are links.
  const std::filesystem::path target(path);
  const std::string folder = target.parent_path().string();
  LocalFolder::Chosen(folder.empty() ? std::string(".") : folder)
      .WriteFile(target.filename().string(), content, time);
}

}  // namespace vxk
