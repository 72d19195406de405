// The file commands of vxkctl: info, ls, get, put, rm, mkdir, mv, cat.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "FileAccess/DateTime.h"
#include "cli/CliContext.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "ops/LocalFiles.h"
#include "ops/ProperPlace.h"
#include "ops/TreeSaver.h"
#include "ops/Upload.h"

namespace vxk {
namespace {

namespace fs = std::filesystem;

// Local folders below this depth are not entered by put -r.
constexpr int kMaxPutDepth = 32;

bool IsDirectory(const TDirEntry& e) {
  return (e.attributes & TvxkFiles::kAttrDirectory) != 0;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The device folder part of a path ("/" for a top-level name).
std::string ParentOf(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const size_t slash = p.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return p.substr(0, slash);
}

std::string NameOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return FileNamePart(path);
}

// ": " and why an operation failed, for a message.
std::string Why(const OpResult& result) {
  return ": " + ShownText(DescribeResult(result));
}

// The parsed entries of a listing, "." and ".." and unparsable lines left out.
OpResult ListEntries(TvxkFiles& files, const std::string& folder, std::vector<TDirEntry>& entries,
                     std::vector<std::string>* raw = nullptr) {
  std::vector<std::string> lines;
  const OpResult listed = files.ListDirectory(folder, lines);
  if (!listed) return listed;
  entries.clear();
  for (const std::string& line : lines) {
    TDirEntry e;
    if (!TvxkFiles::TryParseEntry(line, e) || e.name == "." || e.name == "..") continue;
    entries.push_back(e);
    if (raw) raw->push_back(line);
  }
  return listed;
}

enum class Lookup { Found, Missing, ListFailed };

// The listing entry of a device path; the exact name first, then one that differs only in
// letter case (the device's names are not case-sensitive).
Lookup FindEntry(TvxkFiles& files, const std::string& path, TDirEntry& entry,
                 OpResult* listed = nullptr) {
  std::vector<TDirEntry> entries;
  const OpResult result = ListEntries(files, ParentOf(path), entries);
  if (listed) *listed = result;
  if (!result) return Lookup::ListFailed;
  const std::string name = NameOf(path);
  for (const TDirEntry& e : entries) {
    if (e.name == name) {
      entry = e;
      return Lookup::Found;
    }
  }
  for (const TDirEntry& e : entries) {
    if (EqualNoCase(e.name, name)) {
      entry = e;
      return Lookup::Found;
    }
  }
  return Lookup::Missing;
}

std::string TimeText(TDateTime t) {
  return t == 0 ? std::string("                   ") : FormatDateTime(t);
}

int Interrupted(CliContext& c) {
  c.err << "vxkctl: interrupted\n";
  return kExitInterrupted;
}

int GetTree(CliContext& c, const std::string& path, const std::string& localParent) {
  CliProgress progress(c.err, c.progressOnTty);
  TreeSaver saver(c.session.Terminal(), c.session.Files(), c.Context(&progress));
  TreeSaver::Result result;
  if (NameOf(path) == "/" || NameOf(path).empty()) {
    std::vector<TDirEntry> entries;
    std::vector<std::string> raw;
    const OpResult listed = ListEntries(c.session.Files(), "/", entries, &raw);
    if (!listed) return c.Fail("cannot list /" + Why(listed));
    result = saver.SaveEntries(localParent, "", raw);
  } else {
    result = saver.SaveDeviceTree(localParent, ParentOf(path) == "/" ? "" : ParentOf(path),
                                  NameOf(path));
  }
  progress.Finish();
  for (const TreeSaver::Skipped& skipped : result.skipped) {
    c.err << "vxkctl: skipped " << ShownText(skipped.path) << " (" << skipped.why << ")\n";
  }
  for (const TreeSaver::Unread& unread : result.unread)
    c.err << "vxkctl: cannot read " << ShownText(unread.path) << Why(unread.why) << "\n";
  if (result.result.reason == Reason::Cancelled || c.cancel) return Interrupted(c);
  c.Note(std::to_string(result.saved) + " files saved");
  if (result.result.reason == Reason::LinkLost) return c.Fail("the device went away");
  if (!result.result) return c.Fail("the save stopped" + Why(result.result));
  if (result.failed > 0)
    return c.Fail(std::to_string(result.failed) + " files or folders could not be read");
  return kExitOk;
}

int PutFile(CliContext& c, CliProgress& progress, const std::string& localPath,
            const std::string& deviceDir) {
  const std::string name = LocalToDevice(fs::path(localPath).filename().string());
  std::string target = JoinDevicePath(deviceDir, name);
  if (c.options.route) {
    const std::string routed = ProperPlace(JoinDevicePath(deviceDir, ""), name);
    if (!routed.empty()) target = routed;
  }
  const LocalUpload upload = PrepareUpload(localPath);
  progress.Start(ShownText(name));
  const OpResult written =
      c.session.Files().WriteFile(target, upload.content, upload.time, c.Context(&progress));
  progress.Finish();
  if (c.cancel || written.reason == Reason::Cancelled) return Interrupted(c);
  if (!written) return c.Fail("cannot write " + ShownText(target) + Why(written));
  c.Note(localPath + " -> " + ShownText(target));
  return kExitOk;
}

int PutTree(CliContext& c, CliProgress& progress, const fs::path& local,
            const std::string& deviceDir, int depth) {
  if (depth > kMaxPutDepth) return c.Fail("folders nested too deep at " + local.string());
  const std::string folder = JoinDevicePath(deviceDir, LocalToDevice(local.filename().string()));
  if (HasControlChars(folder)) return c.Fail("refused the name " + ShownText(folder));
  TvxkFiles& files = c.session.Files();
  const OpResult made = files.MakeDirectory(folder);
  if (!made) {
    // An existing folder is fine to fill.
    TDirEntry e;
    if (FindEntry(files, folder, e) != Lookup::Found || !IsDirectory(e)) {
      return c.Fail("cannot make folder " + ShownText(folder) + Why(made));
    }
  }
  std::vector<fs::directory_entry> children;
  std::error_code ec;
  for (const auto& child : fs::directory_iterator(local, ec)) children.push_back(child);
  if (ec) throw LocalFileError("Cannot read folder " + local.string() + ": " + ec.message());
  std::sort(children.begin(), children.end(),
            [](const auto& a, const auto& b) { return a.path() < b.path(); });
  for (const auto& child : children) {
    if (c.cancel) return Interrupted(c);
    int status = kExitOk;
    if (child.is_symlink(ec) && child.is_directory(ec)) {
      c.err << "vxkctl: skipped " << child.path().string() << " (a link to a folder)\n";
    } else if (child.is_directory(ec)) {
      status = PutTree(c, progress, child.path(), folder, depth + 1);
    } else {
      status = PutFile(c, progress, child.path().string(), folder);
    }
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

}  // namespace

std::string JoinDevicePath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return "/" + name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

int RunInfo(CliContext& c) {
  TvxComms& link = c.session.Link();
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"manufacturer", link.Manufacturer()}, {"serial", link.SerialNumber()},
      {"product", link.ProductName()},       {"firmware", link.FirmwareVersion()},
      {"build", link.FirmwareBuild()},       {"date", link.FirmwareDate()},
      {"capabilities", link.Capabilities()}};
  if (c.options.json) {
    c.out << "{";
    for (size_t i = 0; i < fields.size(); ++i) {
      c.out << (i ? ", " : "") << "\"" << fields[i].first << "\": " << JsonString(fields[i].second);
    }
    c.out << "}\n";
  } else {
    for (const auto& [name, value] : fields) {
      c.out << name << ": " << ShownText(value) << "\n";
    }
  }
  return kExitOk;
}

int RunLs(CliContext& c) {
  const std::string folder = c.options.args.empty() ? "/" : c.options.args[0];
  std::vector<TDirEntry> entries;
  const OpResult listed = ListEntries(c.session.Files(), folder, entries);
  if (!listed) return c.Fail("cannot list " + ShownText(folder) + Why(listed));
  if (c.options.json) {
    c.out << "[";
    for (size_t i = 0; i < entries.size(); ++i) {
      const TDirEntry& e = entries[i];
      c.out << (i ? ",\n " : "") << "{\"name\": " << JsonString(e.name) << ", \"size\": " << e.size
            << ", \"attributes\": " << (e.attributes & 0xFF)
            << ", \"directory\": " << (IsDirectory(e) ? "true" : "false") << ", \"time\": "
            << (e.time1 == 0 ? std::string("null") : "\"" + FormatDateTime(e.time1) + "\"") << "}";
    }
    c.out << "]\n";
    return kExitOk;
  }
  for (const TDirEntry& e : entries) {
    if (c.options.longList) {
      char size[32];
      std::snprintf(size, sizeof size, "%12lld", static_cast<long long>(e.size));
      std::string attrs = TvxkFiles::AttributeText(e.attributes);
      attrs.resize(5, ' ');
      c.out << attrs << " " << (IsDirectory(e) ? std::string(12, ' ') : std::string(size)) << "  "
            << TimeText(e.time1) << "  " << ShownText(e.name) << (IsDirectory(e) ? "/" : "")
            << "\n";
    } else {
      c.out << ShownText(e.name) << (IsDirectory(e) ? "/" : "") << "\n";
    }
  }
  return kExitOk;
}

int RunGet(CliContext& c) {
  const std::string& path = c.options.args[0];
  TvxkFiles& files = c.session.Files();
  if (c.options.recursive && (path == "/" || NameOf(path) == "/")) {
    return GetTree(c, "/", c.options.args.size() > 1 ? c.options.args[1] : ".");
  }
  TDirEntry entry;
  OpResult listed;
  switch (FindEntry(files, path, entry, &listed)) {
    case Lookup::ListFailed:
      return c.Fail("cannot list " + ShownText(ParentOf(path)) + Why(listed));
    case Lookup::Missing:
      return c.Fail("no such file on the device: " + ShownText(path));
    case Lookup::Found:
      break;
  }
  if (IsDirectory(entry)) {
    if (!c.options.recursive) return c.Fail(ShownText(path) + " is a folder; use get -r");
    return GetTree(c, JoinDevicePath(ParentOf(path), entry.name),
                   c.options.args.size() > 1 ? c.options.args[1] : ".");
  }
  std::string local;
  if (c.options.args.size() > 1 && !fs::is_directory(c.options.args[1])) {
    local = c.options.args[1];
  } else {
    if (!IsSafeLocalName(entry.name)) {
      return c.Fail("refused the device name " + ShownText(entry.name) + "; give a local name");
    }
    const std::string name = DeviceNameToLocal(entry.name);
    local = c.options.args.size() > 1 ? (fs::path(c.options.args[1]) / name).string() : name;
  }
  std::string content;
  CliProgress progress(c.err, c.progressOnTty);
  OpResult read;
  {
    if (c.options.verbose) c.err << "reading " << ShownText(path) << "\n" << std::flush;
    progress.Start(ShownText(entry.name));
    read =
        files.ReadFile(JoinDevicePath(ParentOf(path), entry.name), content, c.Context(&progress));
    progress.Finish();
  }
  if (c.cancel || read.reason == Reason::Cancelled) return Interrupted(c);
  if (!read)
    return c.Fail("cannot read " + ShownText(path) + Why(read) +
                  " (the local file is left as it was)");
  WriteLocalFile(local, content, entry.time1);
  return kExitOk;
}

int RunPut(CliContext& c) {
  const std::vector<std::string>& args = c.options.args;
  const std::string& dir = args.back();
  if (HasControlChars(dir)) return c.Fail("refused the device folder " + ShownText(dir));
  CliProgress progress(c.err, c.progressOnTty);
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (c.cancel) return Interrupted(c);
    std::error_code ec;
    int status;
    if (fs::is_directory(args[i], ec)) {
      if (!c.options.recursive) return c.Fail(args[i] + " is a folder; use put -r");
      fs::path local = fs::path(args[i]).lexically_normal();
      if (local.filename().empty()) local = local.parent_path();
      status = PutTree(c, progress, fs::absolute(local, ec), dir, 0);
    } else {
      status = PutFile(c, progress, args[i], dir);
    }
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

int RunRm(CliContext& c) {
  const std::string& path = c.options.args[0];
  TvxkFiles& files = c.session.Files();
  const OpResult removed = c.options.recursive ? files.WipeDirectory(path) : files.DeleteFile(path);
  return removed ? kExitOk : c.Fail("cannot delete " + ShownText(path) + Why(removed));
}

int RunMkdir(CliContext& c) {
  const std::string& path = c.options.args[0];
  const OpResult made = c.session.Files().MakeDirectory(path);
  return made ? kExitOk : c.Fail("cannot make folder " + ShownText(path) + Why(made));
}

int RunMv(CliContext& c) {
  const std::string& path = c.options.args[0];
  std::string name = c.options.args[1];
  if (name.find('/') != std::string::npos) {
    // The device renames within a folder; a path naming the same folder is taken.
    if (ParentOf(name) != ParentOf(path)) {
      c.err << "vxkctl: the device renames within a folder only\n";
      return kExitUsage;
    }
    name = NameOf(name);
  }
  if (name.empty() || name == "." || name == ".." || HasControlChars(name)) {
    return c.Fail("refused the name " + ShownText(name));
  }
  const OpResult renamed = c.session.Files().RenameFile(path, name);
  return renamed
             ? kExitOk
             : c.Fail("cannot rename " + ShownText(path) + " to " + ShownText(name) + Why(renamed));
}

int RunCat(CliContext& c) {
  const std::string& path = c.options.args[0];
  std::string content;
  CliProgress progress(c.err, c.progressOnTty);
  OpResult read;
  {
    progress.Start(ShownText(NameOf(path)));
    read = c.session.Files().ReadFile(path, content, c.Context(&progress));
    progress.Finish();
  }
  if (c.cancel || read.reason == Reason::Cancelled) return Interrupted(c);
  if (!read) return c.Fail("cannot read " + ShownText(path) + Why(read));
  // A terminal gets the lines made harmless; a pipe or file the bytes as they are.
  if (c.outputOnTty) content = ShownLines(content);
  c.out.write(content.data(), static_cast<std::streamsize>(content.size()));
  c.out.flush();
  return c.out ? kExitOk : c.Fail("cannot write to standard output");
}

}  // namespace vxk
