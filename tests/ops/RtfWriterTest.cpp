#include "ops/RtfWriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

using namespace vxk;

namespace {

const RtfColour kRed{255, 0, 0};
const RtfColour kGreen{0, 128, 0};
const RtfColour kTeal{96, 192, 192};

// Runs the document through unrtf in the given output mode and returns what it printed.
std::string Unrtf(const std::string& document, const char* mode) {
  char name[] = "/tmp/vxk-rtf-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return "(no temporary file)";
  close(fd);
  std::ofstream(name, std::ios::binary) << document;
  const std::string command = std::string("unrtf --nopict --quiet ") + mode + " " + name + " 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    pclose(pipe);
  }
  std::remove(name);
  return out;
}

bool HaveUnrtf() {
  return std::system("command -v unrtf >/dev/null 2>&1") == 0;
}

TEST(RtfWriter, EscapesEveryByteSoTheDocumentStaysWellFormed) {
  RtfWriter w;
  w.Append("a\\b{c}\x01\xE9\x7F\tz\r\ny\nx\r", RtfColour{});
  const std::string doc = w.Document();
  EXPECT_EQ(doc.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
  EXPECT_NE(doc.find("a\\\\b\\{c\\}\\'01\\'e9\\'7f\\tab z\\par\ny\\par\nx\\par\n"),
            std::string::npos)
      << doc;
  // No raw byte outside printable ASCII and the writer's own line ends.
  for (const char c : doc) {
    const auto b = static_cast<unsigned char>(c);
    EXPECT_TRUE(b == '\n' || (b >= 0x20 && b < 0x7F)) << int(b);
  }
  int depth = 0;
  for (size_t i = 0; i < doc.size(); ++i) {
    if (doc[i] == '\\') {
      ++i;
      continue;
    }
    if (doc[i] == '{') ++depth;
    if (doc[i] == '}') --depth;
    ASSERT_GE(depth, 0);
  }
  EXPECT_EQ(depth, 0);
}

TEST(RtfWriter, CrLfSplitAcrossRunsIsOneBreak) {
  RtfWriter w;
  w.Append("one\r", kRed);
  w.Append("\ntwo", kGreen);
  const std::string doc = w.Document();
  EXPECT_EQ(doc.find("\\par"), doc.rfind("\\par"));
}

TEST(RtfWriter, OutgrowingTheLimitFailsWithTheCopyError) {
  RtfWriter w(100);
  w.Append(std::string(90, 'x'), kRed);
  try {
    w.Append("more text", kRed);
    FAIL() << "no error";
  } catch (const RtfError& e) {
    EXPECT_STREQ(e.what(), "Error appending RTF data.");
  }
}

TEST(RtfWriter, TextColoursAndStylesSurviveAnIndependentReader) {
  if (!HaveUnrtf()) GTEST_SKIP() << "unrtf is not installed (scripts/install-deps.sh)";
  RtfWriter w;
  w.Append("12:00:01.002 ", kTeal);
  w.Append("[Lua!] ", kRed, true);
  w.Append("caf\xE9 {x} \\ done\r\n", RtfColour{});
  w.Append("-.-.-\r\n", kGreen, false, true);
  const std::string doc = w.Document();

  const std::string text = Unrtf(doc, "--text");
  // unrtf writes text in Latin-1, which agrees with the device's bytes here.
  EXPECT_NE(text.find("12:00:01.002 [Lua!] caf\xE9 {x} \\ done"), std::string::npos) << text;
  EXPECT_NE(text.find("-.-.-"), std::string::npos) << text;

  const std::string html = Unrtf(doc, "--html");
  EXPECT_NE(html.find("caf&eacute;"), std::string::npos) << html;
  EXPECT_NE(html.find("#60c0c0"), std::string::npos) << html;
  EXPECT_NE(html.find("#ff0000"), std::string::npos) << html;
  EXPECT_NE(html.find("#008000"), std::string::npos) << html;
  // Bold around the tag, italic around the separator, neither around the plain text.
  const size_t tag = html.find("[Lua!]");
  const size_t sep = html.find("-.-.-");
  ASSERT_NE(tag, std::string::npos);
  ASSERT_NE(sep, std::string::npos);
  EXPECT_NE(html.rfind("<b>", tag), std::string::npos);
  EXPECT_GT(html.find("</b>", tag), tag);
  EXPECT_LT(html.find("</b>", tag), html.find("done"));
  EXPECT_NE(html.rfind("<i>", sep), std::string::npos);
  EXPECT_GT(html.rfind("<i>", sep), html.find("done"));
}

}  // namespace
