#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace vxk {

// The program's log: lines "yyyy-mm-dd hh:nn:ss.mmm LEVEL category: text" to standard error
// and, on request, to a file, for levels at or above the one set. Device operations log their
// start, success and failure here, and failures that would otherwise be swallowed end up here
// too. Safe to use from several threads. Control bytes in a text are written as \xNN.
class Logger {
 public:
  enum class Level { Debug, Info, Warning, Error, Off };

  Logger() = default;
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void SetLevel(Level level);
  Level GetLevel() const;
  void SetStderr(bool on);
  // Appends to path (created 0600); false with errno's text in error when it cannot be opened.
  bool OpenFile(const std::string& path, std::string& error);

  void Write(Level level, const std::string& category, const std::string& text);
  void Debug(const std::string& category, const std::string& text) {
    Write(Level::Debug, category, text);
  }
  void Info(const std::string& category, const std::string& text) {
    Write(Level::Info, category, text);
  }
  void Warning(const std::string& category, const std::string& text) {
    Write(Level::Warning, category, text);
  }
  void Error(const std::string& category, const std::string& text) {
    Write(Level::Error, category, text);
  }

  // "debug", "info", "warning", "error", "off" (any case); false for other text.
  static bool ParseLevel(const std::string& text, Level& level);

 private:
  mutable std::mutex mutex_;
  Level level_ = Level::Warning;
  bool stderr_ = true;
  std::FILE* file_ = nullptr;
};

}  // namespace vxk
