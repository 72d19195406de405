#pragma once

namespace vxk {

class VirtualDevice;

// The interpreter's general commands: help, ver, echo, empty, lines, dump.
void InstallBasicCommands(VirtualDevice& device);

}  // namespace vxk
