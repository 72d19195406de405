// The file commands of vxkctl that need no local files: ls, rm, mkdir, mv, cat.
#include <cstdio>

#include "FileAccess/DateTime.h"
#include "cli/CliContext.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "cli/DeviceListing.h"
#include "cli/DevicePaths.h"
#include "cli/FileCommandParts.h"
#include "cli/JsonObject.h"
#include "ops/LocalFiles.h"

namespace vxk {
namespace {

std::string TimeText(TDateTime t) {
  return t == 0 ? std::string("                   ") : FormatDateTime(t);
}

std::string EntryJson(const TDirEntry& e) {
  JsonObject json;
  json.Device("name", e.name)
      .Number("size", e.size)
      .Number("attributes", e.attributes & 0xFF)
      .Bool("directory", IsDirectory(e));
  if (e.time1 == 0) {
    json.Null("time");
  } else {
    json.Local("time", FormatDateTime(e.time1));
  }
  return json.Text();
}

void PrintEntry(CliContext& c, const TDirEntry& e) {
  if (!c.options.longList) {
    c.out << ShownText(e.name) << (IsDirectory(e) ? "/" : "") << "\n";
    return;
  }
  char size[32];
  std::snprintf(size, sizeof size, "%12lld", static_cast<long long>(e.size));
  std::string attrs = TvxkFiles::AttributeText(e.attributes);
  attrs.resize(5, ' ');
  c.out << attrs << " " << (IsDirectory(e) ? std::string(12, ' ') : std::string(size)) << "  "
        << TimeText(e.time1) << "  " << ShownText(e.name) << (IsDirectory(e) ? "/" : "") << "\n";
}

// The entries ls shows for its argument: a folder's, the one file a path names, or those a
// pattern matches. Returns an exit status.
int LsEntries(CliContext& c, const std::string& path, std::vector<TDirEntry>& entries) {
  TvxkFiles& files = c.session.Files();
  if (IsPattern(path)) {
    const Expansion x = ExpandDevicePath(files, path);
    if (x.lookup == Lookup::ListFailed)
      return c.Fail("cannot list " + ShownText(ParentOf(path)) + Why(x.listed), x.listed);
    if (x.lookup == Lookup::Missing)
      return c.FailWith("nothing on the device matches " + ShownText(path), code::kNotFound);
    for (const DeviceMatch& m : x.matches) entries.push_back(m.entry);
    return kExitOk;
  }
  const OpResult listed = ListEntries(files, path, entries);
  if (listed) return kExitOk;
  // A path that names a file is no folder to list: it lists itself.
  TDirEntry entry;
  if (listed.reason == Reason::Refused && NameOf(path) != "/" &&
      FindEntry(files, path, entry) == Lookup::Found && !IsDirectory(entry)) {
    entries = {entry};
    return kExitOk;
  }
  return c.Fail("cannot list " + ShownText(path) + Why(listed), listed);
}

}  // namespace

int RunLs(CliContext& c) {
  const std::string path = c.options.args.empty() ? "/" : DevicePathArg(c.options.args[0]);
  std::vector<TDirEntry> entries;
  const int status = LsEntries(c, path, entries);
  if (status != kExitOk) return status;
  if (c.options.json) {
    std::vector<std::string> items;
    for (const TDirEntry& e : entries) items.push_back(EntryJson(e));
    c.out << JsonArray(items) << "\n";
    return kExitOk;
  }
  for (const TDirEntry& e : entries) PrintEntry(c, e);
  return kExitOk;
}

int RunRm(CliContext& c) {
  TvxkFiles& files = c.session.Files();
  std::vector<std::string> removed;
  for (const std::string& arg : c.options.args) {
    const std::string path = DevicePathArg(arg);
    std::vector<std::string> targets;
    if (IsPattern(path)) {
      const Expansion x = ExpandDevicePath(files, path);
      if (x.lookup == Lookup::ListFailed)
        return c.Fail("cannot list " + ShownText(ParentOf(path)) + Why(x.listed), x.listed);
      for (const DeviceMatch& m : x.matches) {
        if (IsDirectory(m.entry) && !c.options.recursive) {
          c.Note("skipped " + ShownText(m.path) + " (a folder; rm -r deletes folders)");
        } else {
          targets.push_back(m.path);
        }
      }
      if (targets.empty())
        return c.FailWith("nothing on the device matches " + ShownText(path), code::kNotFound);
    } else {
      targets.push_back(path);
    }
    for (const std::string& target : targets) {
      if (c.cancel) return c.Interrupted();
      const OpResult done =
          c.options.recursive ? files.WipeDirectory(target) : files.DeleteFile(target);
      if (!done) return c.Fail("cannot delete " + ShownText(target) + Why(done), done);
      c.Note("removed " + ShownText(target));
      removed.push_back(JsonString(target));
    }
  }
  if (c.options.json) c.out << JsonObject().Raw("removed", JsonArray(removed)).Text() << "\n";
  return kExitOk;
}

int RunMkdir(CliContext& c) {
  std::vector<std::string> made;
  for (const std::string& arg : c.options.args) {
    if (c.cancel) return c.Interrupted();
    const std::string path = DevicePathArg(arg);
    const OpResult done = c.session.Files().MakeDirectory(path);
    if (!done) return c.Fail("cannot make folder " + ShownText(path) + Why(done), done);
    c.Note("made folder " + ShownText(path));
    made.push_back(JsonString(path));
  }
  if (c.options.json) c.out << JsonObject().Raw("made", JsonArray(made)).Text() << "\n";
  return kExitOk;
}

int RunMv(CliContext& c) {
  const std::string path = DevicePathArg(c.options.args[0]);
  std::string name = DevicePathArg(c.options.args[1]);
  if (name.find('/') != std::string::npos) {
    // The device renames within a folder; a path naming the same folder is taken.
    if (ParentOf(name) != ParentOf(path)) return c.Usage("the device renames within a folder only");
    name = NameOf(name);
  }
  if (name.empty() || name == "." || name == ".." || HasControlChars(name)) {
    return c.FailWith("refused the name " + ShownText(name), "bad_name");
  }
  const OpResult renamed = c.session.Files().RenameFile(path, name);
  if (!renamed) {
    return c.Fail("cannot rename " + ShownText(path) + " to " + ShownText(name) + Why(renamed),
                  renamed);
  }
  const std::string to = JoinDevicePath(ParentOf(path), name);
  c.Note("renamed " + ShownText(path) + " -> " + ShownText(to));
  if (c.options.json) c.out << JsonObject().Device("from", path).Device("to", to).Text() << "\n";
  return kExitOk;
}

int RunCat(CliContext& c) {
  std::vector<std::string> items;
  for (const std::string& arg : c.options.args) {
    const std::string path = DevicePathArg(arg);
    std::string content;
    CliProgress progress(c.err, c.progressOnTty);
    progress.Start(ShownText(NameOf(path)));
    const OpResult read = c.session.Files().ReadFile(path, content, c.Context(&progress));
    progress.Finish();
    if (c.cancel || read.reason == Reason::Cancelled) return c.Interrupted();
    if (!read) return c.Fail("cannot read " + ShownText(path) + Why(read), read);
    if (c.options.json) {
      items.push_back(JsonObject()
                          .Device("path", path)
                          .Number("bytes", static_cast<int64_t>(content.size()))
                          .Device("content", content)
                          .Text());
      continue;
    }
    // A terminal gets the lines made harmless; a pipe or file the bytes as they are.
    if (c.outputOnTty) content = ShownLines(content);
    c.out.write(content.data(), static_cast<std::streamsize>(content.size()));
    c.out.flush();
    if (!c.out) return c.Fail("cannot write to standard output");
  }
  if (c.options.json) c.out << JsonObject().Raw("files", JsonArray(items)).Text() << "\n";
  return kExitOk;
}

}  // namespace vxk
