#pragma once

#include <string>

#include "FileAccess/vxkFiles.h"

namespace vxk {

// One local file made ready for the device: its whole content and its modification time.
struct LocalUpload {
  std::string content;
  TDateTime time = 0;  // 0 when the file's time cannot be read
};

// Reads a local file for upload. A name holding control characters (they would split the
// device command), a folder, FIFO or unreadable file throws LocalFileError.
LocalUpload PrepareUpload(const std::string& localPath);

}  // namespace vxk
