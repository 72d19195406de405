// vxkctl get: device files, patterns and folders to local files, a local folder or standard
// output.
#include <filesystem>

#include "cli/CliContext.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "cli/DeviceListing.h"
#include "cli/DevicePaths.h"
#include "cli/FileCommandParts.h"
#include "cli/JsonObject.h"
#include "ops/LocalFiles.h"
#include "ops/TreeSaver.h"

namespace vxk {
namespace {

namespace fs = std::filesystem;

// Where the files of one get go, and what it has done so far.
struct GetRun {
  std::string local;  // a file, a folder, or "-"
  bool toFolder = false;
  int saved = 0;
  std::vector<std::string> items;    // JSON
  std::vector<std::string> skipped;  // JSON
};

void Skip(CliContext& c, GetRun& run, const std::string& path, const std::string& why) {
  c.err << "vxkctl: skipped " << ShownText(path) << " (" << why << ")\n";
  run.skipped.push_back(JsonObject().Device("path", path).Local("why", why).Text());
}

int GetTree(CliContext& c, GetRun& run, const std::string& path) {
  if (run.local == "-") return c.Usage("a folder cannot go to standard output");
  CliProgress progress(c.err, c.progressOnTty);
  TreeSaver saver(c.session.Terminal(), c.session.Files(), c.Context(&progress));
  TreeSaver::Result result;
  const bool root = NameOf(path) == "/" || NameOf(path).empty();
  if (root) {
    std::vector<TDirEntry> entries;
    std::vector<std::string> raw;
    const OpResult listed = ListEntries(c.session.Files(), "/", entries, &raw);
    if (!listed) return c.Fail("cannot list /" + Why(listed), listed);
    result = saver.SaveEntries(run.local, "", raw);
  } else {
    result =
        saver.SaveDeviceTree(run.local, ParentOf(path) == "/" ? "" : ParentOf(path), NameOf(path));
  }
  progress.Finish();
  for (const TreeSaver::Skipped& skipped : result.skipped) Skip(c, run, skipped.path, skipped.why);
  for (const TreeSaver::Unread& unread : result.unread)
    c.err << "vxkctl: cannot read " << ShownText(unread.path) << Why(unread.why) << "\n";
  if (result.result.reason == Reason::Cancelled || c.cancel) return c.Interrupted();
  run.saved += result.saved;
  const std::string local =
      root ? run.local : (fs::path(run.local) / DeviceNameToLocal(NameOf(path))).string();
  run.items.push_back(JsonObject()
                          .Device("device", path)
                          .Local("local", local)
                          .Bool("folder", true)
                          .Number("files", result.saved)
                          .Text());
  c.Note(ShownText(path) + " -> " + local + " (" + std::to_string(result.saved) + " files)");
  if (!result.result) return c.Fail("the save stopped" + Why(result.result), result.result);
  if (result.failed > 0) {
    return c.Fail(
        std::to_string(result.failed) + " files or folders could not be read",
        result.unread.empty() ? OpResult::Fail(Reason::BadReply) : result.unread.front().why);
  }
  return kExitOk;
}

int GetFile(CliContext& c, GetRun& run, const DeviceMatch& match) {
  std::string local = run.local;
  if (run.toFolder) {
    if (!IsSafeLocalName(match.entry.name)) {
      return c.FailWith(
          "refused the device name " + ShownText(match.entry.name) + "; give a local name",
          "bad_name");
    }
    local = (fs::path(run.local) / DeviceNameToLocal(match.entry.name)).string();
  }
  std::string content;
  CliProgress progress(c.err, c.progressOnTty);
  if (c.options.verbose) c.err << "reading " << ShownText(match.path) << "\n" << std::flush;
  progress.Start(ShownText(match.entry.name));
  const OpResult read = c.session.Files().ReadFile(match.path, content, c.Context(&progress));
  progress.Finish();
  if (c.cancel || read.reason == Reason::Cancelled) return c.Interrupted();
  if (!read) {
    return c.Fail(
        "cannot read " + ShownText(match.path) + Why(read) + " (the local file is left as it was)",
        read);
  }
  // With -r the local side is a folder, made when missing, as for the trees.
  WriteLocalOutput(c, local, content, match.entry.time1, c.options.parents || c.options.recursive);
  ++run.saved;
  run.items.push_back(JsonObject()
                          .Device("device", match.path)
                          .Local("local", local)
                          .Number("bytes", static_cast<int64_t>(content.size()))
                          .Text());
  c.Note(ShownText(match.path) + " -> " + local);
  return kExitOk;
}

int GetOne(CliContext& c, GetRun& run, const std::string& path, size_t sourceCount) {
  if (c.options.recursive && (path == "/" || NameOf(path) == "/")) return GetTree(c, run, "/");
  const Expansion x = ExpandDevicePath(c.session.Files(), path);
  if (x.lookup == Lookup::ListFailed)
    return c.Fail("cannot list " + ShownText(ParentOf(path)) + Why(x.listed), x.listed);
  if (x.lookup == Lookup::Missing) {
    return c.FailWith(
        (IsPattern(path) ? "nothing on the device matches " : "no such file on the device: ") +
            ShownText(path),
        code::kNotFound);
  }
  if (x.matches.size() > 1 && !run.toFolder) {
    return c.Usage(ShownText(path) + " matches " + std::to_string(x.matches.size()) +
                   " entries: the local side must be a folder");
  }
  for (const DeviceMatch& m : x.matches) {
    if (c.cancel) return c.Interrupted();
    int status;
    if (IsDirectory(m.entry)) {
      if (!c.options.recursive) {
        if (IsPattern(path) || sourceCount > 1) {
          Skip(c, run, m.path, "a folder; get -r copies folders");
          continue;
        }
        return c.FailWith(ShownText(path) + " is a folder; use get -r", code::kUsage);
      }
      status = GetTree(c, run, m.path);
    } else {
      status = GetFile(c, run, m);
    }
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

}  // namespace

int RunGet(CliContext& c) {
  const std::vector<std::string>& args = c.options.args;
  GetRun run;
  const size_t sources = args.size() == 1 ? 1 : args.size() - 1;
  run.local = args.size() == 1 ? "." : args.back();
  std::error_code ec;
  if (run.local != "-") {
    const bool namedFolder = run.local.back() == '/';
    if (namedFolder && !fs::is_directory(run.local, ec) && c.options.parents) {
      fs::create_directories(run.local, ec);
      if (ec) return c.FailWith("cannot make " + run.local + ": " + ec.message(), "local_error");
    }
    run.toFolder = fs::is_directory(run.local, ec) || c.options.recursive;
    if (namedFolder && !run.toFolder)
      return c.FailWith("no such local folder: " + run.local, "local_error");
  }
  if (sources > 1 && !run.toFolder)
    return c.Usage("several device paths need a local folder, not " + run.local);
  for (size_t i = 0; i < sources; ++i) {
    const int status = GetOne(c, run, DevicePathArg(args[i]), sources);
    if (status != kExitOk) return status;
  }
  if (c.options.json) {
    c.out << JsonObject()
                 .Number("saved", run.saved)
                 .Raw("items", JsonArray(run.items))
                 .Raw("skipped", JsonArray(run.skipped))
                 .Text()
          << "\n";
  }
  return kExitOk;
}

}  // namespace vxk
