#pragma once

#include <cstddef>
#include <string>

namespace vxk {

// Device text made safe for a terminal or a script: Windows-1252 as UTF-8, and every control
// byte (ESC, CR, LF, TAB ...), the bytes Windows-1252 leaves undefined (they would become C1
// controls) and "\" as \xHH, so a device name can neither move the cursor nor split a line.
std::string ShownText(const std::string& deviceText);

// Device text of several lines (ended by CR LF, CR or LF), each line as ShownText, the lines
// ended by LF.
std::string ShownLines(const std::string& deviceText);

// Any text bound for a terminal (messages that may quote a local path or a device reply):
// control bytes, C1 controls and bytes that are no valid UTF-8 as \xHH, the rest as it is.
// Text that ShownText made stays as it is.
std::string TerminalText(const std::string& text);

// Device text as a JSON string literal (quotes included), Windows-1252 read as such.
std::string JsonString(const std::string& deviceText);

// Bytes of the UTF-8 sequence at text[i]; 0 when there is none (a stray, overlong or
// surrogate sequence, or one cut short).
size_t Utf8Length(const std::string& text, size_t i);

// A local (UTF-8) name as the device's Windows-1252 bytes; bytes that are no valid UTF-8, or
// characters without a Windows-1252 byte, stay as they are.
std::string LocalToDevice(const std::string& localName);

}  // namespace vxk
