#include "ops/DiagArchive.h"

#include <cstdio>

#include "FileAccess/DosTime.h"
#include "comms/LinkLock.h"
#include "ops/ZipWriter.h"

namespace vxk {
namespace {

constexpr const char* kDevicePrefix = "vx.keeper/";

}  // namespace

std::string DiagArchiveName(const std::string& serial, TDateTime localNow) {
  std::string safe = serial;
  for (char& c : safe) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127 || c == '/' || c == '\\') c = '_';
  }
  int year, month, day, hour, minute, second, ms;
  DecodeDateTime(localNow, year, month, day, hour, minute, second, ms);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d-%02d%02d%02d", year, month, day, hour, minute,
                second);
  return "vx.keeper." + safe + "." + stamp + ".zip";
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  const std::string tail = !name.empty() && name[0] == '/' ? name.substr(1) : name;
  if (folder.empty()) return tail;
  if (folder.back() == '/') return folder + tail;
  return folder + "/" + tail;
}

bool SafeEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string CrLfLines(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

uint32_t EntryTime(TDateTime time) {
  return time == 0 ? 0 : DateTimeToDosTime(time);
}

std::string DiagArchive::Report() {
  if (!terminal_.IsOpen()) return std::string();
  const Timeouts& waits = terminal_.Waits();
  LinkLock lock(terminal_.Link(), waits.diagLockMs);
  if (!lock) return std::string();
  terminal_.SendLine("?c,i");
  std::string reply = terminal_.ReadReply(waits.reportReplyMs);
  terminal_.ReadToPromptEnd(waits.reportPromptMs);
  return reply;
}

DiagResult DiagArchive::Save(const DiagRequest& request, const OpContext& context) {
  const auto step = [&](const std::string& text) { context.Step(text); };
  DiagResult result;
  const auto cancelled = [&] {
    if (!context.Cancelled()) return false;
    result.result = OpResult::Fail(Reason::Cancelled);
    return true;
  };

  step("Create ZIP");
  ZipWriter zip(request.path);
  step("Config & Information");
  zip.Add("ui.info.txt", CrLfLines(request.info) + "\r\n" + request.capabilities, 0,
          kDiagTextAttributes);
  if (!request.password.empty()) zip.SetPassword(request.password);
  if (cancelled()) return result;
  zip.Add("ui.c&i.txt", Report(), 0, kDiagDeviceAttributes);

  for (const std::string& folder : request.folders) {
    if (cancelled()) return result;
    std::vector<std::string> lines;
    if (!files_.ListDirectory(folder, lines)) {
      result.unlisted.push_back(folder);
      continue;
    }
    for (const std::string& line : lines) {
      if (cancelled()) return result;
      TDirEntry entry;
      if (!TvxkFiles::TryParseEntry(line, entry)) {
        result.result = OpResult::Fail(Reason::BadReply, "listing line of " + folder);
        return result;
      }
      if (entry.name == "." || entry.name == ".." || (entry.attributes & TvxkFiles::kAttrDirectory))
        continue;
      if (!SafeEntryName(entry.name)) {
        result.skipped.push_back(entry.name);
        continue;
      }
      const std::string path = JoinPath(folder, entry.name);
      step("Get " + path);
      std::string content;
      if (!files_.ReadFile(path, content, context)) {
        if (cancelled()) return result;
        continue;
      }
      if (zip.Add(kDevicePrefix + path, content, EntryTime(entry.time1), kDiagDeviceAttributes)) {
        ++result.files;
      } else {
        result.skipped.push_back(entry.name);
      }
    }
  }

  if (cancelled()) return result;
  step("UI Elements");
  for (const auto& [name, content] : request.panes) zip.Add(name, content, 0, kDiagTextAttributes);
  step("Finish ZIP");
  zip.Finish();
  return result;
}

}  // namespace vxk
