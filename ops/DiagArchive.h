#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FileAccess/DateTime.h"
#include "FileAccess/vxkFiles.h"
#include "comms/OpContext.h"
#include "comms/vxTerminal.h"

namespace vxk {

// External attributes of the entries: the tool's own texts are marked for archiving, device
// files carry none.
constexpr uint32_t kDiagTextAttributes = 0x20;
constexpr uint32_t kDiagDeviceAttributes = 0;

// "vx.keeper." + serial + "." + yyyy-mm-dd-hhnnss + ".zip". Bytes of the serial that could
// leave the folder or confuse a file dialog (separators, control bytes) become "_".
std::string DiagArchiveName(const std::string& serial, TDateTime localNow);

// Joins a device folder and a name: one leading "/" of the name goes; an empty folder gives
// the name, a folder ending in "/" is followed by the name directly, others get a "/" between.
std::string JoinPath(const std::string& folder, const std::string& name);

// Whether a device file name can go into an entry name: not empty, ".", "..", and without
// "/", "\" or NUL, so that nobody unpacking the archive writes outside its folder.
bool SafeEntryName(const std::string& name);

// Text with every line end (CR LF, CR or LF) as CR LF.
std::string CrLfLines(const std::string& text);

// The packed DOS date-time of a local date-time; 0 (the current time, to the writer) for 0.
uint32_t EntryTime(TDateTime time);

struct DiagRequest {
  std::string path;      // the archive file
  std::string password;  // 8-bit bytes; empty: no encryption
  std::string info;      // the device information text, CR LF lines
  std::string capabilities;
  // Device folders to collect, in order ("/Config", ..., "/").
  std::vector<std::string> folders;
  // The tool's panes, as (entry name, content), stored last in this order.
  std::vector<std::pair<std::string, std::string>> panes;
};

struct DiagResult {
  // Cancelled, or BadReply for a listing line that cannot be read (nothing written then).
  OpResult result;
  int files = 0;  // device files stored
  // Device names left out because they would make unsafe or duplicate entries.
  std::vector<std::string> skipped;
  // Folders asked for that the device could not list (not there, or no answer).
  std::vector<std::string> unlisted;
};

// Builds the diagnostics archive: the device information, the "?c,i" report, the files of
// the chosen folders (not their sub-folders), then the panes. A device that is gone or silent
// gives an empty report, and folders or files it cannot deliver are left out; the archive is
// still written. A malformed listing line fails it as a bad reply; a local fault (the file)
// raises ZipError. Then, as after a cancel, the file that was there before is kept.
class DiagArchive {
 public:
  DiagArchive(TvxTerminal& terminal, TvxkFiles& files) : terminal_(terminal), files_(files) {}

  // The context's step gets each step's line, its progress each file's bytes; its cancel flag
  // is looked at between steps and blocks.
  DiagResult Save(const DiagRequest& request, const OpContext& context = {});

  // The device's answer to "?c,i"; empty on a closed link or a busy lock.
  std::string Report();

 private:
  TvxTerminal& terminal_;
  TvxkFiles& files_;
};

}  // namespace vxk
