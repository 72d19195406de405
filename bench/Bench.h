#pragma once

#include <functional>
#include <string>

namespace vxk {

// Prints one figure as "name value unit".
void Report(const std::string& name, double value, const std::string& unit);

// Seconds taken by fn.
double Seconds(const std::function<void()>& fn);

// A group of figures; the program runs those whose name starts with its argument.
struct BenchGroup {
  const char* name;
  void (*run)();
};

void RunCoreBenches();
void RunLinkBenches();
void RunFileBenches();
// The windows and the running tool; only in a build with the GUI.
void RunUiBenches();

}  // namespace vxk
