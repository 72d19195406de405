#include "sim/SimFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "FileAccess/DateTime.h"
#include "FileAccess/DosTime.h"

namespace vxk {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Names the device accepts: no separators or control bytes, not "." or "..".
bool ValidName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
  for (unsigned char c : name) {
    if (c < 32 || c == '/' || c == '\\') return false;
  }
  return true;
}

bool RemoveHostTree(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    if (DIR* dir = opendir(path.c_str())) {
      while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") RemoveHostTree(path + "/" + name);
      }
      closedir(dir);
    }
    return rmdir(path.c_str()) == 0;
  }
  return unlink(path.c_str()) == 0;
}

}  // namespace

SimFileSystem::SimFileSystem() {
  root_.directory = true;
  root_.attributes = 0x10;
}

std::unique_ptr<SimFileSystem> SimFileSystem::Demo(uint32_t time) {
  auto fs = std::make_unique<SimFileSystem>();
  for (const char* dir : {"/Config", "/Lua", "/Lua/lib", "/Logs", "/System"}) {
    fs->MakeDirectory(dir, time);
  }
  fs->WriteFile("/Config/settings.cfg",
                "[station]\r\nname=Riverside 4\r\ninterval=60\r\n[modem]\r\napn=iot.example\r\n",
                time);
  fs->WriteFile("/Config/channels.cfg", "ch1=level,m,0.001\r\nch2=temp,C,0.1\r\n", time);
  fs->WriteFile("/Lua/main.lua", "-- station script\r\nprint(\"hello from vx.keeper\")\r\n", time);
  fs->WriteFile("/Lua/lib/util.lua", "local M = {}\r\nreturn M\r\n", time);
  fs->WriteFile("/Logs/2026-12-01.log", "00:00:00 start\r\n00:10:00 sample 1.234\r\n", time);
  fs->WriteFile("/Logs/2026-12-02.log", "00:00:00 start\r\n", time);
  fs->WriteFile("/System/version.txt", "vx.keeper firmware 2.14 build 3107\r\n", time);
  fs->Find("/System/version.txt")->attributes = 0x21;
  // For the diagnostics archive: files in the root and in /Store and /Send, a sub-folder it
  // does not enter, a file without a time and a Windows-1252 name.
  fs->WriteFile("/readme.txt", "vx.keeper demo volume\r\n", time);
  for (const char* dir : {"/Store", "/Store/old", "/Send"}) fs->MakeDirectory(dir, time);
  fs->WriteFile("/Store/Messung-\xE9t\xE9.dat", std::string("\x00\x01\xFE\xFF", 4), time);
  fs->WriteFile("/Store/old/archived.dat", "old", time);
  fs->WriteFile("/Send/queue.dat", "", 0);
  return fs;
}

std::vector<std::string> SimFileSystem::SplitPath(const std::string& path) {
  std::vector<std::string> names;
  std::string part;
  std::istringstream in(path);
  while (std::getline(in, part, '/')) {
    if (!part.empty()) names.push_back(part);
  }
  return names;
}

