#include "app/ParamHandler.h"

#include <gtest/gtest.h>

#include "app/HelpText.h"

using namespace vxk;

namespace {

TCommandLine Parsed(const std::vector<std::string>& args) {
  TCommandLine cl;
  cl.Parse(TCommandLine::kAllowed, args);
  return cl;
}

std::string RefusalOf(const std::vector<std::string>& args) {
  try {
    Parsed(args);
  } catch (const CommandLineError& e) {
    return e.what();
  }
  return "accepted";
}

TEST(CommandLine, MarkersAndCaseRules) {
  TCommandLine cl = Parsed({"-TCP=5000", "--com=3", "/key=AbC", "-HELP"});
  EXPECT_TRUE(cl.HasValue("tcp"));
  EXPECT_EQ(cl.GetValue("tcp"), "5000");
  EXPECT_EQ(cl.GetInt("com", 0), 3);
  EXPECT_EQ(cl.GetValue("KEY"), "AbC");
  EXPECT_TRUE(cl.HasOption("help"));
  EXPECT_FALSE(cl.HasOption("h"));
  // Entries are kept as typed, without the marker.
  EXPECT_EQ(cl.Options(), (std::vector<std::string>{"TCP=5000", "com=3", "key=AbC", "HELP"}));
}

TEST(CommandLine, RefusedOptionsNameTheEntryAsTyped) {
  EXPECT_EQ(RefusalOf({"-tcp", "5000"}), "Invalid commandline option: tcp");
  EXPECT_EQ(RefusalOf({"-help=yes"}), "Invalid commandline option: help=yes");
  EXPECT_EQ(RefusalOf({"--Bogus=1"}), "Invalid commandline option: Bogus=1");
  EXPECT_EQ(RefusalOf({"-com=1", "-x"}), "Invalid commandline option: x");
  EXPECT_EQ(
      RefusalOf({"-ssl", "-tls", "-h", "-sock=4", "-rtt=1", "-time=2", "-server=9", "-keyfd=5"}),
      "accepted");
}

TEST(CommandLine, FirstOccurrenceWinsAndBareWordsAreKeptAside) {
  TCommandLine cl = Parsed({"-rtt=1000", "word", "-rtt=20"});
  EXPECT_EQ(cl.GetInt("rtt", 0), 1000);
  EXPECT_EQ(cl.Positional(), std::vector<std::string>{"word"});
}

TEST(CommandLine, GetIntFallsBackToTheDefault) {
  TCommandLine cl = Parsed({"-com=x", "-rtt=", "-time=-5", "-sock=99999999999"});
  EXPECT_EQ(cl.GetInt("com", 0), 0);
  EXPECT_EQ(cl.GetInt("rtt", 20), 20);
  EXPECT_EQ(cl.GetInt("time", 20), -5);
  EXPECT_EQ(cl.GetInt("sock", 0), 0);
  EXPECT_EQ(cl.GetInt("tcp", 7), 7);
  EXPECT_TRUE(cl.HasValue("rtt"));
  EXPECT_EQ(cl.GetValue("rtt"), "");
}

TEST(CommandLine, EmptyAllowedSetAcceptsEverything) {
  TCommandLine cl;
  cl.Parse("", {"-anything=1", "/other"});
  EXPECT_EQ(cl.GetValue("anything"), "1");
  EXPECT_TRUE(cl.HasOption("other"));
}

TEST(CommandLine, ParseStartsAfresh) {
  TCommandLine cl;
  cl.Parse(TCommandLine::kAllowed, {"-com=1", "x"});
  cl.Parse(TCommandLine::kAllowed, {"-tcp=2"});
  EXPECT_FALSE(cl.HasValue("com"));
  EXPECT_TRUE(cl.Positional().empty());
}

TEST(CommandLine, DecimalIntegers) {
  int v = 0;
  EXPECT_TRUE(ParseDecimalInt("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(ParseDecimalInt("-2147483648", v));
  EXPECT_EQ(v, -2147483647 - 1);
  EXPECT_FALSE(ParseDecimalInt("2147483648", v));
  EXPECT_FALSE(ParseDecimalInt("0x10", v));
  EXPECT_FALSE(ParseDecimalInt(" 1", v));
  EXPECT_FALSE(ParseDecimalInt("-", v));
}

TEST(HelpText, LinesAreAlignedAndEndWithThePrompt) {
  const std::string help = HelpText();
  EXPECT_EQ(help.rfind("Command line options:\n", 0), 0u);
  EXPECT_NE(help.find("\n -sock=HANDLE         Invoke with socket handle (used by the server "
                      "daemon)\n"),
            std::string::npos);
  EXPECT_NE(help.find("\n\nHit [Return] to quit\n"), std::string::npos);
  // Every option line starts its description in the same column.
  size_t pos = 0;
  int optionLines = 0;
  while ((pos = help.find("\n -", pos)) != std::string::npos) {
    const size_t end = help.find('\n', pos + 1);
    const std::string line = help.substr(pos + 1, end - pos - 1);
    EXPECT_EQ(line.find_first_not_of(' ', line.find("  ")), 22u) << line;
    ++optionLines;
    pos = end;
  }
  EXPECT_EQ(optionLines, 8);
}

}  // namespace
