#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/BenchSession.h"
#include "ops/TreeSaver.h"
#include "ops/Upload.h"

namespace vxk {

namespace {

void Operations() {
  BenchSession session;
  TcpRig& rig = session.rig;
  TvxTerminal& term = session.term;
  TvxkFiles& files = session.files;
  files.QuoteNames = true;
  const std::filesystem::path local =
      std::filesystem::temp_directory_path() / ("vxkbench-ops-" + std::to_string(::getpid()));
  std::filesystem::create_directories(local);

  if (Selected("ops.save_tree")) {
    const int folders = 10;
    const int perFolder = 20;
    rig.WithDevice([&](VirtualDevice&) {
      SimFileSystem& fs = rig.sim.Files().Files();
      fs.MakeDirectory("/Tree", 0);
      for (int f = 0; f < folders; ++f) {
        const std::string dir = "/Tree/d" + std::to_string(f);
        fs.MakeDirectory(dir, 0);
        for (int i = 0; i < perFolder; ++i)
          fs.WriteFile(dir + "/f" + std::to_string(i) + ".txt", std::string(200, 'x'), 0);
      }
    });
    TreeSaver saver(term, files);
    TreeSaver::Result result;
    const double s = Seconds([&] { result = saver.SaveDeviceTree(local.string(), "", "Tree"); });
    if (result.saved != folders * perFolder) Fail("save tree");
    Report("ops.save_tree_files_per_s", result.saved / s, "files/s");
  }
  if (Selected("ops.upload")) {
    std::string data(size_t(4) << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 29 % 253);
    const std::string path = (local / "upload.bin").string();
    std::ofstream(path, std::ios::binary) << data;
    bool ok = false;
    const double s = Seconds([&] {
      const LocalUpload upload = PrepareUpload(path);
      ok = files.WriteFile("/Logs/upload.bin", upload.content, upload.time).ok();
    });
    if (!ok) Fail("upload");
    Report("ops.upload_MBps", data.size() / s / 1e6, "MB/s");
  }
  std::filesystem::remove_all(local);
}

}  // namespace

void RunOpsBenches() {
  if (Selected("ops.")) Operations();
}

}  // namespace vxk
