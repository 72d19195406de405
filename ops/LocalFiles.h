#pragma once

#include <stdexcept>
#include <string>

#include "FileAccess/DateTime.h"

namespace vxk {

// A local file or folder that cannot be read or written; its text names the path and why.
class LocalFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether a device name may stand as one component of a local path: not empty, not "." or
// "..", and free of "/", "\" and NUL, so it can never reach outside the chosen folder.
bool IsSafeLocalName(const std::string& deviceName);

// Whether a name holds a byte that would end or split a device command line, or hide itself
// in one: any control character (CR, LF, TAB, ESC, NUL and the rest below 0x20) or DEL.
bool HasControlChars(const std::string& name);

// A device name (Windows-1252 bytes) as a UTF-8 local file name.
std::string DeviceNameToLocal(const std::string& deviceName);

// The last component of a "/"-separated path.
std::string FileNamePart(const std::string& path);

// Reads a whole regular local file. A folder, FIFO, device node or unreadable file throws
// LocalFileError.
std::string ReadLocalFile(const std::string& path);

// Writes content to path so that the old file stays whole until the new one is complete:
// missing folders are made, the content goes to a temporary file in the same folder, which
// gets the modification time (local date-time, 0 keeps the time of writing) and then replaces
// the target (see LocalFolder::WriteFile). Throws LocalFileError; nothing is left behind on
// failure.
void WriteLocalFile(const std::string& path, const std::string& content, TDateTime time);

}  // namespace vxk
