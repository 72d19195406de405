#include "CliRig.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "comms/TcpSocket.h"
#include "comms/Ticks.h"

namespace vxk {

CtlProcess::~CtlProcess() {
  if (pid_ > 0 && status_ < 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) ::close(outFd_);
  if (errFd_ >= 0) ::close(errFd_);
}

bool CtlProcess::Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
                       const std::optional<std::string>& input) {
  int out[2], err[2], in[2] = {-1, -1};
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return false;
  if (input && ::pipe2(in, O_CLOEXEC) != 0) return false;
  std::vector<std::string> argv{VxkctlPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv, cenv;
  for (auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  std::vector<std::string> fullEnv = env;
  if (const char* path = std::getenv("PATH")) fullEnv.push_back(std::string("PATH=") + path);
  for (auto& e : fullEnv) cenv.push_back(const_cast<char*>(e.c_str()));
  cenv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(input ? in[0] : ::open("/dev/null", O_RDONLY), 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::execve(cargv[0], cargv.data(), cenv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
  if (input) {
    ::close(in[0]);
    // The child reads all of it before it answers; a pipe holds far more than a test sends.
    const ssize_t n = ::write(in[1], input->data(), input->size());
    ::close(in[1]);
    if (n != static_cast<ssize_t>(input->size())) return false;
  }
  return pid_ > 0;
}

void CtlProcess::Drain(int timeoutMs) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (::poll(fds, 2, timeoutMs) <= 0) return;
  char buf[65536];
  for (int i = 0; i < 2; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
    const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
    if (n > 0) (i == 0 ? out : err).append(buf, static_cast<size_t>(n));
  }
}

int CtlProcess::Wait(int timeoutMs) {
  const int64_t deadline = TickCount() + timeoutMs;
  while (status_ < 0) {
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      break;
    }
    if (TickCount() >= deadline) return -1;
    Drain(10);
  }
  for (int i = 0; i < 100; ++i) {  // what is still in the pipes
    const size_t before = out.size() + err.size();
    Drain(0);
    if (out.size() + err.size() == before) break;
  }
  return status_;
}

void CtlProcess::Signal(int sig) {
  if (pid_ > 0 && status_ < 0) ::kill(pid_, sig);
}

bool CtlProcess::WaitForError(const std::string& text, int timeoutMs) {
  const int64_t deadline = TickCount() + timeoutMs;
  while (err.find(text) == std::string::npos) {
    if (TickCount() >= deadline) return false;
    Drain(20);
  }
  return true;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vxkctl-test-XXXXXX").string();
  path = ::mkdtemp(pattern.data());
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

std::string VxkctlPath() {
  return BinDir() + "/vxkctl";
}

std::string VxksimPath() {
  return BinDir() + "/vxksim";
}

std::string FreePort() {
  TcpSocket socket;
  socket.Bind("127.0.0.1", "0");
  const std::string address = socket.LocalAddress();
  return address.substr(address.rfind(':') + 1);
}

CliRig::CliRig() = default;

std::vector<std::string> CliRig::Env() const {
  return {"XDG_RUNTIME_DIR=" + lockDir.path};
}

CtlResult CliRig::Run(const std::vector<std::string>& args, const std::vector<std::string>& simArgs,
                      const std::string& key, const std::string& simKey,
                      const std::optional<std::string>& input) {
  const std::string port = FreePort();
  std::vector<std::string> ctlArgs{"--listen=" + port, "--wait=10"};
  if (!key.empty()) ctlArgs.push_back("--key=" + key);
  ctlArgs.insert(ctlArgs.end(), args.begin(), args.end());
  CtlProcess ctl;
  CtlResult result;
  if (!ctl.Start(ctlArgs, Env(), input)) return result;
  std::vector<std::string> simArgv{VxksimPath(), "--tcp", "127.0.0.1:" + port, "--root", root.path};
  if (!simKey.empty()) simArgv.insert(simArgv.end(), {"--key", simKey});
  simArgv.insert(simArgv.end(), simArgs.begin(), simArgs.end());
  ChildProcess sim;
  sim.Start(simArgv);
  result.status = ctl.Wait(60000);
  result.out = ctl.out;
  result.err = ctl.err;
  sim.Wait(5000);
  result.sim = sim.Output();
  return result;
}

namespace {

struct JsonReader {
  const std::string& s;
  size_t i = 0;

  [[noreturn]] void Fail() { throw std::runtime_error("bad JSON at " + std::to_string(i)); }
  void Space() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  }
  bool Take(const char* word) {
    const size_t n = std::char_traits<char>::length(word);
    if (s.compare(i, n, word) != 0) return false;
    i += n;
    return true;
  }
  std::string Str() {
    if (s[i++] != '"') Fail();
    std::string out;
    while (i < s.size() && s[i] != '"') {
      char c = s[i++];
      if (static_cast<unsigned char>(c) < 0x20) Fail();
      if (c == '\\') {
        if (i >= s.size()) Fail();
        c = s[i++];
        if (c == 'u') {
          if (i + 4 > s.size()) Fail();
          const long code = std::strtol(s.substr(i, 4).c_str(), nullptr, 16);
          if (code >= 0x80) Fail();  // the writer escapes control bytes only
          out += static_cast<char>(code);
          i += 4;
          continue;
        }
        if (c == 'n')
          c = '\n';
        else if (c == 't')
          c = '\t';
        else if (c == 'r')
          c = '\r';
        else if (c != '"' && c != '\\' && c != '/')
          Fail();
      }
      out += c;
    }
    if (i >= s.size()) Fail();
    ++i;
    return out;
  }
  Json Value() {
    Space();
    if (i >= s.size()) Fail();
    Json v;
    if (s[i] == '{') {
      v.kind = Json::Object;
      ++i;
      Space();
      if (s[i] == '}') return ++i, v;
      for (;;) {
        Space();
        const std::string name = Str();
        Space();
        if (s[i++] != ':') Fail();
        v.fields[name] = Value();
        Space();
        if (s[i] == ',') {
          ++i;
          continue;
        }
        if (s[i++] != '}') Fail();
        return v;
      }
    }
    if (s[i] == '[') {
      v.kind = Json::Array;
      ++i;
      Space();
      if (s[i] == ']') return ++i, v;
      for (;;) {
        v.items.push_back(Value());
        Space();
        if (s[i] == ',') {
          ++i;
          continue;
        }
        if (s[i++] != ']') Fail();
        return v;
      }
    }
    if (s[i] == '"') {
      v.kind = Json::String;
      v.text = Str();
      return v;
    }
    if (Take("true") || Take("false")) {
      v.kind = Json::Bool;
      v.boolean = s[i - 1] == 'e' && s[i - 2] == 'u';
      return v;
    }
    if (Take("null")) return v;
    char* end = nullptr;
    v.number = std::strtod(s.c_str() + i, &end);
    if (end == s.c_str() + i) Fail();
    v.kind = Json::Number;
    i = static_cast<size_t>(end - s.c_str());
    return v;
  }
};

}  // namespace

Json ParseJson(const std::string& text) {
  JsonReader reader{text};
  Json v = reader.Value();
  reader.Space();
  if (reader.i != text.size()) reader.Fail();
  return v;
}

}  // namespace vxk
