#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace vxk {

// A one-line progress bar with rate and time left, redrawn in place on a terminal at most ten
// times a second. Silent when not enabled (standard error is no terminal, or -q).
class CliProgress {
 public:
  CliProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~CliProgress() { Finish(); }
  CliProgress(const CliProgress&) = delete;
  CliProgress& operator=(const CliProgress&) = delete;

  void Start(const std::string& label);
  void Update(int64_t position, int64_t total);
  // Ends the line of a bar that was drawn.
  void Finish();

 private:
  std::ostream& err_;
  bool enabled_;
  bool drawn_ = false;
  std::string label_;
  int64_t startMs_ = 0;
  int64_t lastDrawMs_ = 0;
};

// "[#####.....]  45%  1.2 MB/s  0:03 left": the bar's text for a position after elapsedMs.
std::string ProgressLine(const std::string& label, int64_t position, int64_t total,
                         int64_t elapsedMs);

}  // namespace vxk
