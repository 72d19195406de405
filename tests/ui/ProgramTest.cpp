#include <gtest/gtest.h>

#include <QTimer>
#include <stdexcept>

#include "UiTestSupport.h"
#include "app/HelpText.h"
#include "sim/ChildProcess.h"

using namespace vxk;

namespace {

std::string Tool() {
  return BinDir() + "/vxktool";
}

TEST(Program, HelpPrintsAndWaitsForReturn) {
  ChildProcess help;
  ASSERT_TRUE(help.Start({Tool(), "-HELP"}));
  ASSERT_TRUE(help.WaitForOutput("Hit [Return] to quit\n", 5000));
  SleepMs(200);
  EXPECT_TRUE(help.Running());  // still waiting for the line
  help.WriteInput("\n");
  EXPECT_EQ(help.Wait(5000), 0);
  EXPECT_EQ(help.Output(), HelpText());

  ChildProcess eof;
  ASSERT_TRUE(eof.Start({Tool(), "-h", "-com=1"}));
  eof.CloseInput();  // the end of input ends the wait too
  EXPECT_EQ(eof.Wait(5000), 0);
}

TEST(Program, RefusedOptionEndsStartUp) {
  for (const char* bad : {"-tcp", "-help=yes", "--frob"}) {
    ChildProcess tool;
    ASSERT_TRUE(tool.Start({Tool(), bad}, {"QT_QPA_PLATFORM=offscreen"}));
    EXPECT_EQ(tool.Wait(5000), 1) << bad;
    const std::string entry = std::string(bad).substr(bad[1] == '-' ? 2 : 1);
    EXPECT_EQ(tool.Output(), "Invalid commandline option: " + entry + "\n");
  }
}

TEST(Program, EscapedExceptionIsShownAndTheLoopGoesOn) {
  MessageBoxCatcher box;
  bool after = false;
  QTimer::singleShot(0, [] { throw std::runtime_error("'12x' is not a valid integer value"); });
  QTimer::singleShot(50, [&] { after = true; });
  EXPECT_TRUE(WaitUntil([&] { return after && !box.text.isEmpty(); }, 3000));
  EXPECT_EQ(box.title, QStringLiteral("Error"));
  EXPECT_EQ(box.text, QStringLiteral("'12x' is not a valid integer value"));
}

}  // namespace
