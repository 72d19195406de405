#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSession.h"

namespace vxk {

namespace {

void Transfers() {
  BenchSession session;
  TcpRig& rig = session.rig;
  TvxkFiles& files = session.files;
  std::string data(size_t(4) << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 % 251);

  if (Selected("files.write")) {
    bool ok = false;
    const double s = Seconds([&] { ok = files.WriteFile("/Logs/bench.bin", data).ok(); });
    if (!ok) Fail("write");
    Report("files.write_MBps", data.size() / s / 1e6, "MB/s");
  } else {
    rig.WithDevice(
        [&](VirtualDevice&) { rig.sim.Files().Files().WriteFile("/Logs/bench.bin", data, 0); });
  }
  if (Selected("files.read")) {
    std::string content;
    bool ok = false;
    const double s = Seconds([&] { ok = files.ReadFile("/Logs/bench.bin", content).ok(); });
    if (!ok || content != data) Fail("read");
    Report("files.read_MBps", data.size() / s / 1e6, "MB/s");
  }
  if (Selected("files.list")) {
    const int count = 2000;
    rig.WithDevice([&](VirtualDevice&) {
      SimFileSystem& fs = rig.sim.Files().Files();
      fs.MakeDirectory("/Many", 0);
      for (int i = 0; i < count; ++i)
        fs.WriteFile("/Many/file" + std::to_string(i) + ".dat", "x", 0);
    });
    std::vector<std::string> lines;
    bool ok = false;
    const double s = Seconds([&] { ok = files.ListDirectory("/Many", lines).ok(); });
    if (!ok || lines.size() != count + 2u) Fail("list");
    Report("files.list_entries_per_s", count / s, "entries/s");
  }
}

}  // namespace

void RunFileBenches() {
  if (Selected("files.")) Transfers();
}

}  // namespace vxk
