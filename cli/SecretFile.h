#pragma once

#include <string>

namespace vxk {

// Reads a secret (a TCP key, an archive password) from a file of the user's own: refused
// (UsageError) when the file is no regular file, when its group or others may read or change
// it, or when it is longer than 4096 bytes. Line ends closing the file are not part of the
// secret. what names the option in messages ("key file").
std::string ReadSecretFile(const std::string& path, const std::string& what);

}  // namespace vxk
