#include "ops/LocalFolder.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "ops/LocalFiles.h"

namespace vxk {
namespace {

// Temporary names: a fixed prefix and a few random letters, short enough that a target name
// of the longest length still fits beside them.
constexpr const char* kTempPrefix = ".vxk";
constexpr int kTempRandomChars = 6;
constexpr int kTempAttempts = 100;

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
  throw LocalFileError(what + " " + path + ": " + std::strerror(error));
}

std::string TempName() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
  std::string name = kTempPrefix;
  for (int i = 0; i < kTempRandomChars; ++i) name += kLetters[pick(random)];
  return name;
}

// Removes a temporary file and closes its descriptor unless kept.
class TempEntry {
 public:
  TempEntry(int folder, int fd, std::string name)
      : folder_(folder), fd_(fd), name_(std::move(name)) {}
  ~TempEntry() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.empty()) ::unlinkat(folder_, name_.c_str(), 0);
  }
  TempEntry(const TempEntry&) = delete;
  TempEntry& operator=(const TempEntry&) = delete;

  int fd() const { return fd_; }
  const std::string& name() const { return name_; }
  // Closes the descriptor, reporting a failed close (a late write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  void Keep() { name_.clear(); }

 private:
  int folder_;
  int fd_;
  std::string name_;
};

}  // namespace

LocalFolder LocalFolder::Chosen(const std::string& path, bool makeMissing) {
  if (makeMissing) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) throw LocalFileError("Cannot create folder " + path + ": " + ec.message());
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail("Cannot open folder", path, errno);
  return LocalFolder(fd, path);
}

LocalFolder::LocalFolder(LocalFolder&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

LocalFolder& LocalFolder::operator=(LocalFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

LocalFolder::~LocalFolder() {
  if (fd_ >= 0) ::close(fd_);
}

std::string LocalFolder::PathOf(const std::string& name) const {
  return !path_.empty() && path_.back() == '/' ? path_ + name : path_ + "/" + name;
}

LocalFolder LocalFolder::Child(const std::string& name) const {
  const std::string path = PathOf(name);
  if (::mkdirat(fd_, name.c_str(), 0777) != 0 && errno != EEXIST)
    Fail("Cannot create folder", path, errno);
  const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) return LocalFolder(fd, path);
  if (errno == ELOOP) {
    throw LocalFileError("Refused to save into " + path +
                         ": it is a symbolic link, which may lead outside the chosen folder");
  }
  if (errno == ENOTDIR) throw LocalFileError("Cannot create folder " + path + ": a file is there");
  Fail("Cannot open folder", path, errno);
}

void LocalFolder::WriteFile(const std::string& name, const std::string& content, TDateTime time,
                            bool privateFile) const {
  const std::string path = PathOf(name);
  // The mode asked for is narrowed by the umask, as for any file the user makes.
  const mode_t mode = privateFile ? 0600 : 0666;
  int fd = -1;
  std::string tempName;
  for (int attempt = 0; attempt < kTempAttempts && fd < 0; ++attempt) {
    tempName = TempName();
    fd =
        ::openat(fd_, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) Fail("Cannot create file", path, errno);
  }
  if (fd < 0) Fail("Cannot create file", path, EEXIST);
  TempEntry temp(fd_, fd, tempName);
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
  // renameat replaces a symbolic link of that name itself, never what it points to.
  if (::renameat(fd_, temp.name().c_str(), fd_, name.c_str()) != 0)
    Fail("Cannot create file", path, errno);
  temp.Keep();
}

size_t LocalFolder::MaxNameBytes() const {
  const long n = ::fpathconf(fd_, _PC_NAME_MAX);
  return n > 0 ? static_cast<size_t>(n) : static_cast<size_t>(NAME_MAX);
}

}  // namespace vxk
