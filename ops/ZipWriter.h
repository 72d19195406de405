#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

struct zip;
struct zip_source;

namespace vxk {

class LocalFolder;

// A local ZIP failure: the file cannot be created or written.
class ZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes a ZIP file as support tools of every age read it: each entry deflated at the fastest
// level, made on a DOS host, its name stored as the given 8-bit bytes, with an optional
// traditional PKWARE password for the entries added after it is set, and no Zip64.
// The archive is built in memory and written to a temporary file beside the target, which
// replaces the target only when Finish succeeds; destroyed unfinished, it leaves the target
// as it was. An archive with a password is readable by this user only (0600) from its first
// byte on.
class ZipWriter {
 public:
  // Throws ZipError when the archive cannot be started (its folder cannot be opened).
  explicit ZipWriter(const std::string& path);
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Entries added from now on are encrypted with this password (8-bit bytes); empty: none.
  void SetPassword(const std::string& password);
  // Adds an entry with a packed DOS date-time (0: the current time). False, with nothing
  // added, when an entry of that name is already there: the first one stays.
  // Throws ZipError when libzip refuses the entry.
  bool Add(const std::string& name, const std::string& content, uint32_t dosTime,
           uint32_t externalAttributes);
  // Writes the central directory and puts the file in place; throws ZipError.
  void Finish();

 private:
  [[noreturn]] void Raise(const std::string& what);

  zip* archive_ = nullptr;
  zip_source* buffer_ = nullptr;  // the archive's bytes, kept past its close
  std::unique_ptr<LocalFolder> folder_;
  std::string path_;
  std::string password_;
  std::set<std::string> names_;
};

}  // namespace vxk
