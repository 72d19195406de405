// vxkbench: measures the links, the terminal engine, the file layer and the windows against
// the virtual device and prints one figure per line as "name value unit". An argument selects
// the figures whose name starts with it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/Bench.h"

namespace vxk {

namespace {
std::string g_filter;
}

void Report(const std::string& name, double value, const std::string& unit) {
  std::printf("%s %.2f %s\n", name.c_str(), value, unit.c_str());
  std::fflush(stdout);
}

double Seconds(const std::function<void()>& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Fail(const char* what) {
  std::fprintf(stderr, "benchmark failed: %s\n", what);
  std::exit(1);
}

bool Selected(const std::string& group) {
  return g_filter.empty() || group.rfind(g_filter, 0) == 0 || g_filter.rfind(group, 0) == 0;
}

const std::string& BenchFilter() {
  return g_filter;
}

}  // namespace vxk

int main(int argc, char** argv) {
  if (argc > 1) vxk::g_filter = argv[1];
  vxk::RunCoreBenches();
  vxk::RunLinkBenches();
  vxk::RunFileBenches();
  vxk::RunLineRateBenches();
  vxk::RunServerBenches();
  vxk::RunOpsBenches();
  vxk::RunCliBenches();
  vxk::RunDiagBenches();
  vxk::RunFleetBenches();
#ifdef VXK_BENCH_GUI
  vxk::RunUiBenches();
  vxk::RunLcdBenches();
#endif
  return 0;
}
