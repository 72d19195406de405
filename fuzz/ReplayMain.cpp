// Stand-in for libFuzzer where clang is missing: runs every input file given (or every file of
// a given folder), then -runs=N inputs mutated from them with a fixed seed, so a pass is
// repeatable and its length fixed. Crashes surface as they would under libFuzzer: the
// process dies (and under the sanitizers says why), leaving the input in replay-crash-input.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Called by the sanitizers before they end the process, when they are linked in.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

constexpr size_t kMaxInput = 64 * 1024;

struct Rng {
  uint64_t state;
  uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes that matter to the parsers under test, so mutations reach their branches often.
const char kInteresting[] = "\t\r\n\x1b\"\\:;=0123456789-+ {}\x80\xff\xab\xbb";

std::string Mutate(const std::vector<std::string>& corpus, Rng& rng) {
  std::string s = corpus.empty() ? std::string() : corpus[rng.Below(corpus.size())];
  const int steps = 1 + static_cast<int>(rng.Below(8));
  for (int i = 0; i < steps; ++i) {
    switch (rng.Below(7)) {
      case 0:  // flip a bit
        if (!s.empty()) s[rng.Below(s.size())] ^= static_cast<char>(1u << rng.Below(8));
        break;
      case 1:  // set a byte to a random or an interesting value
        if (!s.empty())
          s[rng.Below(s.size())] = rng.Below(2) ? static_cast<char>(rng.Next())
                                                : kInteresting[rng.Below(sizeof kInteresting - 1)];
        break;
      case 2:  // insert an interesting byte
        s.insert(s.begin() + static_cast<long>(rng.Below(s.size() + 1)),
                 kInteresting[rng.Below(sizeof kInteresting - 1)]);
        break;
      case 3:  // erase a range
        if (!s.empty()) {
          const size_t at = rng.Below(s.size());
          s.erase(at, 1 + rng.Below(std::min<size_t>(16, s.size() - at)));
        }
        break;
      case 4:  // duplicate a range
        if (!s.empty()) {
          const size_t at = rng.Below(s.size());
          const std::string part = s.substr(at, 1 + rng.Below(64));
          s.insert(rng.Below(s.size() + 1), part);
        }
        break;
      case 5:  // splice with another input
        if (!corpus.empty()) {
          const std::string& other = corpus[rng.Below(corpus.size())];
          s = s.substr(0, rng.Below(s.size() + 1)) + other.substr(rng.Below(other.size() + 1));
        }
        break;
      default:  // a run of digits, for the number fields
        s.insert(rng.Below(s.size() + 1), std::string(1 + rng.Below(24), '9'));
        break;
    }
  }
  if (s.size() > kMaxInput) s.resize(kMaxInput);
  return s;
}

const std::string* current = nullptr;

// Async-signal-safe: open, write and close only.
void SaveCurrent() {
  if (!current) return;
  const int fd = open("replay-crash-input", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  if (write(fd, current->data(), current->size()) < 0) {
  }
  close(fd);
}

extern "C" void OnFatalSignal(int sig) {
  SaveCurrent();
  signal(sig, SIG_DFL);
  raise(sig);
}

void RunOne(const std::string& input) {
  current = &input;
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  current = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  long runs = 0;
  uint64_t seed = 1;
  std::vector<std::string> corpus;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("-runs=", 0) == 0) {
      runs = std::stol(arg.substr(6));
    } else if (arg.rfind("-seed=", 0) == 0) {
      seed = std::stoull(arg.substr(6));
    } else if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) corpus.push_back(ReadAll(entry.path()));
    } else if (!arg.empty() && arg[0] != '-') {
      corpus.push_back(ReadAll(arg));
    }
  }
  for (const int sig : {SIGSEGV, SIGABRT, SIGFPE, SIGILL, SIGBUS}) signal(sig, OnFatalSignal);
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(SaveCurrent);
  for (const std::string& input : corpus) RunOne(input);
  Rng rng{seed * 0x9E3779B97F4A7C15ULL + 1};
  for (long i = 0; i < runs; ++i) {
    const std::string input = Mutate(corpus, rng);
    RunOne(input);
  }
  current = nullptr;
  std::cout << "replay: " << corpus.size() + static_cast<size_t>(runs < 0 ? 0 : runs)
            << " executions (" << corpus.size() << " corpus inputs)\n";
  return 0;
}
