#include "sim/FileService.h"

#include <algorithm>
#include <cstdlib>

#include "FileAccess/DateTime.h"
#include "FileAccess/DosTime.h"
#include "sim/VirtualDevice.h"

namespace vxk {
namespace {

// Takes the first argument off args: a quoted text, or everything up to a blank or TAB.
std::string TakeArg(std::string& args) {
  size_t start = args.find_first_not_of(' ');
  if (start == std::string::npos) {
    args.clear();
    return std::string();
  }
  std::string arg;
  size_t end;
  if (args[start] == '"') {
    end = args.find('"', start + 1);
    arg = args.substr(start + 1, end == std::string::npos ? end : end - start - 1);
    end = end == std::string::npos ? args.size() : end + 1;
  } else {
    end = args.find_first_of(" \t", start);
    if (end == std::string::npos) end = args.size();
    arg = args.substr(start, end - start);
  }
  args.erase(0, end);
  return arg;
}

std::string StripAt(std::string args) {
  const size_t at = args.find_first_not_of(' ');
  if (at != std::string::npos && args[at] == '@') args.erase(0, at + 1);
  return args;
}

std::vector<std::string> SplitTabs(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = text.find('\t', start);
    fields.push_back(text.substr(start, tab == std::string::npos ? tab : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::string EntryLine(const SimFileSystem::Node& node, const std::string& name) {
  const std::string t = std::to_string(node.time);
  return name + "\t" + std::to_string(node.directory ? 0 : node.data.size()) + "\t" +
         std::to_string(node.attributes) + "\t" + t + "\t" + t + "\t" + t + "\r\n";
}

// "/A/A/A" is "/A": a folder that lists itself holds itself.
std::string CollapseRepeats(const std::string& path) {
  const std::vector<std::string> names = SimFileSystem::SplitPath(path);
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0 && names[i] == names[i - 1]) continue;
    out += "/" + names[i];
  }
  return out;
}

}  // namespace

uint32_t PackedNow() {
  return DateTimeToDosTime(Now());
}

FileService::FileService(std::unique_ptr<SimFileSystem> fs) : fs_(std::move(fs)) {}

std::string FileService::Resolve(const std::string& given) {
  const std::string raw = faults_.listsItself ? CollapseRepeats(given) : given;
  // Unquoted names come with blanks turned into underscores.
  if (fs_->Find(raw) || raw.find('_') == std::string::npos) return raw;
  std::string spaced = raw;
  std::replace(spaced.begin(), spaced.end(), '_', ' ');
  return fs_->Find(spaced) ? spaced : raw;
}

void FileService::Status(VirtualDevice& d, SimFileSystem::Result result) {
  d.PrintLine(faults_.failStatus ? "1:Command failed" : SimFileSystem::ResultText(result));
  d.EmitPrompt();
}

void FileService::Install(VirtualDevice& device) {
  device.RegisterCommand("NFDIR", [this](VirtualDevice& d, const std::string& a) { List(d, a); });
  device.RegisterCommand("NFTYPE", [this](VirtualDevice& d, const std::string& a) { Type(d, a); });
  device.RegisterCommand("NFWRITE",
                         [this](VirtualDevice& d, const std::string& a) { Write(d, a); });
  device.RegisterCommand("LOAD", [this](VirtualDevice& d, const std::string& a) { Load(d, a); });
  device.RegisterCommand("NFMKDIR", [this](VirtualDevice& d, std::string a) {
    Status(d, fs_->MakeDirectory(Resolve(TakeArg(a)), PackedNow()));
  });
  device.RegisterCommand("NFWIPEDIR", [this](VirtualDevice& d, std::string a) {
    Status(d, fs_->WipeDirectory(Resolve(TakeArg(a))));
  });
  device.RegisterCommand("NFDEL", [this](VirtualDevice& d, std::string a) {
    Status(d, fs_->Delete(Resolve(TakeArg(a))));
  });
  device.RegisterCommand("NFRENAME", [this](VirtualDevice& d, std::string a) {
    const std::string from = Resolve(TakeArg(a));
    Status(d, fs_->Rename(from, TakeArg(a)));
  });
}

void FileService::List(VirtualDevice& d, std::string args) {
  args = StripAt(args);
  const std::string path = Resolve(TakeArg(args));
  const SimFileSystem::Node* dir = fs_->Find(path);
  if (!dir || !dir->directory) {
    Status(d, SimFileSystem::Result::PathNotFound);
    return;
  }
  std::string text = "Directory of " + (path.empty() ? std::string("/") : path) + "\r\n";
  if (faults_.endlessListing) {
    d.Print(text);
    // Made as the host takes it, so the listing never ends and never fills memory.
    d.SetGenerator(0, [n = uint64_t(0)](VirtualDevice&) mutable {
      std::string lines;
      for (int i = 0; i < 256; ++i) lines += "file" + std::to_string(n++) + "\t1\t32\t0\t0\t0\r\n";
      return lines;
    });
    return;
  }
  if (dir != &fs_->Root()) {
    text += EntryLine(*dir, ".");
    text += EntryLine(*dir, "..");
  }
  for (const auto& child : dir->children) text += EntryLine(*child.second, child.second->name);
  if (faults_.listsItself && dir != &fs_->Root()) text += EntryLine(*dir, dir->name);
  for (const std::string& line : faults_.extraListing) text += line + "\r\n";
  text += "\r\n";
  d.Print(text);
  d.EmitPrompt();
}

void FileService::Type(VirtualDevice& d, std::string args) {
  args = StripAt(args);
  const std::string path = Resolve(TakeArg(args));
  const SimFileSystem::Node* file = fs_->Find(path);
  if (!file || file->directory) {
    Status(d, SimFileSystem::Result::NotFound);
    return;
  }
  const std::string size =
      faults_.sizeField.empty() ? std::to_string(file->data.size()) : faults_.sizeField;
  d.Print((faults_.nameField.empty() ? file->name : faults_.nameField) + "\t" + size + "\r\n");
  if (faults_.trickleAfter >= 0) {
    const size_t first = std::min(file->data.size(), static_cast<size_t>(faults_.trickleAfter));
    d.Print(file->data.substr(0, first));
    const std::string rest = file->data.substr(first) + "\r\n\xAB" + d.PromptText() + "\xBB";
    const int stall = FileFaults::kTrickleStallMs;
    const int step = FileFaults::kTrickleByteMs;
    d.HoldInput(stall + step * static_cast<int>(rest.size()) + step);
    for (size_t i = 0; i < rest.size(); ++i) {
      d.After(stall + step * static_cast<int>(i),
              [c = rest.substr(i, 1)](VirtualDevice& dd) { dd.Print(c); });
    }
    return;
  }
  // A file no longer than the point of a fault goes out whole.
  if (faults_.stallReadAfter >= 0 &&
      file->data.size() > static_cast<size_t>(faults_.stallReadAfter)) {
    d.Print(file->data.substr(0, static_cast<size_t>(faults_.stallReadAfter)));
    return;
  }
  if (faults_.dropAfter >= 0 && file->data.size() > static_cast<size_t>(faults_.dropAfter)) {
    d.Print(file->data.substr(0, static_cast<size_t>(faults_.dropAfter)));
    d.RequestDisconnect();
    return;
  }
  d.Print(file->data);
  d.Print("\r\n");
  d.EmitPrompt();
}

void FileService::Write(VirtualDevice& d, std::string args) {
  const std::string path = Resolve(TakeArg(args));
  const std::vector<std::string> fields = SplitTabs(args);
  // fields: "" (before the first TAB), count, [time], "w"
  char* end = nullptr;
  const long long count = fields.size() >= 3 ? std::strtoll(fields[1].c_str(), &end, 10) : -1;
  if (count < 0 || (end && *end) || fields.back() != "w") {
    d.PrintLine("22:Invalid argument");
    d.EmitPrompt();
    return;
  }
  uint32_t time = PackedNow();
  if (fields.size() >= 4)
    time = static_cast<uint32_t>(std::strtoul(fields[2].c_str(), nullptr, 10));
  const auto names = SimFileSystem::SplitPath(path);
  const SimFileSystem::Node* parent =
      fs_->Find(path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/')));
  if (names.empty() || !parent || !parent->directory) {
    Status(d, SimFileSystem::Result::PathNotFound);
    return;
  }
  if (faults_.silentWrite) return;
  d.PrintLine("Send file");
  const size_t total = static_cast<size_t>(count);
  if (faults_.dropAfter >= 0 && static_cast<size_t>(faults_.dropAfter) < total) {
    d.ExpectData(static_cast<size_t>(faults_.dropAfter),
                 [](VirtualDevice& dd, const std::string&) { dd.RequestDisconnect(); });
    return;
  }
  const long refuseAfter = faults_.refuseAfter >= 0 ? faults_.refuseAfter
                           : faults_.earlyAnswer    ? 4096
                                                    : -1;
  if (refuseAfter >= 0 && static_cast<size_t>(refuseAfter) < total) {
    // The device answers and is back at its prompt; whatever the tool still sends arrives
    // as typed input (with a split answer: once the prompt is out).
    const bool split = faults_.splitRefusal;
    const int gap = faults_.refusalGapMs;
    d.ExpectData(static_cast<size_t>(refuseAfter),
                 [split, gap](VirtualDevice& dd, const std::string&) {
                   dd.PrintLine("28:No space left on device");
                   if (split) {
                     dd.Pause(gap, [](VirtualDevice& ddd) { ddd.EmitPrompt(); });
                   } else {
                     dd.EmitPrompt();
                   }
                 });
    return;
  }
  d.ExpectData(total, [this, path, time](VirtualDevice& dd, const std::string& data) {
    const SimFileSystem::Result result = fs_->WriteFile(path, data, time);
    if (!faults_.silentClose) Status(dd, result);
  });
}

void FileService::Load(VirtualDevice& d, std::string args) {
  const std::string countText = TakeArg(args);
  const std::string name = TakeArg(args);
  char* end = nullptr;
  const long long count = std::strtoll(countText.c_str(), &end, 10);
  if (countText.empty() || *end || count < 0 || name.empty()) {
    d.PrintLine("22:Invalid argument");
    d.EmitPrompt();
    return;
  }
  d.PrintLine("Send file");
  d.ExpectData(static_cast<size_t>(count),
               [this, name](VirtualDevice& dd, const std::string& data) {
                 if (faults_.silentClose) return;
                 if (!faults_.loadStatus.empty()) {
                   dd.PrintLine(faults_.loadStatus);
                   dd.EmitPrompt();
                   return;
                 }
                 firmwareName_ = name;
                 firmwareImage_ = data;
                 Status(dd, SimFileSystem::Result::Ok);
               });
}

}  // namespace vxk
