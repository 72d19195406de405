// vxkctl as a program: started as a child against vxksim over TCP and a pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "CliRig.h"
#include "comms/Ticks.h"

using namespace vxk;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& content, int64_t mtime = 0) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  if (mtime != 0) {
    fs::last_write_time(
        path, fs::file_time_type::clock::now() + std::chrono::seconds(mtime - std::time(nullptr)));
  }
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int64_t MTime(const fs::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mtime;
}

std::string Bytes(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 9)) & 0xFF);
  return s;
}

// Files in a folder tree, relative names, temporary files included.
std::vector<std::string> Listing(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    names.push_back(fs::relative(e.path(), root).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Vxkctl : public ::testing::Test {
 protected:
  CliRig rig;
  TempDir local;
};

TEST(VxkctlUsage, ExitStatusAndHelpWithoutDevice) {
  TempDir lock;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string expect;  // in stdout for 0, in stderr otherwise
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, "Usage: vxkctl"},
      {{"--version"}, 0, "vxkctl "},
      {{"get", "--help"}, 0, "get [-r] [-p] PATH... [LOCAL|-]"},
      {{}, 2, "no command"},
      {{"frobnicate"}, 2, "unknown command"},
      {{"get"}, 2, "usage: vxkctl get"},
      {{"ls", "--bogus"}, 2, "unknown option --bogus"},
      {{"ls", "--listen=5000"}, 2, "before the command"},
      {{"lcd"}, 2, "--png"},
      {{"lcd", "--key=5", "--png=x.png"}, 2, "--key"},
      {{"--listen=0", "ls"}, 2, "--listen"},
      {{"rm", "-x", "/a"}, 2, "unknown option -x"},
      {{"info", "-l"}, 2, "unknown option -l"},
  };
  for (const Case& c : cases) {
    CtlProcess ctl;
    ASSERT_TRUE(ctl.Start(c.args, {"XDG_RUNTIME_DIR=" + lock.path}));
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(ctl.Wait(10000), c.status) << shown << ctl.err;
    EXPECT_NE((c.status == 0 ? ctl.out : ctl.err).find(c.expect), std::string::npos)
        << shown << ": " << ctl.out << ctl.err;
  }
}

// Secrets given on the command line leave /proc/PID/cmdline, in both option forms, while
// vxkctl still waits for its device.
TEST(VxkctlSecrets, KeyAndPasswordLeaveTheCommandLine) {
  TempDir lock, out;
  const std::string zip = out.path + "/a.zip";
  const std::vector<std::vector<std::string>> lines = {
      {"--key=K3Y", "diag", "--zip=" + zip, "--password=S3CRET"},
      {"--key", "K3Y", "diag", "--zip", zip, "--password", "S3CRET"},
  };
  for (std::vector<std::string> args : lines) {
    args.insert(args.begin(), {"--listen=" + FreePort(), "--wait=20"});
    CtlProcess ctl;
    ASSERT_TRUE(ctl.Start(args, {"XDG_RUNTIME_DIR=" + lock.path}));
    const std::string proc = "/proc/" + std::to_string(ctl.Pid()) + "/cmdline";
    const auto hidden = [](const std::string& line) {
      return line.find("diag") != std::string::npos && line.find("K3Y") == std::string::npos &&
             line.find("S3CRET") == std::string::npos;
    };
    std::string line;
    const int64_t deadline = TickCount() + 5000;
    while (!hidden(line = ReadAll(proc)) && TickCount() < deadline) SleepMs(5);
    EXPECT_TRUE(hidden(line)) << ::testing::PrintToString(args) << ": " << line;
    ctl.Signal(SIGTERM);
    EXPECT_EQ(ctl.Wait(10000), 130);
  }
}

