#pragma once

#include <string>

#include "FileAccess/DateTime.h"
#include "cli/CliContext.h"

namespace vxk {

// ": " and why an operation failed, for a message.
std::string Why(const OpResult& result);

// Writes content that came from the device to a local path: "-" is standard output (the bytes
// as they are; on a terminal as ShownLines), anything else a file written whole with the time
// given. Its folder must exist unless makeFolders (as with cp); throws LocalFileError.
void WriteLocalOutput(CliContext& c, const std::string& local, const std::string& content,
                      TDateTime time, bool makeFolders);

// Reads all of a descriptor (standard input for "put -"), at most maxBytes; throws
// LocalFileError.
std::string ReadAllInput(int fd, size_t maxBytes);

}  // namespace vxk
