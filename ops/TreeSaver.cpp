#include "ops/TreeSaver.h"

#include "ops/LocalFiles.h"
#include "ops/LocalFolder.h"

namespace vxk {
namespace {

constexpr const char* kUnsafeName = "its name could leave the folder";
constexpr const char* kNameTooLong = "its name is too long for a local file";
constexpr const char* kTooDeep = "folders nested too deep";

}  // namespace

TreeSaver::TreeSaver(TvxTerminal& terminal, TvxkFiles& files, OpContext context)
    : terminal_(terminal), files_(files), context_(std::move(context)) {}

bool TreeSaver::Stop() {
  if (!result_.result.ok()) return true;
  if (context_.Cancelled()) {
    result_.result = OpResult::Fail(Reason::Cancelled);
  } else if (!terminal_.IsOpen()) {
    result_.result = OpResult::Fail(Reason::LinkLost);
  }
  return !result_.result.ok();
}

void TreeSaver::Count() {
  if (OnCount) OnCount(result_.saved);
}

bool TreeSaver::LocalName(const LocalFolder& folder, const std::string& devicePath,
                          const std::string& name, std::string& local) {
  if (!IsSafeLocalName(name)) {
    result_.skipped.push_back({devicePath, kUnsafeName});
    return false;
  }
  local = DeviceNameToLocal(name);
  if (local.size() > folder.MaxNameBytes()) {
    result_.skipped.push_back({devicePath, kNameTooLong});
    return false;
  }
  return true;
}

TreeSaver::Result TreeSaver::SaveEntries(const std::string& localFolder,
                                         const std::string& deviceFolder,
                                         const std::vector<std::string>& rawLines) {
  result_ = Result();
  const LocalFolder folder = LocalFolder::Chosen(localFolder.empty() ? "/" : localFolder);
  std::vector<TDirEntry> folders;
  for (const std::string& line : rawLines) {
    Count();
    if (Stop()) return result_;
    TDirEntry entry;
    if (!TvxkFiles::TryParseEntry(line, entry)) continue;
    if (entry.attributes & TvxkFiles::kAttrDirectory) {
      if (entry.name != "..") folders.push_back(entry);
      continue;
    }
    const std::string devicePath = deviceFolder + "/" + entry.name;
    std::string local;
    if (LocalName(folder, devicePath, entry.name, local))
      SaveFile(folder, local, devicePath, entry.time1);
  }
  for (const TDirEntry& entry : folders) {
    if (Stop()) break;
    SaveTree(folder, deviceFolder, entry.name, 1);
  }
  return result_;
}

TreeSaver::Result TreeSaver::SaveDeviceTree(const std::string& localParent,
                                            const std::string& deviceParent,
                                            const std::string& name) {
  result_ = Result();
  SaveTree(LocalFolder::Chosen(localParent.empty() ? "/" : localParent), deviceParent, name, 1);
  return result_;
}

void TreeSaver::SaveTree(const LocalFolder& parent, const std::string& deviceParent,
                         const std::string& name, int depth) {
  if (Stop()) return;
  const std::string devicePath = deviceParent + "/" + name;
  std::string local;
  if (!LocalName(parent, devicePath, name, local)) return;
  if (depth > MaxDepth) {
    result_.skipped.push_back({devicePath, kTooDeep});
    return;
  }
  std::vector<std::string> lines;
  const OpResult listed = files_.ListDirectory(devicePath, lines);
  if (!listed) {
    ++result_.failed;
    result_.unread.push_back({devicePath, listed});
    return;
  }
  const LocalFolder folder = parent.Child(local);
  for (const std::string& line : lines) {
    if (Stop()) return;
    TDirEntry entry;
    if (!TvxkFiles::TryParseEntry(line, entry)) {
      result_.result = OpResult::Fail(Reason::BadReply, "listing line of " + devicePath);
      return;
    }
    if (entry.name == "." || entry.name == "..") continue;
    if (entry.attributes & TvxkFiles::kAttrDirectory) {
      SaveTree(folder, devicePath, entry.name, depth + 1);
      continue;
    }
    const std::string filePath = devicePath + "/" + entry.name;
    std::string fileName;
    if (LocalName(folder, filePath, entry.name, fileName))
      SaveFile(folder, fileName, filePath, entry.time1);
  }
}

void TreeSaver::SaveFile(const LocalFolder& folder, const std::string& localName,
                         const std::string& devicePath, TDateTime time) {
  std::string content;
  context_.Step(devicePath);
  const OpResult read = files_.ReadFile(devicePath, content, context_);
  if (read.reason == Reason::Cancelled) {
    result_.result = read;
    return;
  }
  if (!read) {
    ++result_.failed;
    result_.unread.push_back({devicePath, read});
    return;
  }
  folder.WriteFile(localName, content, time);
  ++result_.saved;
  Count();
}

}  // namespace vxk
