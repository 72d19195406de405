#pragma once

#include <mutex>
#include <string>

namespace vxk {

// The results file of vxkctl serve: one JSON line per device run, appended. Each line goes to
// the file in one write() on a descriptor opened with O_APPEND, under a lock of this process,
// so lines of concurrent sessions (and of other processes appending to the same file) never
// interleave, and a line is never written twice.
class ResultsFile {
 public:
  // Opens (creates) path for appending; throws LocalFileError.
  explicit ResultsFile(const std::string& path);
  ~ResultsFile();
  ResultsFile(const ResultsFile&) = delete;
  ResultsFile& operator=(const ResultsFile&) = delete;

  // Appends line and a line end; false (with the system's text in error) when the write
  // failed or was cut short.
  bool Append(const std::string& line, std::string& error);
  // Asks the file system to keep what was written (at the end of a run).
  void Sync();

 private:
  int fd_ = -1;
  std::mutex mutex_;
};

}  // namespace vxk
