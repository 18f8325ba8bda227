#include "framework/HelpManager.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "framework/ApplicationHelp.h"
#include "framework/FakeHelpViewer.h"
#include "framework/Forms.h"
#include "support/FakeDialogs.h"

using framework::HelpManager;
using testing_help::FakeHelpViewer;
using testing_help::ScopedRegistration;

namespace {

class HelpManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { savedFile_ = framework::ApplicationHelp().HelpFile(); }
  void TearDown() override { framework::ApplicationHelp().SetHelpFile(savedFile_); }

 private:
  QString savedFile_;
};

class NoTester : public framework::IWinHelpTester {
 public:
  bool CanShowKeyword(const QString&, const QString&) override { return false; }
  bool CanShowTopic(const QString&, const QString&) override { return false; }
  bool CanShowContext(int, const QString&) override { return false; }
  QStringList GetHelpStrings(const QString&) override { return {}; }
  QString GetHelpPath() override { return {}; }
  QString GetDefaultHelpFile() override { return {}; }
};

}  // namespace

// ---- registration ----------------------------------------------------------------------------

TEST_F(HelpManagerTest, RegistrationNumbersViewersAndReturnsTheManager) {
  const int before = HelpManager().ViewerCount();
  auto first = std::make_shared<FakeHelpViewer>();
  auto second = std::make_shared<FakeHelpViewer>();
  EXPECT_EQ(HelpManager().RegisterViewer(first), &HelpManager());
  EXPECT_EQ(HelpManager().RegisterViewer(second), &HelpManager());
  EXPECT_NE(first->id, 0);
  EXPECT_NE(first->id, second->id);
  EXPECT_EQ(HelpManager().ViewerCount(), before + 2);

  HelpManager().Release(first->id);
  EXPECT_EQ(HelpManager().ViewerCount(), before + 1);
  HelpManager().Release(first->id);  // a number no longer known changes nothing
  EXPECT_EQ(HelpManager().ViewerCount(), before + 1);
  HelpManager().Release(second->id);
  EXPECT_EQ(HelpManager().ViewerCount(), before);
}

TEST_F(HelpManagerTest, ReleasedViewersAreNoLongerAsked) {
  auto viewer = std::make_shared<FakeHelpViewer>();
  viewer->hasContents = true;
  HelpManager().RegisterViewer(viewer);
  HelpManager().Release(viewer->id);
  EXPECT_FALSE(HelpManager().ShowContents());
  EXPECT_TRUE(viewer->shown.isEmpty());
}

TEST_F(HelpManagerTest, WinHelpTesterIsReplacedAndRemoved) {
  const auto saved = HelpManager().WinHelpTester();
  auto tester = std::make_shared<NoTester>();
  HelpManager().SetWinHelpTester(tester);
  EXPECT_EQ(HelpManager().WinHelpTester(), tester);
  HelpManager().SetWinHelpTester(nullptr);
  EXPECT_EQ(HelpManager().WinHelpTester(), nullptr);
  HelpManager().SetWinHelpTester(saved);
}

// ---- what viewers ask ------------------------------------------------------------------------

TEST_F(HelpManagerTest, CurrentHelpFileIsTheApplications) {
  framework::ApplicationHelp().SetHelpFile("/opt/tempomere/Horaplex.chm");
  EXPECT_EQ(HelpManager().HelpFile(), "/opt/tempomere/Horaplex.chm");
}

TEST_F(HelpManagerTest, HelpWindowIsTheActiveWindow) {
  EXPECT_EQ(HelpManager().HelpWindow(), nullptr) << "no window is active";
  QWidget window;
  auto* edit = new QLineEdit(&window);
  (new QVBoxLayout(&window))->addWidget(edit);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_NE(HelpManager().HelpWindow(), nullptr);
  EXPECT_EQ(HelpManager().HelpWindow(), framework::WindowHandleOf(&window));
  EXPECT_EQ(framework::WindowHandleOf(edit), framework::WindowHandleOf(&window));
  EXPECT_EQ(framework::WindowHandleOf(nullptr), nullptr);
}

// ---- routing ---------------------------------------------------------------------------------

