#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vxk {

// The virtual device's file tree, in memory. Names compare without regard to case, as on the
// device's FAT volume, and keep the case they were created with. With a mirror folder, the
// tree is loaded from it and every change is written back.
class SimFileSystem {
 public:
  struct Node {
    std::string name;
    bool directory = false;
    std::string data;
    int attributes = 0x20;
    uint32_t time = 0;                                      // packed date-time
    std::map<std::string, std::unique_ptr<Node>> children;  // key: lower-case name
  };

  enum class Result { Ok, NotFound, PathNotFound, Exists, Denied, NotEmpty };

  SimFileSystem();

  // A small tree with /Config, /Lua, /Logs, /Store, /Send and /System and a file in the root.
  static std::unique_ptr<SimFileSystem> Demo(uint32_t time);
  // Loads the tree from a folder and mirrors every change there; false when it is unreadable.
  bool MirrorFolder(const std::string& folder);

  // Splits a device path into names; "", "/" and "//" are the root.
  static std::vector<std::string> SplitPath(const std::string& path);
  Node* Find(const std::string& path);
  Result MakeDirectory(const std::string& path, uint32_t time);
  Result WriteFile(const std::string& path, const std::string& data, uint32_t time);
  Result Delete(const std::string& path);
  Result WipeDirectory(const std::string& path);
  Result Rename(const std::string& path, const std::string& newName);

  Node& Root() { return root_; }
  static const char* ResultText(Result result);

 private:
  Node* Parent(const std::vector<std::string>& names);
  std::string HostPath(const std::vector<std::string>& names) const;
  void LoadFolder(const std::string& folder, Node& node, int depth);

  Node root_;
  std::string mirror_;
};

}  // namespace vxk
