#include "cli/FileCommandParts.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/CliText.h"
#include "ops/LocalFiles.h"
#include "ops/LocalFolder.h"

namespace vxk {

std::string Why(const OpResult& result) {
  return ": " + ShownText(DescribeResult(result));
}

void WriteLocalOutput(CliContext& c, const std::string& local, const std::string& content,
                      TDateTime time, bool makeFolders) {
  if (local == "-") {
    // A terminal gets the lines made harmless; a pipe or file the bytes as they are.
    const std::string shown = c.outputOnTty ? ShownLines(content) : content;
    c.out.write(shown.data(), static_cast<std::streamsize>(shown.size()));
    c.out.flush();
    if (!c.out) throw LocalFileError("cannot write to standard output");
    return;
  }
  if (makeFolders) {
    WriteLocalFile(local, content, time);
    return;
  }
  const std::filesystem::path target(local);
  const std::string folder = target.parent_path().string();
  LocalFolder::Chosen(folder.empty() ? std::string(".") : folder, false)
      .WriteFile(target.filename().string(), content, time);
}

std::string ReadAllInput(int fd, size_t maxBytes) {
  if (fd < 0) throw LocalFileError("no standard input to read");
  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) return data;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw LocalFileError(std::string("cannot read standard input: ") + std::strerror(errno));
    }
    data.append(buf, static_cast<size_t>(n));
    if (data.size() > maxBytes) {
      throw LocalFileError("standard input is longer than " + std::to_string(maxBytes) + " bytes");
    }
  }
}

}  // namespace vxk
