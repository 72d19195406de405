#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/BenchSession.h"
#include "ops/DiagArchive.h"

namespace vxk {
namespace {

// An archive of 200 device files (20 folders' worth in /Store and the root, 2 KB each) over
// loopback TCP, without and with a password.
void ArchiveBench() {
  BenchSession session;
  TcpRig& rig = session.rig;
  TvxTerminal& term = session.term;
  TvxkFiles& files = session.files;
  files.QuoteNames = true;
  constexpr int kFiles = 200;
  rig.WithDevice([&](VirtualDevice&) {
    SimFileSystem& fs = rig.sim.Files().Files();
    for (int i = 0; i < kFiles; ++i) {
      std::string data(2048, '\0');
      for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<char>((b * 7 + i) % 251);
      fs.WriteFile((i % 2 ? "/Store/f" : "/Send/f") + std::to_string(i) + ".dat", data, 0);
    }
  });
  const std::filesystem::path zip = std::filesystem::temp_directory_path() /
                                    ("vxkbench-diag-" + std::to_string(::getpid()) + ".zip");
  for (const bool password : {false, true}) {
    DiagRequest request;
    request.path = zip.string();
    request.password = password ? "bench" : "";
    request.info = "bench";
    request.folders = {"/Store", "/Send"};
    for (const char* name : {"ui.terminal.txt", "ui.terminal.rtf", "ui.usb.txt", "ui.usb.rtf",
                             "ui.modem.txt", "ui.modem.rtf"})
      request.panes.emplace_back(name, std::string(16384, 'p'));
    DiagResult result;
    const double s = Seconds([&] { result = DiagArchive(term, files).Save(request); });
    if (result.files < kFiles) Fail("diagnostics archive");
    Report(password ? "diag.archive_ms_password" : "diag.archive_ms", s * 1000, "ms");
  }
  std::filesystem::remove(zip);
}

}  // namespace

void RunDiagBenches() {
  if (Selected("diag.")) ArchiveBench();
}

}  // namespace vxk
