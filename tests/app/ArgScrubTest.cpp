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
