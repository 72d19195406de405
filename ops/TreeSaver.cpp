#include "ops/TreeSaver.h"

#include "ops/LocalFiles.h"
#include "ops/LocalFolder.h"

namespace vxk {
namespace {

constexpr const char* kUnsafeName = "its name could leave the folder";
constexpr const char* kNameTooLong = "its name is too long for a local file";
constexpr const char* kTooDeep = "folders nested too deep";

}  // namespace

TreeSaver::TreeSaver(TvxTerminal& terminal, TvxkFiles& files)
    : terminal_(terminal), files_(files) {}

bool TreeSaver::Stop() {
  if (result_.status != Status::Done) return true;
  if (Cancelled && Cancelled()) {
    result_.status = Status::Cancelled;
  } else if (!terminal_.IsOpen()) {
    result_.status = Status::LinkDown;
  }
  return result_.status != Status::Done;
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
    const TDirEntry entry = TvxkFiles::ParseEntry(line);
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
  const OpResult read = files_.ReadFile(devicePath, content);
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
