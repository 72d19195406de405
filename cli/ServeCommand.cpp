#include "cli/ServeCommand.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>
#include <memory>
#include <thread>

#include "cli/BatchRun.h"
#include "cli/CliConnect.h"
#include "cli/CliText.h"
#include "cli/DiagCommand.h"
#include "cli/JsonObject.h"
#include "cli/ServeRun.h"
#include "cli/TextFile.h"
#include "comms/TcpSocket.h"
#include "comms/Ticks.h"
#include "ops/LocalFiles.h"

namespace vxk {
namespace {

constexpr size_t kMaxJobBytes = size_t(1) << 20;
// How often the accept loop and the drain look at the signals and the running runs.
constexpr int kTurnMs = 100;

// One device run on its thread.
struct Worker {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> finished;
};

std::string PeerText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (address.ss_family == AF_INET) {
    const auto& a = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    port = ntohs(a.sin_port);
    return std::string(host) + ":" + std::to_string(port);
  }
  if (address.ss_family == AF_INET6) {
    const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &a.sin6_addr, host, sizeof host);
    port = ntohs(a.sin6_port);
  }
  return "[" + std::string(host) + "]:" + std::to_string(port);
}

std::vector<BatchLine> LoadJob(const CliOptions& options, const char* environmentPassword) {
  try {
    std::vector<BatchLine> job = ParseBatch(ReadTextFile(options.job, kMaxJobBytes), false, true);
    if (job.empty()) throw UsageError("it holds no command");
    CheckBatchSecrets(job, environmentPassword);
    return job;
  } catch (const UsageError& e) {
    throw UsageError("job " + options.job + ": " + e.what());
  }
}

class Server {
 public:
  // stopJobs is the flag the runs stop on (setup.stopJobs).
  Server(ServeSetup& setup, const CliOptions& options, VxkctlEnvironment& env,
         std::atomic<bool>& stopJobs)
      : setup_(setup), options_(options), env_(env), stopJobs_(stopJobs) {}

  // Accepts until a signal; false when the port cannot be listened on.
  bool Listen(std::string& error) {
    if (!listener_.Bind("0.0.0.0", options_.port) || !listener_.Listen(SOMAXCONN)) {
      error = "cannot listen on TCP port " + options_.port + ": " +
              std::strerror(listener_.LastError());
      return false;
    }
    return true;
  }

  void AcceptUntilSignal() {
    while (!env_.cancel) {
      Reap();
      if (workers_.size() >= static_cast<size_t>(options_.sessions)) {
        // Full: the next device waits in the backlog until a run ends.
        SleepMs(kTurnMs / 10);
        continue;
      }
      pollfd pfd{listener_.Handle(), POLLIN, 0};
      if (::poll(&pfd, 1, kTurnMs) <= 0) continue;
      sockaddr_storage address{};
      socklen_t length = sizeof address;
      const int fd = ::accept4(listener_.Handle(), reinterpret_cast<sockaddr*>(&address), &length,
                               SOCK_CLOEXEC);
      if (fd < 0) continue;  // the peer left again, or no descriptor is free: next turn
      Start(fd, PeerText(address));
    }
  }

  // Closes the port, lets running jobs finish within the drain time, stops them after it (or
  // at a second signal) and waits for every run's line. True when none had to be stopped.
  bool Drain() {
    listener_.Close();
    Reap();
    setup_.Log("vxkctl: draining: " + std::to_string(workers_.size()) +
               " devices still running, no new ones taken");
    const int64_t deadline = TickCount() + int64_t(options_.drainSeconds) * 1000;
    bool stopped = false;
    while (!workers_.empty()) {
      const bool again = env_.signalCount && env_.signalCount->load() >= 2;
      if (!stopped && (TickCount() >= deadline || again)) {
        setup_.Log("vxkctl: stopping the running jobs");
        stopJobs_ = true;
        stopped = true;
      }
      SleepMs(kTurnMs / 10);
      Reap();
    }
    setup_.results.Sync();
    return !stopped;
  }

 private:
  void Start(int fd, const std::string& peer) {
    auto finished = std::make_shared<std::atomic<bool>>(false);
    ServeSetup& setup = setup_;
    try {
      workers_.push_back({std::thread([fd, peer, &setup, finished] {
                            ServeDevice(fd, peer, setup);
                            *finished = true;
                          }),
                          finished});
    } catch (const std::system_error& e) {
      // No thread to be had: the device is turned away and may dial in again.
      ::close(fd);
      setup_.Log(std::string("vxkctl: turned a device away: ") + e.what());
    }
  }

  void Reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (*it->finished) {
        it->thread.join();
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }

  ServeSetup& setup_;
  const CliOptions& options_;
  VxkctlEnvironment& env_;
  TcpSocket listener_;
  std::list<Worker> workers_;
  std::atomic<bool>& stopJobs_;
};

}  // namespace

int RunServe(const CliOptions& options, VxkctlEnvironment& env) {
  const std::string key = ResolveKey(options, env.environmentKey);
  std::vector<BatchLine> job = LoadJob(options, env.environmentPassword);
  std::unique_ptr<ResultsFile> results;
  try {
    results = std::make_unique<ResultsFile>(options.results);
  } catch (const LocalFileError& e) {
    env.err << "vxkctl: " << TerminalText(e.what()) << "\n";
    return kExitFailed;
  }
  std::mutex logMutex;
  ServeCounts counts;
  CliOptions jobOptions;
  jobOptions.json = true;
  jobOptions.quiet = true;
  jobOptions.verbose = false;
  jobOptions.keepGoing = options.keepGoing;
  jobOptions.lockWaitMs = options.lockWaitMs;
  std::atomic<bool> stopJobs{false};
  ServeSetup setup{env.hid,
                   key,
                   options.roundTripTime,
                   options.extraTime,
                   std::move(job),
                   jobOptions,
                   env.environmentPassword,
                   options.proxyProtocol,
                   options.quiet,
                   *results,
                   env.err,
                   logMutex,
                   stopJobs,
                   counts};
  Server server(setup, options, env, stopJobs);
  std::string error;
  if (!server.Listen(error)) {
    env.err << "vxkctl: " << error << "\n";
    return kExitLink;
  }
  if (env.holdSecondSignal) *env.holdSecondSignal = true;
  setup.Log("vxkctl: serving TCP port " + options.port + ", at most " +
            std::to_string(options.sessions) + " devices at once");
  server.AcceptUntilSignal();
  const bool clean = server.Drain();
  const int runs = counts.done + counts.failed + counts.refused + counts.interrupted;
  setup.Log("vxkctl: " + std::to_string(runs) + " device runs: " + std::to_string(counts.done) +
            " done, " + std::to_string(counts.failed) + " failed, " +
            std::to_string(counts.refused) + " refused, " + std::to_string(counts.interrupted) +
            " interrupted");
  if (options.json) {
    env.out << JsonObject()
                   .Number("runs", runs)
                   .Number("done", counts.done)
                   .Number("failed", counts.failed)
                   .Number("refused", counts.refused)
                   .Number("interrupted", counts.interrupted)
                   .Number("unwritten", counts.unwritten)
                   .Text()
            << "\n";
  }
  if (counts.unwritten > 0) return kExitFailed;
  return clean ? kExitOk : kExitInterrupted;
}

}  // namespace vxk
