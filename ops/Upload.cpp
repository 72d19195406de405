#include "ops/Upload.h"

#include "FileAccess/DosTime.h"
#include "ops/LocalFiles.h"

namespace vxk {

LocalUpload PrepareUpload(const std::string& localPath) {
  std::string name = FileNamePart(localPath);
  if (HasControlChars(name)) {
    for (char& c : name) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    throw LocalFileError("Cannot open file " + name + ": the name holds control characters");
  }
  LocalUpload upload;
  upload.content = ReadLocalFile(localPath);
  upload.time = FileTimeOf(localPath);
  return upload;
}

}  // namespace vxk
