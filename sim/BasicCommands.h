#pragma once

namespace vxk {

class VirtualDevice;

// The interpreter's general commands: help, ver, echo, empty, lines, dump, flood.
void InstallBasicCommands(VirtualDevice& device);

// What a flooding device sends on channel 0 for ever.
enum class Flood {
  Text,          // numbered text lines, never a 0xAB or 0xBB
  EmptyReplies,  // nothing but 0xAB bytes: empty replies that never reach a prompt end
};

// Makes the device talk without end (made lazily as the host reads), for tests of bounded
// waits; the interpreter is busy and drops typed input until StopFlood. "FLOOD" and
// "FLOOD AB" at the prompt do the same.
void StartFlood(VirtualDevice& device, Flood kind);
void StopFlood(VirtualDevice& device);

}  // namespace vxk
