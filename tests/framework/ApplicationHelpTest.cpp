#include "framework/ApplicationHelp.h"

#include <gtest/gtest.h>

#include "framework/FakeHelpViewer.h"

using framework::ApplicationHelp;
using testing_help::FakeHelpViewer;
using testing_help::ScopedRegistration;

namespace {

class ApplicationHelpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedFile_ = ApplicationHelp().HelpFile();
    viewer->hasContents = viewer->hasContext = true;
    viewer->keywordCount = 1;
    ApplicationHelp().SetHelpFile("Horaplex.chm");
  }
  void TearDown() override {
    ApplicationHelp().OnHelp = nullptr;
    ApplicationHelp().SetHelpFile(savedFile_);
  }

  std::shared_ptr<FakeHelpViewer> viewer = std::make_shared<FakeHelpViewer>();
  ScopedRegistration registration{viewer};

 private:
  QString savedFile_;
};

}  // namespace

TEST_F(ApplicationHelpTest, KeepsTheHelpFileName) {
  ApplicationHelp().SetHelpFile("/usr/share/tempomere/Horaplex.chm");
  EXPECT_EQ(ApplicationHelp().HelpFile(), "/usr/share/tempomere/Horaplex.chm");
}

TEST_F(ApplicationHelpTest, HookThatClearsCallHelpKeepsTheManagerOut) {
  unsigned seenCommand = 0;
  std::intptr_t seenData = -1;
  ApplicationHelp().OnHelp = [&](unsigned command, std::intptr_t data, bool& callHelp) {
    EXPECT_TRUE(callHelp) << "the hook is offered the framework's handling";
    seenCommand = command;
    seenData = data;
    callHelp = false;
    return true;
  };
  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0));
  EXPECT_EQ(seenCommand, 3u);
  EXPECT_EQ(seenData, 0);
  EXPECT_TRUE(viewer->shown.isEmpty());

  ApplicationHelp().OnHelp = [](unsigned, std::intptr_t, bool& callHelp) {
    callHelp = false;
    return false;
  };
  EXPECT_FALSE(ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0));
  EXPECT_TRUE(viewer->shown.isEmpty());
}

TEST_F(ApplicationHelpTest, HookThatLeavesCallHelpLetsTheManagerHandleIt) {
  int hookCalls = 0;
  ApplicationHelp().OnHelp = [&](unsigned, std::intptr_t, bool&) {
    ++hookCalls;
    return false;
  };
  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0));
  EXPECT_EQ(hookCalls, 1);
  EXPECT_EQ(viewer->shown, QStringList{"contents"});
}

TEST_F(ApplicationHelpTest, WithoutAHookTheManagerRoutesEachCommand) {
  const char keyword[] = "drift";
  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0));
  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_FINDER, 0));
  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_CONTEXT, 42));
  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_CONTEXTPOPUP, 7));
  EXPECT_TRUE(
      ApplicationHelp().HelpCommand(framework::HELP_KEY, reinterpret_cast<std::intptr_t>(keyword)));
  EXPECT_FALSE(ApplicationHelp().HelpCommand(framework::HELP_KEY, 0)) << "no keyword";
  EXPECT_FALSE(ApplicationHelp().HelpCommand(0x0105, 0)) << "a command nobody handles";
  EXPECT_EQ(viewer->shown, (QStringList{"contents", "contents", "context:42:Horaplex.chm",
                                        "context:7:Horaplex.chm", "keyword:drift"}));
  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_QUIT, 0));
  EXPECT_EQ(viewer->softShutdowns, 1);
}

TEST_F(ApplicationHelpTest, UnhandledWhenNoViewerHasIt) {
  viewer->hasContents = false;
  EXPECT_FALSE(ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0));
  EXPECT_TRUE(viewer->shown.isEmpty());
}
