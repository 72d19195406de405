#pragma once

#include <cstddef>
#include <string>

namespace vxk {

// A batch file or serve job, read whole: a regular file of at most maxBytes. Throws
// UsageError naming the file and why.
std::string ReadTextFile(const std::string& path, size_t maxBytes);
// The same from a descriptor (standard input).
std::string ReadTextInput(int fd, size_t maxBytes);

}  // namespace vxk
