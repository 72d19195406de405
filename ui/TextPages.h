#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace vxk {

// A large file's content as display lines, made one at a time from the caller's bytes and
// never copied whole: the text view (control bytes masked, tabs expanded) or the hex view (one
// line of HexDump per 16 bytes). Finds text in the bytes. The content must outlive the pages
// or the next Reset.
class TextPages {
 public:
  static constexpr size_t npos = std::string::npos;
  // A line longer than this is shown as several display lines (a file without line ends
  // would otherwise be one line too wide to draw).
  static constexpr size_t kMaxLineBytes = 4096;
  // Every this many lines the start is kept; a line in between is found from there.
  static constexpr size_t kCheckpointLines = 64;
  static constexpr int kTabWidth = 8;

  // Indexes content for the text view. Lines end at CR LF, LF or a lone CR; the text after
  // the last line end is a line of its own (empty when the content ends with one), as in the
  // text editor. Null forgets the content.
  void Reset(const std::string* content);
  void Clear() { Reset(nullptr); }
  // Switches between the text view and the hex view (16 bytes a line).
  void SetHex(bool hex);

  bool Hex() const { return hex_; }
  size_t Size() const { return content_ ? content_->size() : 0; }
  size_t Lines() const { return hex_ ? (Size() + 15) / 16 : textLines_; }
  // The widest display line, in characters.
  size_t Columns() const { return hex_ ? hexColumns_ : columns_; }

  // Display line n (below Lines()) as device bytes.
  std::string Line(size_t n) const;
  // The first byte of line n, and the line that holds byte offset.
  size_t LineStart(size_t n) const;
  size_t LineOf(size_t offset) const;
  // The character columns [first, last) that bytes [offset, offset + length) take in line n
  // (in the hex view both the hex digits and the characters); none when they miss the line.
  std::vector<std::pair<size_t, size_t>> Columns(size_t n, size_t offset, size_t length) const;

  // The next match of needle (device bytes) at or after from, or with backward the last one
  // that starts at or before from; npos when there is none on that side. Letter case is
  // ignored for ASCII and Latin-1 letters unless matchCase.
  size_t Find(const std::string& needle, size_t from, bool backward, bool matchCase) const;

 private:
  // Where the line that starts at start ends (its text) and where the next one starts.
  std::pair<size_t, size_t> LineBounds(size_t start) const;
  // The display column after the bytes [start, at) of one line.
  size_t ColumnOf(size_t start, size_t at) const;

  const std::string* content_ = nullptr;
  bool hex_ = false;
  int hexDigits_ = 4;
  size_t textLines_ = 0;
  size_t columns_ = 0;
  size_t hexColumns_ = 0;
  std::vector<size_t> checkpoints_;  // the start of every kCheckpointLines-th line
};

}  // namespace vxk
