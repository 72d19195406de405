#pragma once

#include <functional>
#include <string>
#include <vector>

#include "FileAccess/vxkFiles.h"

namespace vxk {

class LocalFolder;

// Copies device files and whole device folders into a local folder. Each file is received
// whole, then written atomically with the device's first time stamp as its modification time.
// Entries whose names could reach outside the local folder (empty, ".", "..", "/", "\", NUL)
// or that are too long for a local name are skipped, and folders deeper than kMaxDepth are
// not entered, so a device that lists a folder inside itself cannot recurse without end. A
// failed read never touches the local file. Below the folder given, folders are opened by
// descriptor and never through a symbolic link: one planted there is refused.
//
// Local errors (a folder or file that cannot be created, a refused link) throw LocalFileError
// and end the run; an unparsable listing line inside a saved tree ends it as a bad reply.
// The context's cancel flag is looked at before each entry and within each transfer; its step
// is told each device file as it is read, its progress that file's bytes.
class TreeSaver {
 public:
  // A device file or folder that could not be read, and why.
  struct Unread {
    std::string path;
    OpResult why;
  };
  // A device entry left out, and why (a short phrase for the user).
  struct Skipped {
    std::string path;
    std::string why;
  };
  struct Result {
    OpResult result;               // Cancelled, LinkLost or BadReply when the run ended early
    int saved = 0;                 // local files written
    int failed = 0;                // device files or folders that could not be read
    std::vector<Unread> unread;    // in the order met
    std::vector<Skipped> skipped;  // entries left out, in the order met
  };

  static constexpr int kMaxDepth = 32;

  TreeSaver(TvxTerminal& terminal, TvxkFiles& files, OpContext context = {});

  // Told the saved-file count before each selected entry and after each written file.
  std::function<void(int saved)> OnCount;
  // Folders nested deeper than this are left out.
  int MaxDepth = kMaxDepth;

  // Saves the selected entries of one device folder, given as their raw listing lines in list
  // order: files first, then folders (".." is never saved). An empty localFolder is "/".
  Result SaveEntries(const std::string& localFolder, const std::string& deviceFolder,
                     const std::vector<std::string>& rawLines);
  // Saves the device folder deviceParent + "/" + name as localParent/name.
  Result SaveDeviceTree(const std::string& localParent, const std::string& deviceParent,
                        const std::string& name);

 private:
  bool Stop();
  // The local name of a device entry in folder; false, with the entry skipped, when it has
  // none that is safe and fits.
  bool LocalName(const LocalFolder& folder, const std::string& devicePath, const std::string& name,
                 std::string& local);
  void SaveFile(const LocalFolder& folder, const std::string& localName,
                const std::string& devicePath, TDateTime time);
  void SaveTree(const LocalFolder& parent, const std::string& deviceParent, const std::string& name,
                int depth);
  void Count();

  TvxTerminal& terminal_;
  TvxkFiles& files_;
  OpContext context_;
  Result result_;
};

}  // namespace vxk
