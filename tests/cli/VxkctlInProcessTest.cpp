// vxkctl's command code called as a function over the fake USB device, and its plain parts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include <thread>
#include "CliRig.h"
#include "cli/CliConnect.h"
#include "cli/CliOptions.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "cli/ShellScreen.h"
#include "cli/Vxkctl.h"
#include "comms/Ticks.h"
#include "sim/FakeHidBackend.h"
#include "sim/ScratchLock.h"
#include "sim/SimDevice.h"

using namespace vxk;

namespace {

struct UsbRun {
  explicit UsbRun(DeviceIdentity identity = {}) : sim(identity), backend(&sim.Device()) {}
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    VxkctlEnvironment env{backend, lock.Lock(), out, err, cancel, nullptr, false, 0, 1};
    env.environmentPassword = environmentPassword;
    env.stdoutIsTty = stdoutIsTty;
    return RunVxkctl(args, env);
  }
  const char* environmentPassword = nullptr;
  bool stdoutIsTty = false;
  SimDevice sim;
  FakeHidBackend backend;
  ScratchLock lock;
  std::atomic<bool> cancel{false};
  std::ostringstream out, err;
};

TEST(VxkctlUsb, CommandsOverTheFakeDevice) {
  UsbRun usb;
  ASSERT_EQ(usb.Run({"info"}), 0) << usb.err.str();
  EXPECT_NE(usb.out.str().find("serial: 100042"), std::string::npos);
  ASSERT_EQ(usb.Run({"ls", "/Lua"}), 0) << usb.err.str();
  EXPECT_EQ(usb.out.str(), "lib/\nmain.lua\n");
  ASSERT_EQ(usb.Run({"mkdir", "/New"}), 0);
  EXPECT_EQ(usb.Run({"ls", "/New"}), 0);
  // Picked by serial number: the right one opens, another is not there.
  EXPECT_EQ(usb.Run({"--serial=100042", "--wait=0", "info"}), 0);
  EXPECT_EQ(usb.Run({"--serial=999", "--wait=0", "info"}), 3);
  EXPECT_NE(usb.err.str().find("serial number 999"), std::string::npos);
  // Unplugged: no device within the wait.
  usb.backend.Unplug();
  EXPECT_EQ(usb.Run({"--wait=0", "ls"}), 3);
}

TEST(VxkctlUsb, TerminalLockHeldElsewhereFailsTheCommand) {
  UsbRun usb;
  // Another program (another thread here) holds the lock for the whole command.
  std::atomic<bool> held{false}, release{false};
  std::thread other([&] {
    usb.lock.Lock().Lock(-1);
    held = true;
    while (!release) SleepMs(5);
    usb.lock.Lock().Unlock();
  });
  while (!held) SleepMs(5);
  EXPECT_EQ(usb.Run({"--lock-wait=100", "ls"}), 1);
  EXPECT_NE(usb.err.str().find("terminal lock"), std::string::npos);
  release = true;
  other.join();
  EXPECT_EQ(usb.Run({"ls"}), 0);
}

// A lock that cannot be had safely (here its folder is open to everyone) refuses the command
// before any device I/O, and says why.
TEST(VxkctlUsb, UnusableTerminalLockRefusesWithoutTouchingTheDevice) {
  UsbRun usb;
  usb.backend.CaptureWrites(true);
  TempDir dir;
  ::chmod(dir.path.c_str(), 0777);
  TerminalLock unsafe(dir.path + "/lock");
  VxkctlEnvironment env{usb.backend, unsafe, usb.out, usb.err, usb.cancel, nullptr, false, 0, 1};
  EXPECT_EQ(RunVxkctl({"ls"}, env), 1);
  EXPECT_NE(usb.err.str().find("vxkctl: cannot use the terminal lock: " + dir.path),
            std::string::npos)
      << usb.err.str();
  EXPECT_TRUE(usb.backend.WrittenPackets().empty());
}

