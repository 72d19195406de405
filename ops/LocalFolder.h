#pragma once

#include <string>

#include "FileAccess/DateTime.h"

namespace vxk {

// An open local folder that downloaded files are written into. Folders below the one the
// user chose are walked by descriptor (openat, mkdirat, O_NOFOLLOW), so a symbolic link
// planted in the destination can never carry a save somewhere else.
class LocalFolder {
 public:
  // The folder the user named, made with any missing parents unless makeMissing is false; a
  // symbolic link there (or on the way) is the user's own choice and is followed. Throws
  // LocalFileError.
  static LocalFolder Chosen(const std::string& path, bool makeMissing = true);

  LocalFolder(LocalFolder&& other) noexcept;
  LocalFolder& operator=(LocalFolder&& other) noexcept;
  ~LocalFolder();
  LocalFolder(const LocalFolder&) = delete;
  LocalFolder& operator=(const LocalFolder&) = delete;

  // The sub-folder name, made when missing. A symbolic link, or anything else that is no
  // folder, in its place is refused with LocalFileError.
  LocalFolder Child(const std::string& name) const;

  // Writes content to the file name so that the old file stays whole until the new one is
  // complete: a temporary file with a short name beside it gets the content and the
  // modification time (local date-time; 0 keeps the time of writing) and then replaces it.
  // A private file is readable by this user only from its first byte on. Throws
  // LocalFileError; nothing is left behind on failure.
  void WriteFile(const std::string& name, const std::string& content, TDateTime time,
                 bool privateFile = false) const;

  // The longest file name, in bytes, this folder's file system takes.
  size_t MaxNameBytes() const;
  // The folder's path, for messages.
  const std::string& Path() const { return path_; }
  // The path of name inside this folder, for messages.
  std::string PathOf(const std::string& name) const;

 private:
  LocalFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_ = -1;
  std::string path_;
};

}  // namespace vxk
