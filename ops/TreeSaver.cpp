#include "ops/TreeSaver.h"

#include "ops/LocalFiles.h"

namespace vxk {

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

TreeSaver::Result TreeSaver::SaveEntries(const std::string& localFolder,
                                         const std::string& deviceFolder,
                                         const std::vector<std::string>& rawLines) {
  result_ = Result();
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
    if (!IsSafeLocalName(entry.name)) {
      result_.skipped.push_back(deviceFolder + "/" + entry.name);
      continue;
    }
    SaveFile(localFolder + "/" + DeviceNameToLocal(entry.name), deviceFolder + "/" + entry.name,
             entry.time1);
  }
  for (const TDirEntry& folder : folders) {
    if (Stop()) break;
    if (!IsSafeLocalName(folder.name)) {
      result_.skipped.push_back(deviceFolder + "/" + folder.name);
      continue;
    }
    SaveTree(localFolder, deviceFolder, folder.name, 1);
  }
  return result_;
}

TreeSaver::Result TreeSaver::SaveDeviceTree(const std::string& localParent,
                                            const std::string& deviceParent,
                                            const std::string& name) {
  result_ = Result();
  if (IsSafeLocalName(name)) {
    SaveTree(localParent, deviceParent, name, 1);
  } else {
    result_.skipped.push_back(deviceParent + "/" + name);
  }
  return result_;
}

void TreeSaver::SaveTree(const std::string& localParent, const std::string& deviceParent,
                         const std::string& name, int depth) {
  if (Stop()) return;
  const std::string devicePath = deviceParent + "/" + name;
  if (depth > MaxDepth) {
    result_.skipped.push_back(devicePath);
    return;
  }
  std::vector<std::string> lines;
  const OpResult listed = files_.ListDirectory(devicePath, lines);
  if (!listed) {
    ++result_.failed;
    result_.unread.push_back({devicePath, listed});
    return;
  }
  const std::string localPath = localParent + "/" + DeviceNameToLocal(name);
  for (const std::string& line : lines) {
    if (Stop()) return;
    const TDirEntry entry = TvxkFiles::ParseEntry(line);
    if (entry.name == "." || entry.name == "..") continue;
    if (!IsSafeLocalName(entry.name)) {
      result_.skipped.push_back(devicePath + "/" + entry.name);
      continue;
    }
    if (entry.attributes & TvxkFiles::kAttrDirectory) {
      SaveTree(localPath, devicePath, entry.name, depth + 1);
    } else {
      SaveFile(localPath + "/" + DeviceNameToLocal(entry.name), devicePath + "/" + entry.name,
               entry.time1);
    }
  }
}

void TreeSaver::SaveFile(const std::string& localPath, const std::string& devicePath,
                         TDateTime time) {
  std::string content;
  const OpResult read = files_.ReadFile(devicePath, content);
  if (!read) {
    ++result_.failed;
    result_.unread.push_back({devicePath, read});
    return;
  }
  WriteLocalFile(localPath, content, time);
  ++result_.saved;
  Count();
}

}  // namespace vxk