// The window's archive: the same entries, down to the empty panes.
TEST(VxkctlUsb, DiagWritesTheWindowsArchive) {
  UsbRun usb;
  TempDir dir;
  const std::string zip = dir.path + "/d.zip";
  EXPECT_EQ(usb.Run({"diag", "--zip=" + zip, "--folders=/Logs,\x1b"}), 2);
  ASSERT_EQ(usb.Run({"diag", "--zip=" + zip, "--password=pw", "--folders=/Lua"}), 0)
      << usb.err.str();
  std::ifstream in(zip, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.compare(0, 2, "PK"), 0);
  for (const char* entry : {"ui.info.txt", "main.lua", "ui.modem.rtf"})
    EXPECT_NE(bytes.find(entry), std::string::npos) << entry;
}

// The archive password from the option, a private file or the environment, in that order;
// an archive with a password is readable by its owner only.
TEST(VxkctlUsb, DiagPasswordSourcesAndAPrivateArchive) {
  UsbRun usb;
  TempDir dir;
  const std::string privateFile = dir.path + "/pw", openFile = dir.path + "/open";
  std::ofstream(privateFile) << "from-file\n";
  std::ofstream(openFile) << "x";
  ::chmod(privateFile.c_str(), 0600);
  ::chmod(openFile.c_str(), 0644);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct Case {
    std::string option;
    const char* environment;
    int status;
    std::string password;  // that opens the archive; empty: none is needed
  };
  const Case cases[] = {
      {"--password=given", "from-env", 0, "given"},
      {"--password-file=" + privateFile, "from-env", 0, "from-file"},
      {"", "from-env", 0, "from-env"},
      {"", nullptr, 0, ""},
      {"--password-file=" + openFile, "from-env", 2, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string zip = dir.path + "/d" + std::to_string(n++) + ".zip";
    std::vector<std::string> args = {"diag", "--zip=" + zip, "--folders=/Lua"};
    if (!c.option.empty()) args.push_back(c.option);
    usb.environmentPassword = c.environment;
    ASSERT_EQ(usb.Run(args), c.status) << c.option << usb.err.str();
    if (c.status != 0) continue;
    struct stat st {};
    ASSERT_EQ(::stat(zip.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.password.empty() ? 0666 & ~mask : 0600) << c.option;
    const std::string test = "unzip -qq -t " + zip + " >/dev/null 2>&1";
    if (c.password.empty()) {
      EXPECT_EQ(std::system(test.c_str()), 0) << c.option;
    } else {
      EXPECT_EQ(
          std::system(("unzip -qq -t -P " + c.password + " " + zip + " >/dev/null 2>&1").c_str()),
          0)
          << c.option;
      EXPECT_NE(std::system(("unzip -qq -t -P wrong " + zip + " >/dev/null 2>&1").c_str()), 0)
          << c.option;
    }
  }
}

// Device text reaches the terminal only escaped: archive progress naming device files, and
// a device file shown on a terminal (a pipe gets its bytes unchanged).
TEST(VxkctlUsb, DeviceTextNeverReachesTheTerminalRaw) {
  UsbRun usb;
  const std::string hostile = "a\x1b]0;title\x07\x9D\r\nb";
  usb.backend.WithDevice([&](VirtualDevice&) {
    usb.sim.Files().Faults().extraListing = {"\x1b[2J.lua\t3\t32\t0\t0\t0"};
    usb.sim.Files().Files().WriteFile("/Lua/t.txt", hostile, 0);
  });
  TempDir dir;
  usb.stdoutIsTty = true;
  ASSERT_EQ(usb.Run({"diag", "--zip=" + dir.path + "/d.zip", "--folders=/Lua"}), 0);
  EXPECT_NE(usb.err.str().find("Get /Lua/\\x1B[2J.lua\n"), std::string::npos) << usb.err.str();
  EXPECT_EQ(usb.err.str().find('\x1b'), std::string::npos);
  ASSERT_EQ(usb.Run({"cat", "/Lua/t.txt"}), 0);
  EXPECT_EQ(usb.out.str(), "a\\x1B]0;title\\x07\\x9D\nb");
  usb.stdoutIsTty = false;
  ASSERT_EQ(usb.Run({"cat", "/Lua/t.txt"}), 0);
  EXPECT_EQ(usb.out.str(), hostile);
}

TEST(VxkctlParts, KeySources) {
  TempDir dir;
  const std::string file = dir.path + "/key";
  std::ofstream(file) << "s3cret\n";
  CliOptions o;
  o.keyFile = file;
  ::chmod(file.c_str(), 0644);
  EXPECT_THROW(ResolveKey(o, "env"), UsageError);
  ::chmod(file.c_str(), 0600);
  EXPECT_EQ(ResolveKey(o, "env"), "s3cret");
  o.key = "given";
  EXPECT_EQ(ResolveKey(o, "env"), "given");
  EXPECT_EQ(ResolveKey(CliOptions{}, "env"), "env");
  o = CliOptions{};
  o.keyFile = dir.path;  // a folder
  EXPECT_THROW(ResolveKey(o, nullptr), UsageError);
}

TEST(VxkctlParts, OptionsBeforeAndAfterTheCommand) {
  const CliOptions o =
      ParseCliOptions({"--listen", "5000", "--key=x", "lcd", "--key=3", "--png", "a.png", "-q"});
  EXPECT_EQ(o.link, CliOptions::Link::Listen);
  EXPECT_EQ(*o.key, "x");
  EXPECT_EQ(o.pressKey, 3);
  EXPECT_EQ(o.png, "a.png");
  EXPECT_TRUE(o.quiet);
  const CliOptions t = ParseCliOptions({"time", "--sync", "--tz"});
  EXPECT_TRUE(t.sync);
  EXPECT_FALSE(t.tzMinutes);
  EXPECT_EQ(ParseCliOptions({"get", "-r", "--", "-odd"}).args, std::vector<std::string>{"-odd"});
  EXPECT_THROW(ParseCliOptions({"time", "--tz=5"}), UsageError);
}

TEST(VxkctlParts, DeviceTextIsMadeHarmless) {
  EXPECT_EQ(ShownText("a\x1b[2Jb\r\n"), "a\\x1B[2Jb\\x0D\\x0A");
  EXPECT_EQ(ShownText("caf\xE9"), "caf\xC3\xA9");
  // Bytes Windows-1252 leaves undefined would be C1 controls (DCS, OSC) as UTF-8.
  EXPECT_EQ(ShownText("\x90x\x9D\x80"), "\\x90x\\x9D\xE2\x82\xAC");
  EXPECT_EQ(ShownLines("a\x1b\r\nb\rc\n\t"), "a\\x1B\nb\nc\n\\x09");
  EXPECT_EQ(TerminalText("ok \xC3\xA9 \x1b[1m \xC2\x9B \xFF \xC0\x9B \\x1B\n"),
            "ok \xC3\xA9 \\x1B[1m \\xC2\\x9B \\xFF \\xC0\\x9B \\x1B\\x0A");
  EXPECT_EQ(TerminalText(ShownText("\\a\x9D\xE9")), ShownText("\\a\x9D\xE9"));
  EXPECT_EQ(JsonString("\x9D"), "\"\\u009d\"");
  EXPECT_EQ(ParseJson(JsonString("q\"\\\t\x01\xE9")).text, "q\"\\\t\x01\xC3\xA9");
  EXPECT_EQ(LocalToDevice("caf\xC3\xA9.txt"), "caf\xE9.txt");
  EXPECT_EQ(LocalToDevice("\xFF\xE2\x82"), "\xFF\xE2\x82");

  ShellScreen screen;
  EXPECT_EQ(screen.Incoming("hello\r\n\xAB"
                            "vxk>\xBB"),
            "hello\r\nvxk>");
  EXPECT_EQ(screen.Typed('a'), "a");
  EXPECT_EQ(screen.Incoming("\xAB"
                            "PASS"),
            "PASS");
  EXPECT_EQ(screen.Incoming("WORD:\xBB\x1b[31m\x9D"), "WORD:[31m");
  EXPECT_TRUE(screen.PasswordMode());
  EXPECT_EQ(screen.Typed('x'), "*");
  EXPECT_EQ(screen.Typed('\r'), "\r\n");
  screen.Incoming("\xAB>\xBB");
  EXPECT_FALSE(screen.PasswordMode());

  EXPECT_EQ(ProgressLine("f", 50, 100, 1000).find("[############............]  50%"), 2u);
  EXPECT_NE(ProgressLine("f", 1000000, 2000000, 1000).find("1.00 MB/s  0:01 left"),
            std::string::npos);
}

}  // namespace
