#include "cli/TextFile.h"

#include "cli/CliOptions.h"
#include "cli/FileCommandParts.h"
#include "ops/LocalFiles.h"

namespace vxk {

std::string ReadTextFile(const std::string& path, size_t maxBytes) {
  std::string text;
  try {
    text = ReadLocalFile(path);
  } catch (const LocalFileError& e) {
    throw UsageError(e.what());
  }
  if (text.size() > maxBytes)
    throw UsageError(path + " is longer than " + std::to_string(maxBytes) + " bytes");
  return text;
}

std::string ReadTextInput(int fd, size_t maxBytes) {
  try {
    return ReadAllInput(fd, maxBytes);
  } catch (const LocalFileError& e) {
    throw UsageError(e.what());
  }
}

}  // namespace vxk
