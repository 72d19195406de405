#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace vxk {

// What a running device operation reports to, and is stopped by. Every part may be empty.
// Operations call it on the thread they run on; a front end that shows it elsewhere passes
// it on (the window through queued calls).
struct OpContext {
  // Bytes (or steps) done of a total; total 0 when unknown.
  std::function<void(int64_t done, int64_t total)> progress;
  // What is being worked on now, as a person reads it ("Logs/a.log", "3 of 12").
  std::function<void(const std::string& what)> step;
  // Items finished so far (files saved), for a run over many of them.
  std::function<void(int64_t items)> count;
  // Set by another thread (or a signal handler) to stop the operation at its next step.
  const std::atomic<bool>* cancel = nullptr;

  bool Cancelled() const { return cancel && cancel->load(); }
  void Progress(int64_t done, int64_t total) const {
    if (progress) progress(done, total);
  }
  void Step(const std::string& what) const {
    if (step) step(what);
  }
  void Count(int64_t items) const {
    if (count) count(items);
  }
};

}  // namespace vxk
