#pragma once

#include <QString>
#include <string>

namespace vxk {

// The one conversion between device bytes and displayed text: Windows-1252, with its five
// undefined bytes shown as the C1 control characters of the same value. Lossless both ways
// for every byte.
QString FromDevice(const std::string& bytes);
// Characters without a byte in the device's character set become '?'.
std::string ToDevice(const QString& text);
// Line ends as a clipboard holds them (LF, CR LF or CR) become the CR that ends a device
// command, one per line.
QString CrLineEnds(const QString& text);
// A device path as a person reads it: "//a.cfg" as "/a.cfg" (runs of "/" as one), control
// characters as '?'. For display only: the device always gets the path as it was formed.
QString ShownPath(const std::string& path);

}  // namespace vxk
