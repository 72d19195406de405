#pragma once

#include <functional>
#include <string>

namespace vxk {

// Prints one figure as "name value unit".
void Report(const std::string& name, double value, const std::string& unit);

// Whether figures whose names start with group were asked for.
bool Selected(const std::string& group);
// The filter given on the command line; empty for all figures.
const std::string& BenchFilter();

// Ends the benchmark with a message: a figure that could not be measured is no figure.
[[noreturn]] void Fail(const char* what);

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
// File transfers over links held to a serial line's and USB's rate.
void RunLineRateBenches();
void RunServerBenches();
void RunOpsBenches();
// vxkctl as a program against vxksim.
void RunCliBenches();
void RunDiagBenches();
// vxkctl serve against a fleet of virtual devices.
void RunFleetBenches();
// The windows and the running tool; only in a build with the GUI.
void RunUiBenches();
void RunLcdBenches();
// Records into the log window's panes; runs inside RunUiBenches' application.
void LogRecordsBench();
// The main window's longest pause while operations run; inside RunUiBenches' application.
void UiFreezeBench();
// Runs the event loop of RunUiBenches' application until cond holds; false when ms passed first.
bool WaitFor(const std::function<bool()>& cond, int ms);

}  // namespace vxk
