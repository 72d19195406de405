#include "cli/SecretFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/CliOptions.h"

namespace vxk {
namespace {

constexpr size_t kMaxSecretBytes = 4096;

}  // namespace

std::string ReadSecretFile(const std::string& path, const std::string& what) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) throw UsageError("cannot open " + what + " " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw UsageError(what + " " + path + " is not a regular file");
  }
  if (st.st_mode & (S_IRGRP | S_IROTH | S_IWGRP | S_IWOTH)) {
    ::close(fd);
    throw UsageError(what + " " + path + " may be read or changed by others; chmod 600 it");
  }
  std::string secret;
  char buf[512];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0 && secret.size() <= kMaxSecretBytes)
    secret.append(buf, static_cast<size_t>(n));
  ::close(fd);
  if (secret.size() > kMaxSecretBytes) throw UsageError(what + " " + path + " is too long");
  while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r')) secret.pop_back();
  return secret;
}

}  // namespace vxk
