#pragma once

#include <string>

namespace vxk {

// Device text made safe for a terminal or a script: Windows-1252 as UTF-8, and every control
// byte (ESC, CR, LF, TAB ...) as \xHH, so a device name can neither move the cursor nor split
// a line.
std::string ShownText(const std::string& deviceText);

// Device text as a JSON string literal (quotes included), Windows-1252 read as such.
std::string JsonString(const std::string& deviceText);

// A local (UTF-8) name as the device's Windows-1252 bytes; bytes that are no valid UTF-8, or
// characters without a Windows-1252 byte, stay as they are.
std::string LocalToDevice(const std::string& localName);

}  // namespace vxk
