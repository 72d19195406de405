#pragma once

#include <string>

namespace vxk {

// Reads the version block that the build puts into the program file (the ELF section
// ".vxkversion": pairs of NUL-ended key and value texts, Windows-1252) by reading the file
// itself. Values keep their presets when the file has no readable block.
class TVersionReader {
 public:
  static constexpr const char* kSection = ".vxkversion";
  static constexpr const char* kQuery = "\\StringFileInfo\\080904E4\\%s";
  static constexpr size_t kMaxBlock = 65536;

  explicit TVersionReader(const std::string& path);

  bool Readable() const { return readable_; }
  // The value of "\StringFileInfo\080904E4\" + key; empty when the key is missing.
  std::string Value(const std::string& key) const;

  std::string FVersion = "?";
  std::string FDate = "?";
  std::string FCopyright = "\xA9 ?";
  std::string FDescription = "?";

 private:
  std::string block_;
  bool readable_ = false;
};

}  // namespace vxk