TEST_F(Vxkctl, InfoAndListingAsJson) {
  WriteFile(fs::path(rig.root.path) / "Logs" / "a b.log", "12345");
  WriteFile(fs::path(rig.root.path) / "Logs" / "sub" / "x.txt", "x");
  const CtlResult info = rig.Run({"info", "--json"}, {"--serial", "777"});
  ASSERT_EQ(info.status, 0) << info.err << info.sim;
  const Json device = ParseJson(info.out);
  EXPECT_EQ(device["serial"].text, "777");
  EXPECT_NE(device["capabilities"].text.find(".nfi."), std::string::npos);

  const CtlResult ls = rig.Run({"ls", "--json", "/Logs"});
  ASSERT_EQ(ls.status, 0) << ls.err;
  const Json list = ParseJson(ls.out);
  ASSERT_EQ(list.kind, Json::Array);
  std::map<std::string, Json> byName;
  for (const Json& e : list.items) byName[e["name"].text] = e;
  ASSERT_EQ(byName.size(), 2u) << ls.out;
  EXPECT_EQ(byName["a b.log"]["size"].number, 5);
  EXPECT_FALSE(byName["a b.log"]["directory"].boolean);
  EXPECT_TRUE(byName["sub"]["directory"].boolean);
  EXPECT_EQ(byName["a b.log"]["time"].kind, Json::String);

  const CtlResult missing = rig.Run({"ls", "/NoSuchFolder"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_NE(missing.err.find("cannot list"), std::string::npos);
}

TEST_F(Vxkctl, TreeRoundTripKeepsBytesAndTimes) {
  const fs::path src = fs::path(local.path) / "src" / "Tree";
  // Even seconds: the device keeps file times at two-second resolution.
  const int64_t t0 = 1700000000;
  WriteFile(src / "big.bin", Bytes(300000, 1), t0);
  WriteFile(src / "empty.txt", "", t0 + 2);
  WriteFile(src / "deep" / "deeper" / "n.dat", Bytes(5000, 2), t0 + 4);
  const CtlResult put = rig.Run({"put", "-r", src.string(), "/"});
  ASSERT_EQ(put.status, 0) << put.err;

  const fs::path back = fs::path(local.path) / "back";
  const CtlResult get = rig.Run({"get", "-r", "/Tree", back.string()});
  ASSERT_EQ(get.status, 0) << get.err;
  for (const std::string rel : {"big.bin", "empty.txt", "deep/deeper/n.dat"}) {
    EXPECT_EQ(ReadAll(back / "Tree" / rel), ReadAll(src / rel)) << rel;
    EXPECT_EQ(MTime(back / "Tree" / rel), MTime(src / rel)) << rel;
  }
  EXPECT_EQ(Listing(back / "Tree"), Listing(src));

  // A single file, into a folder, keeps the device's time too.
  const CtlResult one = rig.Run({"get", "/Tree/deep/deeper/n.dat", back.string()});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(MTime(back / "n.dat"), t0 + 4);
  const CtlResult cat = rig.Run({"cat", "/Tree/big.bin"});
  EXPECT_EQ(cat.status, 0);
  EXPECT_EQ(cat.out, ReadAll(src / "big.bin"));
}

TEST_F(Vxkctl, FolderCommandsAndRouting) {
  const fs::path root(rig.root.path);
  fs::create_directories(root / "Lua");
  fs::create_directories(root / "Logs");
  WriteFile(fs::path(local.path) / "boot.lua", "print(1)");
  WriteFile(fs::path(local.path) / "plain.txt", "p");
  EXPECT_EQ(rig.Run({"put", "--route", (fs::path(local.path) / "boot.lua").string(),
                     (fs::path(local.path) / "plain.txt").string(), "/Logs"})
                .status,
            0);
  EXPECT_EQ(ReadAll(root / "Lua" / "boot.lua"), "print(1)");
  EXPECT_EQ(ReadAll(root / "Logs" / "plain.txt"), "p");

  EXPECT_EQ(rig.Run({"mkdir", "/Work"}).status, 0);
  EXPECT_TRUE(fs::is_directory(root / "Work"));
  EXPECT_EQ(rig.Run({"mv", "/Logs/plain.txt", "renamed.txt"}).status, 0);
  EXPECT_TRUE(fs::exists(root / "Logs" / "renamed.txt"));
  EXPECT_EQ(rig.Run({"mv", "/Logs/renamed.txt", "/Work/x.txt"}).status, 2);
  EXPECT_EQ(rig.Run({"rm", "/Logs/renamed.txt"}).status, 0);
  EXPECT_FALSE(fs::exists(root / "Logs" / "renamed.txt"));
  EXPECT_EQ(rig.Run({"rm", "/Logs/renamed.txt"}).status, 1);
  WriteFile(root / "Work" / "in" / "f", "f");
  EXPECT_EQ(rig.Run({"rm", "-r", "/Work"}).status, 0);
  EXPECT_FALSE(fs::exists(root / "Work"));

  // A refusing device is a failure, never a success.
  const CtlResult refused = rig.Run({"mkdir", "/Other"}, {"--fail-status"});
  EXPECT_EQ(refused.status, 1);
  const CtlResult full = rig.Run({"put", (fs::path(local.path) / "plain.txt").string(), "/Logs"},
                                 {"--refuse-after", "0"});
  EXPECT_EQ(full.status, 1) << full.err;
}

// Success only on the device's confirmation, and a failure says what the device said.
TEST_F(Vxkctl, NoSuccessWithoutTheDevicesWordAndFailuresQuoteIt) {
  const fs::path root(rig.root.path);
  fs::create_directories(root / "Store");
  const fs::path mid = fs::path(local.path) / "mid.bin";
  WriteFile(mid, Bytes(600000, 3));
  const fs::path image = fs::path(local.path) / "FW.blf";
  WriteFile(image, Bytes(5000, 4));
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> sim;
    int status;
    std::string err;  // in standard error
  };
  const std::vector<Case> cases = {
      // The device takes the data slower than the PC sends it: done once it has confirmed.
      {"slow line",
       {"put", mid.string(), "/Store"},
       {"--line-rate", "200000"},
       0,
       "-> /Store/mid.bin"},
      {"full device",
       {"put", mid.string(), "/Store"},
       {"--refuse-after", "4096"},
       1,
       "cannot write /Store/mid.bin: 28:No space left on device"},
      {"refused image",
       {"firmware", image.string()},
       {"--load-status", "7:Image checksum wrong, not stored"},
       1,
       "7:Image checksum wrong, not stored"},
      {"image taken", {"firmware", image.string()}, {}, 0, "done"},
  };
  for (const Case& c : cases) {
    fs::remove(root / "Store" / "mid.bin");
    const CtlResult r = rig.Run(c.args, c.sim);
    EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.name << ": " << r.err;
    if (c.status == 0 && c.args[0] == "put") {
      EXPECT_EQ(ReadAll(root / "Store" / "mid.bin"), Bytes(600000, 3)) << c.name;
    }
  }
}

TEST_F(Vxkctl, ExecTimeAndLcd) {
  const CtlResult ver = rig.Run({"exec", "ver"});
  ASSERT_EQ(ver.status, 0) << ver.err;
  EXPECT_NE(ver.out.find("vx.keeper.Sim"), std::string::npos) << ver.out;
  EXPECT_EQ(ver.out.find('\xAB'), std::string::npos);
  EXPECT_EQ(rig.Run({"exec", "ver\rNFDEL /x"}).status, 2);

  const CtlResult sync = rig.Run({"time", "--sync", "--tz=90", "--json"});
  ASSERT_EQ(sync.status, 0) << sync.err;
  const Json t = ParseJson(sync.out);
  EXPECT_EQ(t["sent"].text.rfind("TIME ", 0), 0u);
  EXPECT_EQ(t["sent"].text.substr(t["sent"].text.size() - 3), " 90");
  EXPECT_NE(t["device"].text.find("TZ 90"), std::string::npos) << t["device"].text;
  EXPECT_EQ(rig.Run({"time"}, {"--time-silent"}).status, 1);

  const std::string png = (fs::path(local.path) / "lcd.png").string();
  const CtlResult lcd = rig.Run({"lcd", "--key=2", "--png=" + png});
  ASSERT_EQ(lcd.status, 0) << lcd.err;
  const std::string bytes = ReadAll(png);
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
  // Width and height of the IHDR: (128 + 12) x 2 by (64 + 12) x 2.
  EXPECT_EQ(bytes.substr(16, 8), std::string("\0\0\1\x18\0\0\0\x98", 8));
  EXPECT_EQ(rig.Run({"lcd", "--png=" + png}, {"--lcd-marker", "SSD"}).status, 1);
}

TEST_F(Vxkctl, WrongKeyStallAndInterrupt) {
  const CtlResult wrong = rig.Run({"ls"}, {}, "k", "other");
  EXPECT_EQ(wrong.status, 3);
  EXPECT_NE(wrong.err.find("refused"), std::string::npos) << wrong.err;

  WriteFile(fs::path(rig.root.path) / "Logs" / "big.bin", Bytes(1 << 20, 3));
  const fs::path target = fs::path(local.path) / "out" / "big.bin";
  fs::create_directories(target.parent_path());
  const int64_t start = TickCount();
  const CtlResult stalled =
      rig.Run({"get", "/Logs/big.bin", target.string()}, {"--stall-read", "10000"});
  EXPECT_EQ(stalled.status, 1) << stalled.err;
  EXPECT_LT(TickCount() - start, 20000);
  EXPECT_TRUE(Listing(target.parent_path()).empty());

  // Ctrl+C in the middle of a slow read: status 130, nothing written locally.
  const std::string port = FreePort();
  CtlProcess ctl;
  ASSERT_TRUE(ctl.Start(
      {"--listen=" + port, "--key=k", "get", "-v", "/Logs/big.bin", target.string()}, rig.Env()));
  ChildProcess sim;
  ASSERT_TRUE(sim.Start({VxksimPath(), "--tcp", "127.0.0.1:" + port, "--key", "k", "--root",
                         rig.root.path, "--line-rate", "100000"}));
  ASSERT_TRUE(ctl.WaitForError("reading /Logs/big.bin", 20000)) << ctl.err;
  ctl.Signal(SIGINT);
  EXPECT_EQ(ctl.Wait(20000), 130) << ctl.err;
  EXPECT_NE(ctl.err.find("interrupted"), std::string::npos);
  EXPECT_TRUE(Listing(target.parent_path()).empty());
}

// The header lines -v shows come from the peer, refused or not: escape sequences in them are
// shown, never acted on.
TEST_F(Vxkctl, VerboseHeaderLinesAreEscaped) {
  const CtlResult r = rig.Run({"-v", "ls"}, {"--site", "\x1b]0;pwned\x07\x1b[2J"}, "k", "other");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("Site: \\x1B]0;pwned\\x07\\x1B[2J\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find_first_of("\x1b\x07"), std::string::npos);
}

TEST_F(Vxkctl, SerialLinkOverPseudoTerminal) {
  const std::string pty = local.path + "/ttyVXK";
  WriteFile(fs::path(rig.root.path) / "Config" / "unit.cfg", "abc");
  ChildProcess sim;
  ASSERT_TRUE(sim.Start({VxksimPath(), "--pty", pty, "--root", rig.root.path}));
  const int64_t deadline = TickCount() + 10000;
  while (!fs::exists(pty) && TickCount() < deadline) SleepMs(20);
  CtlProcess ctl;
  ASSERT_TRUE(ctl.Start({"--com=" + pty, "ls", "-l", "/Config"}, rig.Env()));
  ASSERT_EQ(ctl.Wait(30000), 0) << ctl.err;
  EXPECT_NE(ctl.out.find("unit.cfg"), std::string::npos) << ctl.out;
  EXPECT_NE(ctl.out.find("           3"), std::string::npos) << ctl.out;
}

}  // namespace
