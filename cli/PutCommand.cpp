// vxkctl put: local files, folders or standard input to the device.
#include <algorithm>
#include <filesystem>

#include "cli/CliContext.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "cli/DeviceListing.h"
#include "cli/DevicePaths.h"
#include "cli/FileCommandParts.h"
#include "cli/JsonObject.h"
#include "ops/LocalFiles.h"
#include "ops/ProperPlace.h"
#include "ops/Upload.h"

namespace vxk {
namespace {

namespace fs = std::filesystem;

// Local folders below this depth are not entered by put -r.
constexpr int kMaxPutDepth = 32;
// The most put - takes from standard input.
constexpr size_t kMaxInputBytes = size_t(256) << 20;

struct PutRun {
  CliProgress progress;
  std::vector<std::string> items;  // JSON
};

int Write(CliContext& c, PutRun& run, const std::string& shownLocal, const std::string& target,
          const std::string& content, TDateTime time) {
  run.progress.Start(ShownText(NameOf(target)));
  const OpResult written =
      c.session.Files().WriteFile(target, content, time, c.Context(&run.progress));
  run.progress.Finish();
  if (c.cancel || written.reason == Reason::Cancelled) return c.Interrupted();
  if (!written) return c.Fail("cannot write " + ShownText(target) + Why(written), written);
  c.Note(shownLocal + " -> " + ShownText(target));
  run.items.push_back(JsonObject()
                          .Local("local", shownLocal)
                          .Device("device", target)
                          .Number("bytes", static_cast<int64_t>(content.size()))
                          .Text());
  return kExitOk;
}

int PutFile(CliContext& c, PutRun& run, const std::string& localPath,
            const std::string& deviceDir) {
  const std::string name = LocalToDevice(fs::path(localPath).filename().string());
  std::string target = JoinDevicePath(deviceDir, name);
  if (c.options.route) {
    const std::string routed = ProperPlace(JoinDevicePath(deviceDir, ""), name);
    if (!routed.empty()) target = routed;
  }
  const LocalUpload upload = PrepareUpload(localPath);
  return Write(c, run, localPath, target, upload.content, upload.time);
}

int PutTree(CliContext& c, PutRun& run, const fs::path& local, const std::string& deviceDir,
            int depth) {
  if (depth > kMaxPutDepth) return c.Fail("folders nested too deep at " + local.string());
  const std::string folder = JoinDevicePath(deviceDir, LocalToDevice(local.filename().string()));
  if (HasControlChars(folder))
    return c.FailWith("refused the name " + ShownText(folder), "bad_name");
  TvxkFiles& files = c.session.Files();
  const OpResult made = files.MakeDirectory(folder);
  if (!made) {
    // An existing folder is fine to fill.
    TDirEntry e;
    if (FindEntry(files, folder, e) != Lookup::Found || !IsDirectory(e)) {
      return c.Fail("cannot make folder " + ShownText(folder) + Why(made), made);
    }
  }
  std::vector<fs::directory_entry> children;
  std::error_code ec;
  for (const auto& child : fs::directory_iterator(local, ec)) children.push_back(child);
  if (ec) throw LocalFileError("Cannot read folder " + local.string() + ": " + ec.message());
  std::sort(children.begin(), children.end(),
            [](const auto& a, const auto& b) { return a.path() < b.path(); });
  for (const auto& child : children) {
    if (c.cancel) return c.Interrupted();
    int status = kExitOk;
    if (child.is_symlink(ec) && child.is_directory(ec)) {
      c.err << "vxkctl: skipped " << child.path().string() << " (a link to a folder)\n";
    } else if (child.is_directory(ec)) {
      status = PutTree(c, run, child.path(), folder, depth + 1);
    } else {
      status = PutFile(c, run, child.path().string(), folder);
    }
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

int PutAll(CliContext& c, PutRun& run) {
  const std::vector<std::string>& args = c.options.args;
  if (args.front() == "-") {
    const std::string target = DevicePathArg(args.back());
    if (HasControlChars(target) || NameOf(target) == "/")
      return c.FailWith("refused the device file " + ShownText(target), "bad_name");
    const std::string content = ReadAllInput(c.inputFd, kMaxInputBytes);
    return Write(c, run, "-", target, content, 0);
  }
  const std::string dir = DevicePathArg(args.back());
  if (HasControlChars(dir))
    return c.FailWith("refused the device folder " + ShownText(dir), "bad_name");
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (c.cancel) return c.Interrupted();
    std::error_code ec;
    int status;
    if (fs::is_directory(args[i], ec)) {
      if (!c.options.recursive) return c.Usage(args[i] + " is a folder; use put -r");
      fs::path local = fs::path(args[i]).lexically_normal();
      if (local.filename().empty()) local = local.parent_path();
      status = PutTree(c, run, fs::absolute(local, ec), dir, 0);
    } else {
      status = PutFile(c, run, args[i], dir);
    }
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

}  // namespace

int RunPut(CliContext& c) {
  PutRun run{CliProgress(c.err, c.progressOnTty), {}};
  const int status = PutAll(c, run);
  if (status == kExitOk && c.options.json) {
    c.out << JsonObject()
                 .Number("written", static_cast<int64_t>(run.items.size()))
                 .Raw("items", JsonArray(run.items))
                 .Text()
          << "\n";
  }
  return status;
}

}  // namespace vxk
