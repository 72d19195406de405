#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ui/EditorText.h"
#include "ui/TextPages.h"

using namespace vxk;

namespace {

std::vector<std::string> AllLines(const TextPages& pages) {
  std::vector<std::string> lines;
  for (size_t n = 0; n < pages.Lines(); ++n) lines.push_back(pages.Line(n));
  return lines;
}

TEST(TextPages, LinesAsTheEditorShowsThem) {
  const std::string longLine(10000, 'x');
  const std::string exact(TextPages::kMaxLineBytes, 'y');
  struct Case {
    std::string content;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {""}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"x\n", {"x", ""}},
      {"\r\n\r\n", {"", "", ""}},
      {"a\tb\t\tc", {"a       b               c"}},
      {std::string("\x01z\0w\x7f", 5), {std::string("?z?w\x7f")}},
      // Overlong lines are cut; one exactly as long as allowed is not.
      {longLine + "\ny",
       {longLine.substr(0, 4096), longLine.substr(4096, 4096), longLine.substr(8192), "y"}},
      {exact + "\r\nz", {exact, "z"}},
  };
  for (const Case& c : cases) {
    TextPages pages;
    pages.Reset(&c.content);
    EXPECT_EQ(AllLines(pages), c.lines) << c.content.substr(0, 20);
  }
}

TEST(TextPages, LineStartAndLineOfAcrossCheckpoints) {
  std::string content;
  for (int i = 0; i < 1000; ++i) content += "line " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
  TextPages pages;
  pages.Reset(&content);
  ASSERT_EQ(pages.Lines(), 1001u);
  EXPECT_EQ(pages.Columns(), 8u);
  for (size_t n = 0; n < 1000; n += 7) {
    EXPECT_EQ(pages.Line(n), "line " + std::to_string(n));
    const size_t start = pages.LineStart(n);
    EXPECT_EQ(content.compare(start, 5, "line "), 0) << n;
    EXPECT_EQ(pages.LineOf(start), n);
    // Every byte of the line, its line end included, belongs to it.
    EXPECT_EQ(pages.LineOf(pages.LineStart(n + 1) - 1), n);
  }
}

TEST(TextPages, HexViewAndMatchColumns) {
  std::string content = "\tab" + std::string(30, 'q');
  TextPages pages;
  pages.Reset(&content);
  using Spans = std::vector<std::pair<size_t, size_t>>;
  EXPECT_EQ(pages.Columns(0, 1, 2), (Spans{{8, 10}}));  // after the tab
  EXPECT_EQ(pages.Columns(0, 40, 2), Spans{});
  pages.SetHex(true);
  ASSERT_EQ(pages.Lines(), 3u);
  EXPECT_EQ(pages.Line(1), HexLine(content, 16, 4));
  // Bytes 17 and 18: their hex digits, then their characters.
  EXPECT_EQ(pages.Columns(1, 17, 2), (Spans{{4 + 2 + 3, 4 + 2 + 3 + 5}, {4 + 51 + 1, 4 + 51 + 3}}));
  // A match over a line break marks its part of each line.
  EXPECT_EQ(pages.Columns(0, 15, 2), (Spans{{4 + 2 + 45, 4 + 2 + 47}, {4 + 51 + 15, 4 + 51 + 16}}));
  EXPECT_EQ(pages.LineOf(33), 2u);
}

// Every search agrees with a plain scan, forward and backward, with and without case.
TEST(TextPages, FindAgreesWithAPlainScan) {
  std::mt19937 random(5);
  const std::string alphabet = "aAbB\xc9\xe9\n";
  auto fold = [](unsigned char c) -> unsigned char {
    return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? c + 32 : c;
  };
  for (int round = 0; round < 300; ++round) {
    std::string content(random() % 60, ' ');
    for (char& c : content) c = alphabet[random() % alphabet.size()];
    std::string needle(1 + random() % 3, ' ');
    for (char& c : needle) c = alphabet[random() % alphabet.size()];
    TextPages pages;
    pages.Reset(&content);
    const size_t from = random() % (content.size() + 2);
    for (const bool matchCase : {false, true}) {
      auto at = [&](size_t i) {
        if (i + needle.size() > content.size()) return false;
        for (size_t k = 0; k < needle.size(); ++k) {
          const auto a = static_cast<unsigned char>(content[i + k]);
          const auto b = static_cast<unsigned char>(needle[k]);
          if (matchCase ? a != b : fold(a) != fold(b)) return false;
        }
        return true;
      };
      size_t forward = TextPages::npos;
      for (size_t i = from; i < content.size() && forward == TextPages::npos; ++i)
        if (at(i)) forward = i;
      size_t backward = TextPages::npos;
      for (size_t i = 0; i <= std::min(from, content.size()); ++i)
        if (at(i)) backward = i;
      EXPECT_EQ(pages.Find(needle, from, false, matchCase), forward) << round;
      EXPECT_EQ(pages.Find(needle, from, true, matchCase), backward) << round;
    }
  }
}

}  // namespace
