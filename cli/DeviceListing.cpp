#include "cli/DeviceListing.h"

#include "cli/DevicePaths.h"

namespace vxk {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool IsDirectory(const TDirEntry& e) {
  return (e.attributes & TvxkFiles::kAttrDirectory) != 0;
}

OpResult ListEntries(TvxkFiles& files, const std::string& folder, std::vector<TDirEntry>& entries,
                     std::vector<std::string>* raw) {
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

Lookup FindEntry(TvxkFiles& files, const std::string& path, TDirEntry& entry, OpResult* listed) {
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

Expansion ExpandDevicePath(TvxkFiles& files, const std::string& path) {
  Expansion x;
  const std::string folder = ParentOf(path);
  if (!IsPattern(path)) {
    TDirEntry entry;
    x.lookup = FindEntry(files, path, entry, &x.listed);
    if (x.lookup == Lookup::Found) x.matches.push_back({JoinDevicePath(folder, entry.name), entry});
    return x;
  }
  std::vector<TDirEntry> entries;
  x.listed = ListEntries(files, folder, entries);
  if (!x.listed) {
    x.lookup = Lookup::ListFailed;
    return x;
  }
  const std::string pattern = NameOf(path);
  for (const TDirEntry& e : entries) {
    if (MatchesPattern(pattern, e.name)) x.matches.push_back({JoinDevicePath(folder, e.name), e});
  }
  x.lookup = x.matches.empty() ? Lookup::Missing : Lookup::Found;
  return x;
}

}  // namespace vxk