TEST_F(HelpManagerTest, RequestsGoToTheFirstViewerThatHasWhatTheyAsk) {
  auto without = std::make_shared<FakeHelpViewer>();
  auto with = std::make_shared<FakeHelpViewer>();
  with->hasContents = with->hasTopic = with->hasContext = true;
  with->keywordCount = 2;
  ScopedRegistration a(without), b(with);
  framework::ApplicationHelp().SetHelpFile("Guide.chm");

  EXPECT_TRUE(HelpManager().ShowContents());
  EXPECT_TRUE(HelpManager().ShowKeyword("drift"));
  EXPECT_TRUE(HelpManager().ShowTopic("/page.htm"));
  EXPECT_TRUE(HelpManager().ShowContext(17));
  EXPECT_TRUE(without->shown.isEmpty());
  EXPECT_EQ(with->shown,
            (QStringList{"contents", "keyword:drift", "topic:/page.htm", "context:17:Guide.chm"}));
}

TEST_F(HelpManagerTest, NobodyHavingItMeansNotTaken) {
  auto viewer = std::make_shared<FakeHelpViewer>();
  ScopedRegistration r(viewer);
  EXPECT_FALSE(HelpManager().ShowContents());
  EXPECT_FALSE(HelpManager().ShowKeyword("x"));
  EXPECT_FALSE(HelpManager().ShowTopic("x"));
  EXPECT_FALSE(HelpManager().ShowContext(1));
  EXPECT_TRUE(viewer->shown.isEmpty());
}

TEST_F(HelpManagerTest, ViewerMayReleaseItselfWhileShowing) {
  struct SelfReleasing : FakeHelpViewer {
    void ShowContents() override {
      FakeHelpViewer::ShowContents();
      HelpManager().Release(id);
    }
  };
  auto viewer = std::make_shared<SelfReleasing>();
  viewer->hasContents = true;
  const int before = HelpManager().ViewerCount();
  HelpManager().RegisterViewer(viewer);
  EXPECT_TRUE(HelpManager().ShowContents());
  EXPECT_EQ(HelpManager().ViewerCount(), before);
  EXPECT_EQ(viewer->shown, QStringList{"contents"});
}

TEST_F(HelpManagerTest, SoftShutdownKeepsViewersShutdownForgetsThem) {
  auto viewer = std::make_shared<FakeHelpViewer>();
  const int before = HelpManager().ViewerCount();
  HelpManager().RegisterViewer(viewer);
  HelpManager().SoftShutdownViewers();
  EXPECT_EQ(viewer->softShutdowns, 1);
  EXPECT_EQ(HelpManager().ViewerCount(), before + 1);
  HelpManager().Shutdown();
  EXPECT_EQ(viewer->shutdowns, 1);
  EXPECT_EQ(HelpManager().ViewerCount(), 0);
}

// ---- what the help call has to say -----------------------------------------------------------

TEST_F(HelpManagerTest, HelpCallMessagesAreShownInTheStandardErrorBox) {
  testing_support::FakeDialogs dialogs;
  HelpManager();  // the application's help is in place
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.path() + "/Horaplex.chm";
  QFile help(file);
  ASSERT_TRUE(help.open(QIODevice::WriteOnly));
  help.write("ITSF");
  help.close();

  auto noViewer = platform::NewDesktopHtmlHelp({{(dir.path() + "/none").toStdString(), false}});
  EXPECT_EQ(noViewer->HtmlHelpA(nullptr, QFile::encodeName(file).constData(),
                                platform::HH_DISPLAY_TOC, 0),
            nullptr);
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(dialogs.last_error_title, framework::ApplicationTitle());
  EXPECT_EQ(dialogs.errors[0],
            QString::fromStdString(platform::NoHelpViewerMessage(file.toStdString())));
  EXPECT_TRUE(dialogs.errors[0].contains("kchmviewer"));

  const QString missing = dir.path() + "/Missing.chm";
  noViewer->HtmlHelpA(nullptr, QFile::encodeName(missing).constData(), platform::HH_DISPLAY_TOC, 0);
  ASSERT_EQ(dialogs.errors.size(), 2);
  EXPECT_TRUE(dialogs.errors[1].contains(missing));
}