SimFileSystem::Node* SimFileSystem::Find(const std::string& path) {
  Node* node = &root_;
  for (const std::string& name : SplitPath(path)) {
    if (!node->directory) return nullptr;
    auto it = node->children.find(Lower(name));
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

SimFileSystem::Node* SimFileSystem::Parent(const std::vector<std::string>& names) {
  Node* node = &root_;
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    auto it = node->children.find(Lower(names[i]));
    if (it == node->children.end() || !it->second->directory) return nullptr;
    node = it->second.get();
  }
  return node;
}

std::string SimFileSystem::HostPath(const std::vector<std::string>& names) const {
  std::string path = mirror_;
  for (const std::string& name : names) path += "/" + name;
  return path;
}

SimFileSystem::Result SimFileSystem::MakeDirectory(const std::string& path, uint32_t time) {
  const auto names = SplitPath(path);
  if (names.empty()) return Result::Exists;
  Node* parent = Parent(names);
  if (!parent) return Result::PathNotFound;
  if (!ValidName(names.back())) return Result::Denied;
  auto& slot = parent->children[Lower(names.back())];
  if (slot) return Result::Exists;
  slot = std::make_unique<Node>();
  slot->name = names.back();
  slot->directory = true;
  slot->attributes = 0x10;
  slot->time = time;
  if (!mirror_.empty()) mkdir(HostPath(names).c_str(), 0755);
  return Result::Ok;
}

SimFileSystem::Result SimFileSystem::WriteFile(const std::string& path, const std::string& data,
                                               uint32_t time) {
  const auto names = SplitPath(path);
  if (names.empty()) return Result::Denied;
  Node* parent = Parent(names);
  if (!parent) return Result::PathNotFound;
  if (!ValidName(names.back())) return Result::Denied;
  auto& slot = parent->children[Lower(names.back())];
  if (slot && slot->directory) return Result::Denied;
  if (slot && (slot->attributes & 0x01)) return Result::Denied;
  if (!slot) {
    slot = std::make_unique<Node>();
    slot->name = names.back();
  }
  slot->data = data;
  slot->time = time;
  slot->attributes |= 0x20;
  if (!mirror_.empty()) {
    {
      std::ofstream out(HostPath(names), std::ios::binary | std::ios::trunc);
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    // The host file keeps the stamp, as the device does, so a served folder read again later
    // lists the same time.
    const TDateTime stamp = DosTimeValueToDateTime(time);
    if (stamp != 0) {
      try {
        timespec times[2] = {{0, UTIME_OMIT}, {LocalDateTimeToTime(stamp), 0}};
        utimensat(AT_FDCWD, HostPath(names).c_str(), times, 0);
      } catch (const std::runtime_error&) {
        // A stamp without a calendar time leaves the time of writing.
      }
    }
  }
  return Result::Ok;
}

SimFileSystem::Result SimFileSystem::Delete(const std::string& path) {
  const auto names = SplitPath(path);
  Node* parent = names.empty() ? nullptr : Parent(names);
  if (!parent) return Result::NotFound;
  auto it = parent->children.find(Lower(names.back()));
  if (it == parent->children.end()) return Result::NotFound;
  if (it->second->directory) {
    if (!it->second->children.empty()) return Result::NotEmpty;
  } else if (it->second->attributes & 0x01) {
    return Result::Denied;
  }
  if (!mirror_.empty()) RemoveHostTree(HostPath(names));
  parent->children.erase(it);
  return Result::Ok;
}

SimFileSystem::Result SimFileSystem::WipeDirectory(const std::string& path) {
  const auto names = SplitPath(path);
  if (names.empty()) return Result::Denied;
  Node* parent = Parent(names);
  if (!parent) return Result::PathNotFound;
  auto it = parent->children.find(Lower(names.back()));
  if (it == parent->children.end() || !it->second->directory) return Result::PathNotFound;
  if (!mirror_.empty()) RemoveHostTree(HostPath(names));
  parent->children.erase(it);
  return Result::Ok;
}

SimFileSystem::Result SimFileSystem::Rename(const std::string& path, const std::string& newName) {
  const auto names = SplitPath(path);
  Node* parent = names.empty() ? nullptr : Parent(names);
  if (!parent) return Result::NotFound;
  auto it = parent->children.find(Lower(names.back()));
  if (it == parent->children.end()) return Result::NotFound;
  // The new name may be given as a path; only its last part counts, in the same folder.
  const auto newNames = SplitPath(newName);
  if (newNames.empty() || !ValidName(newNames.back())) return Result::Denied;
  const std::string target = newNames.back();
  if (Lower(target) != it->first && parent->children.count(Lower(target))) return Result::Exists;
  std::unique_ptr<Node> node = std::move(it->second);
  parent->children.erase(it);
  if (!mirror_.empty()) {
    auto to = names;
    to.back() = target;
    std::rename(HostPath(names).c_str(), HostPath(to).c_str());
  }
  node->name = target;
  parent->children[Lower(target)] = std::move(node);
  return Result::Ok;
}

const char* SimFileSystem::ResultText(Result result) {
  switch (result) {
    case Result::Ok:
      return "0:No error";
    case Result::NotFound:
      return "2:File not found";
    case Result::PathNotFound:
      return "3:Path not found";
    case Result::Denied:
      return "5:Access denied";
    case Result::Exists:
      return "17:File exists";
    case Result::NotEmpty:
      return "39:Directory not empty";
  }
  return "1:Failed";
}

bool SimFileSystem::MirrorFolder(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  root_.children.clear();
  mirror_.clear();
  LoadFolder(folder, root_, 0);
  mirror_ = folder;
  return true;
}

void SimFileSystem::LoadFolder(const std::string& folder, Node& node, int depth) {
  if (depth > 16) return;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (!ValidName(name)) continue;
    const std::string full = folder + "/" + name;
    struct stat st {};
    if (lstat(full.c_str(), &st) != 0) continue;
    auto child = std::make_unique<Node>();
    child->name = name;
    child->time = DateTimeToDosTime(FileTimeOf(full));
    if (S_ISDIR(st.st_mode)) {
      child->directory = true;
      child->attributes = 0x10;
      LoadFolder(full, *child, depth + 1);
    } else if (S_ISREG(st.st_mode)) {
      std::ifstream in(full, std::ios::binary);
      std::ostringstream data;
      data << in.rdbuf();
      child->data = data.str();
    } else {
      continue;
    }
    node.children[Lower(name)] = std::move(child);
  }
  closedir(dir);
}

}  // namespace vxk
