// The plain parts of batch files and serve: word splitting, placeholders, the PROXY line, the
// device's clock text and the results file under concurrent writers.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

#include "CliRig.h"
#include "cli/BatchScript.h"
#include "cli/ProxyLine.h"
#include "cli/ResultsFile.h"
#include "ops/DeviceClock.h"

using namespace vxk;

namespace {

TEST(ScriptParts, WordsAndPlaceholders) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(SplitWords("get  '/Logs/*.log' \"a \\\"b\\\"\" c\\ d # note"),
            (Words{"get", "/Logs/*.log", "a \"b\"", "c d"}));
  EXPECT_EQ(SplitWords("  # all comment"), Words{});
  EXPECT_EQ(SplitWords("exec a#b"), (Words{"exec", "a#b"}));
  EXPECT_THROW(SplitWords("ls \"open"), UsageError);

  // Whatever a header says, a value is one harmless file name.
  const std::pair<std::string, std::string> values[] = {
      {"100042", "100042"},
      {"../../etc", "_._.._etc"},
      {"a/b c\r\n\x1b", "a_b_c___"},
      {"-rf", "_rf"},
      {"", "unknown"},
      {"caf\xE9", "caf_"},
  };
  for (const auto& [raw, safe] : values) EXPECT_EQ(SafeValue(raw), safe) << raw;
  EXPECT_EQ(SafeValue(std::string(100, 'x')).size(), 64u);
  const Placeholders p = {{"serial", "../x"}, {"date", "2026-01-02"}};
  EXPECT_EQ(Substitute("out/{serial}/{date}.log", p), "out/_._x/2026-01-02.log");
  EXPECT_THROW(Substitute("{serail}", p), UsageError);
  EXPECT_EQ(Substitute("{", p), "{");
}

TEST(ScriptParts, ProxyLines) {
  struct Case {
    std::string line;
    ProxyLine::State state;
    std::string peer;
  };
  const Case cases[] = {
      {"PROXY TCP4 10.1.2.3 127.0.0.1 40000 5000", ProxyLine::State::Read, "10.1.2.3:40000"},
      {"PROXY TCP6 ::1 ::1 40000 5000", ProxyLine::State::Read, "[::1]:40000"},
      {"PROXY UNKNOWN", ProxyLine::State::Read, ""},
      {"PROXY TCP4 10.1.2.3 127.0.0.1 99999 5000", ProxyLine::State::Invalid, ""},
      {"PROXY TCP4 10.1.2.3\x1b 127.0.0.1 1 2", ProxyLine::State::Invalid, ""},
      {"CONNECT 100042", ProxyLine::State::Invalid, ""},
  };
  for (const Case& c : cases) {
    const ProxyLine p = ParseProxyLine(c.line);
    EXPECT_EQ(p.state, c.state) << c.line;
    EXPECT_EQ(p.peer, c.peer) << c.line;
  }
}

TEST(ScriptParts, DeviceClockText) {
  const DeviceClock utc = ParseDeviceClock("UTC 2026-05-01 11:00:01 TZ 60");
  ASSERT_TRUE(utc.found);
  EXPECT_TRUE(utc.utc);
  EXPECT_EQ(IsoDateTime(utc.time, true), "2026-05-01T11:00:01Z");
  const DeviceClock local = ParseDeviceClock("Time: 2026-05-01T12:00:01");
  EXPECT_TRUE(local.found);
  EXPECT_FALSE(local.utc);
  EXPECT_FALSE(ParseDeviceClock("12026-05-01 11:00:01").found);
  EXPECT_FALSE(ParseDeviceClock("2026-13-01 11:00:01").found);
  EXPECT_FALSE(ParseDeviceClock("ERROR").found);
}

// Writers on threads, through two opened files (as two processes would): every line whole,
// none lost, none twice.
TEST(ScriptParts, ResultsFileLinesNeverInterleave) {
  TempDir dir;
  const std::string path = dir.path + "/runs.jsonl";
  ResultsFile first(path), second(path);
  constexpr int kThreads = 8, kLines = 300;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      ResultsFile& file = t % 2 ? second : first;
      for (int n = 0; n < kLines; ++n) {
        const std::string line = std::to_string(t) + ":" + std::to_string(n) + ":" +
                                 std::string(static_cast<size_t>((n * 977 + t * 131) % 9000),
                                             static_cast<char>('a' + t));
        std::string error;
        EXPECT_TRUE(file.Append(line, error)) << error;
      }
    });
  }
  for (std::thread& w : writers) w.join();
  std::ifstream in(path);
  std::set<std::string> seen;
  for (std::string line; std::getline(in, line);) {
    const size_t a = line.find(':'), b = line.find(':', a + 1);
    ASSERT_NE(b, std::string::npos) << line.substr(0, 40);
    const int t = std::stoi(line.substr(0, a)), n = std::stoi(line.substr(a + 1, b - a - 1));
    EXPECT_EQ(line.substr(b + 1), std::string(static_cast<size_t>((n * 977 + t * 131) % 9000),
                                              static_cast<char>('a' + t)));
    EXPECT_TRUE(seen.insert(line.substr(0, b)).second) << "twice: " << line.substr(0, b);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

}  // namespace
