#pragma once

#include <functional>
#include <string>
#include <vector>

#include "FileAccess/vxkFiles.h"

namespace vxk {

// Copies device files and whole device folders into a local folder. Each file is received
// whole, then written atomically with the device's first time stamp as its modification time.
// Entries whose names could reach outside the local folder (empty, ".", "..", "/", "\", NUL)
// are skipped, and folders deeper than kMaxDepth are not entered, so a device that lists a
// folder inside itself cannot recurse without end. A failed read never touches the local file.
//
// Local errors (a folder or file that cannot be created) and an unparsable listing line
// inside a saved tree throw (LocalFileError, ConversionError) and end the run.
class TreeSaver {
 public:
  enum class Status { Done, Cancelled, LinkDown };
  // A device file or folder that could not be read, and why.
  struct Unread {
    std::string path;
    OpResult why;
  };
  struct Result {
    Status status = Status::Done;
    int saved = 0;                     // local files written
    int failed = 0;                    // device files or folders that could not be read
    std::vector<Unread> unread;        // in the order met
    std::vector<std::string> skipped;  // device paths left out (unsafe name, too deep)
  };

  static constexpr int kMaxDepth = 32;

  TreeSaver(TvxTerminal& terminal, TvxkFiles& files);

  // Told the saved-file count before each selected entry and after each written file.
  std::function<void(int saved)> OnCount;
  // Asked before each entry; true ends the run with Status::Cancelled.
  std::function<bool()> Cancelled;
  // Folders nested deeper than this are left out.
  int MaxDepth = kMaxDepth;

  // Saves the selected entries of one device folder, given as their raw listing lines in list
  // order: files first, then folders (".." is never saved).
  Result SaveEntries(const std::string& localFolder, const std::string& deviceFolder,
                     const std::vector<std::string>& rawLines);
  // Saves the device folder deviceParent + "/" + name as localParent/name.
  Result SaveDeviceTree(const std::string& localParent, const std::string& deviceParent,
                        const std::string& name);

 private:
  bool Stop();
  void SaveFile(const std::string& localPath, const std::string& devicePath, TDateTime time);
  void SaveTree(const std::string& localParent, const std::string& deviceParent,
                const std::string& name, int depth);
  void Count();

  TvxTerminal& terminal_;
  TvxkFiles& files_;
  Result result_;
};

}  // namespace vxk
