#pragma once

#include <QString>
#include <string>

class QTextDocument;

namespace vxk {

// How the file editor shows device content and turns the edited text back into bytes.

// Content holding a byte 1 to 7, 11, 14 to 31 or 255 opens in the hex view.
bool LooksBinary(const std::string& content);
// Bytes 0 to 7, 11 and 14 to 31 become "?"; tabs, line ends, form feeds and backspaces stay.
std::string MaskControlChars(const std::string& content);
// 16 bytes a line: the offset, the bytes in hex and, in a column of their own, the bytes as
// characters ("." for any but printable ASCII): "0000: 48 65 6C" + padding + "  Hel". Lines are
// joined by CR LF, none after the last. Every offset has as many digits as the last one (at
// least four), so that the columns line up.
std::string HexDump(const std::string& content);
// The hex dump's line for the 16 bytes from offset (a multiple of 16), offsets written with
// digits digits: one line of HexDump, made on its own for a view that shows a page at a time.
std::string HexLine(const std::string& content, size_t offset, int digits);
// How many hex digits the offsets of a dump of size bytes take.
int HexOffsetDigits(size_t size);

// The line end a file uses: the first one found in it, CR LF when it has none.
std::string LineEndOf(const std::string& content);
// The text of an editor document with one "\n" between lines, every character kept as it is
// (non-breaking spaces included).
QString MemoText(const QTextDocument& document);
// The edited text as file bytes, each line end written as lineEnd.
std::string FileBytes(const QString& memoText, const std::string& lineEnd);
// The two lines of the position label: caret line and line count, then the size in bytes
// the text has when saved (each line break counted as lineEndLength bytes).
QString LineInfoText(int caretLine, int lines, int characters, int lineEndLength);
// The same two lines for a known size in bytes.
QString LinePositionText(int caretLine, int lines, long long bytes);

}  // namespace vxk
