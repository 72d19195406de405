#include "app/ArgScrub.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vxk;

TEST(ArgScrub, KeyValuesAreOverwrittenInPlaceAndNothingElse) {
  std::vector<std::string> texts = {"vxktool", "-key=s3cret", "--KEY=a b", "/Key=x",
                                    "-key=",   "-keys=keep",  "key=plain", "-sock=7"};
  std::vector<char*> argv;
  for (auto& t : texts) argv.push_back(t.data());
  argv.push_back(nullptr);
  EXPECT_EQ(ScrubOptionValue(static_cast<int>(texts.size()), argv.data(), "key"), 3);
  const std::vector<std::string> seen(argv.begin(), argv.end() - 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"vxktool", "-key=******", "--KEY=***", "/Key=*",
                                            "-key=", "-keys=keep", "key=plain", "-sock=7"}));
}

// vxkctl also takes a value as the next argument: that one is hidden as well.
TEST(ArgScrub, SeparateValuesAreHiddenWhenAsked) {
  std::vector<std::string> texts = {"vxkctl", "--password", "p w", "--password-file", "pf", "diag",
                                    "--key",  "k1",         "-v",  "--password=x"};
  std::vector<char*> argv;
  for (auto& t : texts) argv.push_back(t.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(texts.size());
  EXPECT_EQ(ScrubOptionValue(argc, argv.data(), "password", true), 2);
  EXPECT_EQ(ScrubOptionValue(argc, argv.data(), "key", true), 1);
  const std::vector<std::string> seen(argv.begin(), argv.end() - 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"vxkctl", "--password", "***", "--password-file", "pf",
                                            "diag", "--key", "**", "-v", "--password=*"}));
}
