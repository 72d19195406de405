#include "comms/Logger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace vxk {
namespace {

const char* LevelName(Logger::Level level) {
  switch (level) {
    case Logger::Level::Debug:
      return "DEBUG";
    case Logger::Level::Info:
      return "INFO";
    case Logger::Level::Warning:
      return "WARNING";
    case Logger::Level::Error:
      return "ERROR";
    case Logger::Level::Off:
      break;
  }
  return "";
}

std::string Stamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms));
  return text;
}

// Control bytes (a device's text may hold any) written as \xNN, so a line stays one line and
// never drives a terminal.
std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

Logger::~Logger() {
  if (file_) std::fclose(file_);
}

void Logger::SetLevel(Level level) {
  std::lock_guard<std::mutex> guard(mutex_);
  level_ = level;
}

Logger::Level Logger::GetLevel() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return level_;
}

void Logger::SetStderr(bool on) {
  std::lock_guard<std::mutex> guard(mutex_);
  stderr_ = on;
}

bool Logger::OpenFile(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  std::FILE* file = ::fdopen(fd, "a");
  if (!file) {
    error = std::strerror(errno);
    ::close(fd);
    return false;
  }
  std::lock_guard<std::mutex> guard(mutex_);
  if (file_) std::fclose(file_);
  file_ = file;
  return true;
}

void Logger::Write(Level level, const std::string& category, const std::string& text) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (level < level_ || level == Level::Off) return;
  const std::string line =
      Stamp() + " " + LevelName(level) + " " + category + ": " + Escaped(text) + "\n";
  if (stderr_) std::fputs(line.c_str(), stderr);
  if (file_) {
    std::fputs(line.c_str(), file_);
    std::fflush(file_);
  }
}

bool Logger::ParseLevel(const std::string& text, Level& level) {
  std::string lower;
  for (const char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (lower == "debug") {
    level = Level::Debug;
  } else if (lower == "info") {
    level = Level::Info;
  } else if (lower == "warning") {
    level = Level::Warning;
  } else if (lower == "error") {
    level = Level::Error;
  } else if (lower == "off") {
    level = Level::Off;
  } else {
    return false;
  }
  return true;
}

}  // namespace vxk
