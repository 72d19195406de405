#pragma once

#include <QString>
#include <vector>

#include "ui/ConnectTarget.h"

namespace vxk {

// A window's stored left, top, width and height; -1 where nothing (usable) is stored.
struct Placement {
  int x = -1;
  int y = -1;
  int w = -1;
  int h = -1;
};

// What the tool keeps between runs.
struct StoredSettings {
  QString openDir;    // where the firmware file dialog starts
  QString saveToDir;  // Save to PC's folder, without a trailing "/"
  QString dir;        // the main window's path box, as typed
  QString diagDir;    // where the diagnostics save dialog starts
  Placement main;
  Placement log;
};

// The per-user settings store: an INI file "Corvane Electronics/vxkTool.conf" in the user's
// configuration folder (XDG_CONFIG_HOME when set). The only place that touches it.
class ToolSettings {
 public:
  // The file, looked up again on every call.
  static QString FilePath();
  // The user's home folder with a trailing "/": where the folders start on a first run.
  static QString DefaultFolder();
  // Missing or unreadable values take their defaults; a number that does not convert counts
  // as missing.
  static StoredSettings Load();
  static void Save(const StoredSettings& settings);
  // ServerChildLimit: how many tool processes the server daemon keeps at once. Only the
  // user writes it; a value that is missing, not a number or below 1 gives fallback.
  static int ServerChildLimit(int fallback);
  // The links the Connect dialog started last, the most recent first (at most
  // kRecentConnections). Keys are never among them: those go to the desktop keyring.
  static std::vector<ConnectTarget> RecentConnections();
  static void SaveRecentConnections(const std::vector<ConnectTarget>& recent);
};

}  // namespace vxk
