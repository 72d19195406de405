#include "ui/TextPages.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "ui/EditorText.h"

namespace vxk {
namespace {

// Letters of ASCII and Latin-1 in lower case; every other byte as it is.
unsigned char Fold(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  return c;
}

struct FoldHash {
  size_t operator()(char c) const { return Fold(static_cast<unsigned char>(c)); }
};
struct FoldEqual {
  bool operator()(char a, char b) const {
    return Fold(static_cast<unsigned char>(a)) == Fold(static_cast<unsigned char>(b));
  }
};

template <class It, class Hash, class Equal>
It Search(It first, It last, It needleFirst, It needleLast, Hash hash, Equal equal) {
  return std::search(first, last,
                     std::boyer_moore_horspool_searcher(needleFirst, needleLast, hash, equal));
}

// Where the needle first occurs in [first, last) (last when nowhere).
template <class It>
It SearchCase(It first, It last, It needleFirst, It needleLast, bool matchCase) {
  if (matchCase)
    return Search(first, last, needleFirst, needleLast, std::hash<char>(), std::equal_to<char>());
  return Search(first, last, needleFirst, needleLast, FoldHash(), FoldEqual());
}

// Hex view geometry: "OFFSET: " then "hh " per byte, then two blanks and the characters.
constexpr size_t kHexStart = 2;  // after the offset's digits: ": "
constexpr size_t kHexWidth = 16 * 3 - 1;
constexpr size_t kCharsStart = kHexStart + kHexWidth + 2;

}  // namespace

void TextPages::Reset(const std::string* content) {
  content_ = content;
  checkpoints_.clear();
  checkpoints_.shrink_to_fit();
  textLines_ = 0;
  columns_ = 0;
  hexDigits_ = HexOffsetDigits(Size());
  hexColumns_ = static_cast<size_t>(hexDigits_) + kCharsStart + 16;
  if (!content_) return;
  size_t start = 0;
  for (;;) {
    const auto [end, next] = LineBounds(start);
    columns_ = std::max(columns_, ColumnOf(start, end));
    if (textLines_ % kCheckpointLines == 0) checkpoints_.push_back(start);
    ++textLines_;
    if (next == npos) break;
    start = next;
  }
}

void TextPages::SetHex(bool hex) {
  hex_ = hex;
}

std::pair<size_t, size_t> TextPages::LineBounds(size_t start) const {
  const size_t size = Size();
  const char* data = content_ ? content_->data() : nullptr;
  // One byte beyond the longest line: a line end right there still ends this line.
  const size_t limit = std::min(size, start + kMaxLineBytes + 1);
  if (start >= size) return {size, npos};
  const auto* lf = static_cast<const char*>(std::memchr(data + start, '\n', limit - start));
  const size_t lfAt = lf ? static_cast<size_t>(lf - data) : limit;
  const auto* cr = static_cast<const char*>(std::memchr(data + start, '\r', lfAt - start));
  if (cr) {
    const auto at = static_cast<size_t>(cr - data);
    return {at, at + 1 < size && data[at + 1] == '\n' ? at + 2 : at + 1};
  }
  if (lf) return {lfAt, lfAt + 1};
  const size_t end = std::min(size, start + kMaxLineBytes);
  return {end, end < size ? end : npos};
}

size_t TextPages::ColumnOf(size_t start, size_t at) const {
  size_t column = 0;
  for (size_t i = start; i < at; ++i)
    column = (*content_)[i] == '\t' ? column + kTabWidth - column % kTabWidth : column + 1;
  return column;
}

size_t TextPages::LineStart(size_t n) const {
  if (hex_) return std::min(Size(), n * 16);
  if (checkpoints_.empty()) return 0;
  const size_t checkpoint = std::min(n / kCheckpointLines, checkpoints_.size() - 1);
  size_t start = checkpoints_[checkpoint];
  for (size_t line = checkpoint * kCheckpointLines; line < n; ++line) {
    const size_t next = LineBounds(start).second;
    if (next == npos) break;
    start = next;
  }
  return start;
}

size_t TextPages::LineOf(size_t offset) const {
  if (hex_) return Lines() == 0 ? 0 : std::min(offset / 16, Lines() - 1);
  if (checkpoints_.empty()) return 0;
  const auto after = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), offset);
  const auto checkpoint = static_cast<size_t>(after - checkpoints_.begin()) - 1;
  size_t line = checkpoint * kCheckpointLines;
  size_t start = checkpoints_[checkpoint];
  for (;;) {
    const size_t next = LineBounds(start).second;
    if (next == npos || next > offset) return line;
    start = next;
    ++line;
  }
}

std::string TextPages::Line(size_t n) const {
  if (!content_ || n >= Lines()) return std::string();
  if (hex_) return HexLine(*content_, n * 16, hexDigits_);
  const size_t start = LineStart(n);
  const size_t end = LineBounds(start).first;
  std::string text;
  text.reserve(end - start);
  for (size_t i = start; i < end; ++i) {
    const auto b = static_cast<unsigned char>((*content_)[i]);
    if (b == '\t') {
      text.append(kTabWidth - text.size() % kTabWidth, ' ');
    } else {
      // Control bytes would draw as nothing or as boxes of other widths.
      text += b < 0x20 ? '?' : static_cast<char>(b);
    }
  }
  return text;
}

std::vector<std::pair<size_t, size_t>> TextPages::Columns(size_t n, size_t offset,
                                                          size_t length) const {
  if (!content_ || n >= Lines() || length == 0) return {};
  if (hex_) {
    const size_t first = std::max(offset, n * 16);
    const size_t last = std::min({offset + length, n * 16 + 16, Size()});
    if (first >= last) return {};
    const size_t digits = static_cast<size_t>(hexDigits_);
    const size_t a = first - n * 16;
    const size_t b = last - n * 16;
    return {{digits + kHexStart + a * 3, digits + kHexStart + b * 3 - 1},
            {digits + kCharsStart + a, digits + kCharsStart + b}};
  }
  const size_t start = LineStart(n);
  const size_t end = LineBounds(start).first;
  const size_t first = std::max(offset, start);
  const size_t last = std::min(offset + length, end);
  if (first >= last) return {};
  return {{ColumnOf(start, first), ColumnOf(start, last)}};
}

size_t TextPages::Find(const std::string& needle, size_t from, bool backward,
                       bool matchCase) const {
  const size_t size = Size();
  if (!content_ || needle.empty() || needle.size() > size) return npos;
  const std::string& text = *content_;
  if (!backward) {
    if (from > size - needle.size()) return npos;
    const auto found = SearchCase(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                                  needle.begin(), needle.end(), matchCase);
    return found == text.end() ? npos : static_cast<size_t>(found - text.begin());
  }
  // Backward: the first match of the reversed needle in the reversed text before the limit.
  const size_t limit = std::min(size, std::min(from, size - needle.size()) + needle.size());
  const auto last = text.rend();
  const auto first = text.rbegin() + static_cast<std::ptrdiff_t>(size - limit);
  const auto found = SearchCase(first, last, needle.rbegin(), needle.rend(), matchCase);
  if (found == last) return npos;
  // found points at the match's last byte.
  return static_cast<size_t>(last - found) - needle.size();
}

}  // namespace vxk
