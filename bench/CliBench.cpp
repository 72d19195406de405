// vxkctl as a program: transfer rates over loopback TCP against vxksim, and its start time.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bench/Bench.h"
#include "comms/TcpSocket.h"
#include "sim/ChildProcess.h"
#include "sim/HeaderText.h"
#include "sim/TcpRig.h"

namespace vxk {
namespace {

namespace fs = std::filesystem;

constexpr size_t kTransferBytes = 4u << 20;
constexpr int kRuns = 3;

std::string FreePort() {
  TcpSocket socket;
  socket.Bind("127.0.0.1", "0");
  const std::string address = socket.LocalAddress();
  return address.substr(address.rfind(':') + 1);
}

struct Scratch {
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "vxkctl-bench-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string path;
};

// Seconds of one vxkctl run against a fresh vxksim serving root; fails the benchmark when the
// command fails.
double TimedRun(const std::vector<std::string>& args, const std::string& root,
                const std::string& lockDir) {
  const std::string port = FreePort();
  std::vector<std::string> argv{BinDir() + "/vxkctl", "--listen=" + port, "--key=b", "-q"};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess sim;
  ChildProcess ctl;
  const auto start = std::chrono::steady_clock::now();
  if (!ctl.Start(argv, {"XDG_RUNTIME_DIR=" + lockDir})) Fail("vxkctl does not start");
  if (!sim.Start(
          {BinDir() + "/vxksim", "--tcp", "127.0.0.1:" + port, "--key", "b", "--root", root})) {
    Fail("vxksim does not start");
  }
  if (ctl.Wait(120000) != 0) Fail("vxkctl failed");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sim.Wait(5000);
  return seconds;
}

double Best(const std::function<double()>& run) {
  double best = 1e9;
  for (int i = 0; i < kRuns; ++i) best = std::min(best, run());
  return best;
}

void TransferBenches() {
  Scratch root, local, lock;
  std::string data(kTransferBytes, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 2654435761u >> 13);
  const std::string source = local.path + "/data.bin";
  std::ofstream(source, std::ios::binary) << data;
  fs::create_directories(root.path + "/Logs");
  // The same run without a transfer: connecting, the header and the prompt.
  const double base = Best([&] { return TimedRun({"info"}, root.path, lock.path); });
  if (Selected("cli.put")) {
    const double put = Best([&] {
      return TimedRun({"put", source, "/Logs"}, root.path, lock.path);
    });
    Report("cli.put_MBps", kTransferBytes / 1e6 / std::max(put - base, 1e-3), "MB/s");
  }
  if (Selected("cli.get")) {
    std::ofstream(root.path + "/Logs/data.bin", std::ios::binary) << data;
    const std::string target = local.path + "/back.bin";
    const double get = Best([&] {
      return TimedRun({"get", "/Logs/data.bin", target}, root.path, lock.path);
    });
    std::ifstream in(target, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(in), {}) != data) Fail("get changed the data");
    Report("cli.get_MBps", kTransferBytes / 1e6 / std::max(get - base, 1e-3), "MB/s");
  }
}

// From starting the process to the first command byte (the ESC after the header's proof) on a
// handed-over connection whose header is already waiting.
double StartMs(const std::string& lockDir) {
  int toolSide = -1, deviceSide = -1;
  if (!LoopbackPair(toolSide, deviceSide)) Fail("no loopback TCP");
  HeaderOptions header;
  header.key = "b";
  const std::string text = BuildConnectHeader(DeviceIdentity{}, header);
  if (::write(deviceSide, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    Fail("header not written");
  }
  ::fcntl(toolSide, F_SETFD, 0);  // inherited by the child
  const std::string program = BinDir() + "/vxkctl";
  const std::string sock = "--sock=" + std::to_string(toolSide);
  const std::string env = "XDG_RUNTIME_DIR=" + lockDir;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::open("/dev/null", O_WRONLY), 1);
    ::dup2(::open("/dev/null", O_WRONLY), 2);
    const char* argv[] = {program.c_str(), sock.c_str(), "--key=b", "info", nullptr};
    const char* envp[] = {env.c_str(), nullptr};
    ::execve(argv[0], const_cast<char**>(argv), const_cast<char**>(envp));
    ::_exit(127);
  }
  ::close(toolSide);
  std::string got;
  double ms = -1;
  while (ms < 0) {
    pollfd pfd{deviceSide, POLLIN, 0};
    if (::poll(&pfd, 1, 10000) <= 0) break;
    char buf[256];
    const ssize_t n = ::read(deviceSide, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
    const size_t proofEnd = got.find('\n');
    if (proofEnd != std::string::npos && got.find('\x1B', proofEnd) != std::string::npos) {
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
               .count();
    }
  }
  ::close(deviceSide);  // the command then fails; only the start counts
  ::waitpid(pid, nullptr, 0);
  if (ms < 0) Fail("vxkctl sent no command");
  return ms;
}

}  // namespace

void RunCliBenches() {
  if (!Selected("cli")) return;
  if (!fs::exists(BinDir() + "/vxkctl")) Fail("vxkctl is not built");
  TransferBenches();
  if (Selected("cli.start")) {
    Scratch lock;
    double best = 1e9;
    for (int i = 0; i < 5; ++i) best = std::min(best, StartMs(lock.path));
    Report("cli.start_ms", best, "ms");
  }
}

}  // namespace vxk
