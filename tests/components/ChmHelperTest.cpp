#include "components/ChmHelper.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "framework/ApplicationHelp.h"
#include "framework/FakeHelpViewer.h"
#include "platform/HtmlHelp.h"
#include "support/FakeDialogs.h"

using components::TCHMHelper;
using components::THTMLHelpViewer;
using components::TWinHelpMakeBehave;
using framework::ApplicationHelp;
using framework::HelpManager;

namespace {

// Every HtmlHelpA call, with the texts and the keyword record copied while they are alive.
struct HtmlHelpCall {
  platform::HWND caller;
  std::optional<std::string> file;
  unsigned command;
  platform::DWORD_PTR data;
  std::optional<platform::HH_AKLINK> link;
  std::string linkKeywords;
};

class FakeHtmlHelp : public platform::HtmlHelpApi {
 public:
  std::vector<HtmlHelpCall> calls;

  platform::HWND HtmlHelpA(platform::HWND caller, const char* file, unsigned command,
                           platform::DWORD_PTR data) override {
    HtmlHelpCall call{caller, std::nullopt, command, data, std::nullopt, {}};
    if (file) call.file = file;
    if (command == platform::HH_KEYWORD_LOOKUP) {
      call.link = *reinterpret_cast<const platform::HH_AKLINK*>(data);
      if (call.link->pszKeywords) call.linkKeywords = call.link->pszKeywords;
    }
    calls.push_back(call);
    return nullptr;
  }
};

// Installs the fake and keeps the application's help state as each test found it.
class ChmHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedFile_ = ApplicationHelp().HelpFile();
    savedTester_ = HelpManager().WinHelpTester();
    ApplicationHelp().SetHelpFile("/opt/tempomere/Horaplex.chm");
  }
  void TearDown() override {
    ApplicationHelp().OnHelp = nullptr;
    ApplicationHelp().SetHelpFile(savedFile_);
    HelpManager().SetWinHelpTester(savedTester_);
  }

  FakeHtmlHelp htmlHelp;
  platform::ScopedOverride<platform::HtmlHelpApi> installed{htmlHelp};

 private:
  QString savedFile_;
  std::shared_ptr<framework::IWinHelpTester> savedTester_;
};

}  // namespace

// ---- the application hook --------------------------------------------------------------------

struct HookRow {
  const char* name;
  unsigned command;
  std::intptr_t data;
  unsigned htmlCommand;
  platform::DWORD_PTR htmlData;
};

class ChmHelperHookTable : public ChmHelperTest, public ::testing::WithParamInterface<HookRow> {};

TEST_P(ChmHelperHookTable, MapsTheCommandAndTakesItOver) {
  const HookRow& row = GetParam();
  TCHMHelper helper;
  htmlHelp.calls.clear();
  bool callHelp = true;
  EXPECT_TRUE(helper.HelpHook(row.command, row.data, callHelp));
  EXPECT_FALSE(callHelp);
  ASSERT_EQ(htmlHelp.calls.size(), 1u);
  const HtmlHelpCall& call = htmlHelp.calls[0];
  EXPECT_EQ(call.caller, nullptr) << "no control is active";
  EXPECT_EQ(call.file, "/opt/tempomere/Horaplex.chm");
  EXPECT_EQ(call.command, row.htmlCommand);
  EXPECT_EQ(call.data, row.htmlData);
}

static const char kKeyword[] = "drift";

INSTANTIATE_TEST_SUITE_P(
    Commands, ChmHelperHookTable,
    ::testing::Values(
        HookRow{"Context", framework::HELP_CONTEXT, 120, platform::HH_HELP_CONTEXT, 120},
        HookRow{"Quit", framework::HELP_QUIT, 5, platform::HH_CLOSE_ALL, 0},
        HookRow{"Contents", framework::HELP_CONTENTS, 9, platform::HH_DISPLAY_TOC, 0},
        HookRow{"ContextPopup", framework::HELP_CONTEXTPOPUP, 33, platform::HH_HELP_CONTEXT, 33},
        HookRow{"Finder", framework::HELP_FINDER, 77, platform::HH_DISPLAY_TOPIC, 77},
        HookRow{"Key", framework::HELP_KEY, reinterpret_cast<std::intptr_t>(kKeyword),
                platform::HH_DISPLAY_INDEX, reinterpret_cast<platform::DWORD_PTR>(kKeyword)},
        HookRow{"SetContents", 5, 44, platform::HH_DISPLAY_TOPIC, 0},
        HookRow{"CommandHelp", 0x0102, 44, platform::HH_DISPLAY_TOPIC, 0}),
    [](const ::testing::TestParamInfo<HookRow>& info) { return std::string(info.param.name); });

TEST_F(ChmHelperTest, HelpMenuContentsOpensTheContentsPaneOnly) {
  TCHMHelper helper;
  auto other = std::make_shared<testing_help::FakeHelpViewer>();
  other->hasContents = true;
  testing_help::ScopedRegistration registration(other);
  htmlHelp.calls.clear();

  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0));
  ASSERT_EQ(htmlHelp.calls.size(), 1u);
  EXPECT_EQ(htmlHelp.calls[0].command, platform::HH_DISPLAY_TOC);
  EXPECT_EQ(htmlHelp.calls[0].file, "/opt/tempomere/Horaplex.chm");
  EXPECT_EQ(htmlHelp.calls[0].data, 0u);
  EXPECT_TRUE(other->shown.isEmpty()) << "the framework showed something else as well";
}

TEST_F(ChmHelperTest, HookUsesTheApplicationsFileNotAnyOther) {
  TCHMHelper helper;
  ApplicationHelp().SetHelpFile("Other.hlp");  // the hook does not look at the extension
  htmlHelp.calls.clear();
  ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0);
  ASSERT_EQ(htmlHelp.calls.size(), 1u);
  EXPECT_EQ(htmlHelp.calls[0].file, "Other.hlp");
}

TEST_F(ChmHelperTest, HelpWindowIsOwnedByTheActiveControlsWindow) {
  QWidget window;
  auto* edit = new QLineEdit(&window);
  (new QVBoxLayout(&window))->addWidget(edit);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  edit->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == edit; }, 5000));

  TCHMHelper helper(&window);
  htmlHelp.calls.clear();
  ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0);
  ASSERT_EQ(htmlHelp.calls.size(), 1u);
  EXPECT_NE(htmlHelp.calls[0].caller, nullptr);
  EXPECT_EQ(htmlHelp.calls[0].caller, framework::WindowHandleOf(&window));
}

// ---- installation and removal ----------------------------------------------------------------

TEST_F(ChmHelperTest, CreationRegistersTheViewerAndInstallsTheTester) {
  const int before = HelpManager().ViewerCount();
  {
    TCHMHelper helper;
    ASSERT_TRUE(helper.Viewer());
    EXPECT_EQ(helper.Viewer()->HelpManager(), &HelpManager());
    EXPECT_NE(helper.Viewer()->ViewerId(), 0);
    EXPECT_EQ(HelpManager().ViewerCount(), before + 1);
    EXPECT_TRUE(ApplicationHelp().OnHelp);
    EXPECT_TRUE(std::dynamic_pointer_cast<TWinHelpMakeBehave>(HelpManager().WinHelpTester()));
  }
  EXPECT_EQ(HelpManager().ViewerCount(), before);
}

TEST_F(ChmHelperTest, DestructionClosesHelpAndClearsTheHook) {
  auto fallback = std::make_shared<testing_help::FakeHelpViewer>();
  fallback->hasContents = true;
  testing_help::ScopedRegistration registration(fallback);
  {
    TCHMHelper helper;
    htmlHelp.calls.clear();
  }
  ASSERT_EQ(htmlHelp.calls.size(), 1u);
  EXPECT_EQ(htmlHelp.calls[0].command, platform::HH_CLOSE_ALL);
  EXPECT_EQ(htmlHelp.calls[0].caller, nullptr);
  EXPECT_FALSE(htmlHelp.calls[0].file.has_value());
  EXPECT_EQ(htmlHelp.calls[0].data, 0u);
  EXPECT_FALSE(ApplicationHelp().OnHelp);

  // A later help command falls back to the framework's own handling.
  htmlHelp.calls.clear();
  EXPECT_TRUE(ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0));
  EXPECT_TRUE(htmlHelp.calls.empty());
  EXPECT_EQ(fallback->shown, QStringList{"contents"});
}

TEST_F(ChmHelperTest, DesigningOwnerGetsAViewerButNoHooks) {
  // A window being designed: a Qt object that is also a framework component.
  struct DesignedWindow : QObject, framework::TComponent {};
  DesignedWindow designer;
  designer.SetDesigning(true);
  const int before = HelpManager().ViewerCount();
  TCHMHelper helper(&designer);
  EXPECT_TRUE(helper.Viewer());
  EXPECT_EQ(helper.Viewer()->HelpManager(), nullptr);
  EXPECT_EQ(HelpManager().ViewerCount(), before);
  EXPECT_FALSE(ApplicationHelp().OnHelp);
}

// ---- the viewer ------------------------------------------------------------------------------

TEST_F(ChmHelperTest, CompiledHelpFileIsRecognisedInAnyCase) {
  TCHMHelper helper;
  THTMLHelpViewer& viewer = *helper.Viewer();
  EXPECT_EQ(viewer.ViewerTitle(), "HTMLHelp Viewer");
  for (const char* name : {"X.CHM", "guide.chm", "/a/b/Mixed.Chm"}) {
    ApplicationHelp().SetHelpFile(name);
    EXPECT_EQ(viewer.KeywordCount("drift"), 1) << name;
    EXPECT_EQ(viewer.GetHelpStrings("drift"), QStringList{"drift"}) << name;
    EXPECT_TRUE(viewer.HasContents()) << name;
    EXPECT_TRUE(viewer.HasTopic("page.htm")) << name;
    EXPECT_TRUE(viewer.HasContext(5, "other.hlp")) << name;
  }
}

TEST_F(ChmHelperTest, OlderHelpFileGoesToTheWinHelpTesterOnly) {
  TCHMHelper helper;
  THTMLHelpViewer& viewer = *helper.Viewer();
  for (const char* name : {"Old.hlp", "OLD.HLP", "chm.hlp", "notes.txt", "chm", ""}) {
    ApplicationHelp().SetHelpFile(name);
    EXPECT_EQ(viewer.KeywordCount("drift"), 0) << name;
    EXPECT_TRUE(viewer.GetHelpStrings("drift").isEmpty()) << name;
    EXPECT_FALSE(viewer.HasContents()) << name;
    EXPECT_FALSE(viewer.HasTopic("page.htm")) << name;
    EXPECT_FALSE(viewer.HasContext(5, "given.chm")) << name << ": the manager's file decides";
  }
  framework::IWinHelpTester& tester = *HelpManager().WinHelpTester();
  for (const char* name : {"Old.hlp", "OLD.HLP", "/x/y.Hlp"}) {
    EXPECT_TRUE(tester.CanShowKeyword("k", name)) << name;
    EXPECT_TRUE(tester.CanShowTopic("t", name)) << name;
    EXPECT_TRUE(tester.CanShowContext(1, name)) << name;
  }
  for (const char* name : {"Help.chm", "hlp.chm", "hlp", ""}) {
    EXPECT_FALSE(tester.CanShowKeyword("k", name)) << name;
    EXPECT_FALSE(tester.CanShowTopic("t", name)) << name;
    EXPECT_FALSE(tester.CanShowContext(1, name)) << name;
  }
  EXPECT_TRUE(tester.GetHelpStrings("k").isEmpty());
  EXPECT_TRUE(tester.GetHelpPath().isEmpty());
  EXPECT_TRUE(tester.GetDefaultHelpFile().isEmpty());
}

TEST_F(ChmHelperTest, TopicsOpenWithTheirSuffix) {
  TCHMHelper helper;
  THTMLHelpViewer& viewer = *helper.Viewer();
  htmlHelp.calls.clear();
  viewer.ShowTopic("/page.htm");
  viewer.ShowTopic("page.htm");
  viewer.ShowTopic("");
  ASSERT_EQ(htmlHelp.calls.size(), 3u);
  EXPECT_EQ(htmlHelp.calls[0].file, "/opt/tempomere/Horaplex.chm::/page.htm");
  EXPECT_EQ(htmlHelp.calls[1].file, "/opt/tempomere/Horaplex.chm::/page.htm");
  EXPECT_EQ(htmlHelp.calls[2].file, "/opt/tempomere/Horaplex.chm");
  for (const HtmlHelpCall& call : htmlHelp.calls) {
    EXPECT_EQ(call.command, platform::HH_DISPLAY_TOPIC);
    EXPECT_EQ(call.data, 0u);
    EXPECT_EQ(call.caller, HelpManager().HelpWindow());
  }
}

TEST_F(ChmHelperTest, ContentsKeywordAndContextReachHtmlHelp) {
  TCHMHelper helper;
  THTMLHelpViewer& viewer = *helper.Viewer();
  htmlHelp.calls.clear();
  viewer.ShowContents();
  viewer.ShowKeyword("clock rate");
  viewer.ShowContext(42, "Given.chm");
  ASSERT_EQ(htmlHelp.calls.size(), 3u);

  EXPECT_EQ(htmlHelp.calls[0].command, platform::HH_DISPLAY_TOC);
  EXPECT_EQ(htmlHelp.calls[0].file, "/opt/tempomere/Horaplex.chm");
  EXPECT_EQ(htmlHelp.calls[0].data, 0u);

  const HtmlHelpCall& lookup = htmlHelp.calls[1];
  EXPECT_EQ(lookup.command, platform::HH_KEYWORD_LOOKUP);
  EXPECT_EQ(lookup.file, "/opt/tempomere/Horaplex.chm");
  ASSERT_TRUE(lookup.link.has_value());
  EXPECT_EQ(lookup.link->cbStruct, static_cast<int>(sizeof(platform::HH_AKLINK)));
  EXPECT_EQ(lookup.link->fReserved, 0);
  EXPECT_EQ(lookup.linkKeywords, "clock rate");
  EXPECT_EQ(lookup.link->pszUrl, nullptr);
  EXPECT_EQ(lookup.link->pszMsgText, nullptr);
  EXPECT_EQ(lookup.link->pszMsgTitle, nullptr);
  EXPECT_EQ(lookup.link->pszWindow, nullptr);
  EXPECT_NE(lookup.link->fIndexOnFail, 0);

  EXPECT_EQ(htmlHelp.calls[2].command, platform::HH_HELP_CONTEXT);
  EXPECT_EQ(htmlHelp.calls[2].file, "Given.chm") << "the given file, not the manager's";
  EXPECT_EQ(htmlHelp.calls[2].data, 42u);
}

TEST_F(ChmHelperTest, ManagerRoutesToTheViewerOnlyForCompiledHelp) {
  TCHMHelper helper;
  htmlHelp.calls.clear();
  EXPECT_TRUE(HelpManager().ShowTopic("intro.htm"));
  ASSERT_EQ(htmlHelp.calls.size(), 1u);
  EXPECT_EQ(htmlHelp.calls[0].file, "/opt/tempomere/Horaplex.chm::/intro.htm");

  ApplicationHelp().SetHelpFile("Old.hlp");
  htmlHelp.calls.clear();
  EXPECT_FALSE(HelpManager().ShowTopic("intro.htm"));
  EXPECT_FALSE(HelpManager().ShowContents());
  EXPECT_TRUE(htmlHelp.calls.empty());
}

TEST_F(ChmHelperTest, ShutdownClosesHelpAndLeavesTheViewerInert) {
  TCHMHelper helper;
  THTMLHelpViewer& viewer = *helper.Viewer();
  htmlHelp.calls.clear();
  viewer.SoftShutdown();
  EXPECT_EQ(viewer.HelpManager(), &HelpManager());
  viewer.Shutdown();
  EXPECT_EQ(viewer.HelpManager(), nullptr);
  ASSERT_EQ(htmlHelp.calls.size(), 2u);
  for (const HtmlHelpCall& call : htmlHelp.calls) {
    EXPECT_EQ(call.command, platform::HH_CLOSE_ALL);
    EXPECT_EQ(call.caller, nullptr);
    EXPECT_FALSE(call.file.has_value());
    EXPECT_EQ(call.data, 0u);
  }
  // Without a manager there is no window or file to show: nothing is asked of HTML Help.
  htmlHelp.calls.clear();
  EXPECT_FALSE(viewer.HasContents());
  viewer.ShowContents();
  viewer.ShowTopic("x.htm");
  viewer.ShowKeyword("x");
  viewer.ShowContext(1, "a.chm");
  EXPECT_TRUE(htmlHelp.calls.empty());
  HelpManager().Release(viewer.ViewerId());  // the manager still knew it; this test shut it down
}

// ---- the real help call, with the viewers a machine may or may not have -------------------------

namespace {

// The real stand-in with PATH limited to a folder of the test's own, holding the help file
// and, when a test puts one there, a stand-in "xchm" that writes its arguments and its pid.
class ChmHelperOnThisMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    savedFile_ = ApplicationHelp().HelpFile();
    savedPath_ = qgetenv("PATH");
    QDir(dir_.path()).mkdir("bin");
    qputenv("PATH", (dir_.path() + "/bin").toLocal8Bit());
    helpFile_ = dir_.path() + "/Horaplex.chm";
    WriteText(helpFile_, "ITSF", false);
    ApplicationHelp().SetHelpFile(helpFile_);
  }
  void TearDown() override {
    platform::HtmlHelpApi::Real().HtmlHelpA(nullptr, nullptr, platform::HH_CLOSE_ALL, 0);
    qputenv("PATH", savedPath_);
    ApplicationHelp().OnHelp = nullptr;
    ApplicationHelp().SetHelpFile(savedFile_);
  }

  static void WriteText(const QString& path, const QByteArray& text, bool program) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    if (program) file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  void InstallXchm() {
    WriteText(dir_.path() + "/bin/xchm",
              // The arguments are whole before the pid is written, which the test waits for.
              "#!/bin/sh\nPATH=/usr/bin:/bin\ncd '" + dir_.path().toLocal8Bit() +
                  "'\nprintf '%s\\n' \"$@\" > args.part\nmv args.part args\n"
                  "echo $$ > pid.part\nmv pid.part pid\nexec sleep 600\n",
              true);
  }

  // What the started viewer wrote; empty when nothing came within the deadline, which only
  // bounds a broken run.
  QByteArray WaitForText(const QString& name) {
    QFile file(dir_.path() + "/" + name);
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
      if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        file.close();
        if (text.endsWith('\n')) return text;
      }
      QThread::msleep(5);
    }
    return {};
  }

  static bool Runs(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0; }

  QTemporaryDir dir_;
  QString helpFile_;
  testing_support::FakeDialogs dialogs_;

 private:
  QString savedFile_;
  QByteArray savedPath_;
};

}  // namespace

TEST_F(ChmHelperOnThisMachine, ContentsWithNoViewerInstalledSaysWhatToInstall) {
  TCHMHelper helper;
  ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0);
  ASSERT_EQ(dialogs_.errors.size(), 1);
  EXPECT_TRUE(dialogs_.errors[0].contains("kchmviewer")) << dialogs_.errors[0].toStdString();
  EXPECT_TRUE(dialogs_.errors[0].contains(helpFile_));
}

TEST_F(ChmHelperOnThisMachine, ContentsStartsXchmWithTheHelpFileAndQuitClosesIt) {
  InstallXchm();
  auto helper = std::make_unique<TCHMHelper>();
  ApplicationHelp().HelpCommand(framework::HELP_CONTENTS, 0);
  EXPECT_EQ(WaitForText("args"), QFile::encodeName(helpFile_) + "\n");
  const qint64 pid = WaitForText("pid").trimmed().toLongLong();
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(Runs(pid));
  EXPECT_TRUE(dialogs_.errors.isEmpty()) << dialogs_.errors.join("|").toStdString();

  ApplicationHelp().HelpCommand(framework::HELP_QUIT, 0);
  // It ends, and is reaped at the next call.
  QDeadlineTimer deadline(20000);
  while (Runs(pid) && !deadline.hasExpired()) {
    QThread::msleep(5);
    ApplicationHelp().HelpCommand(framework::HELP_QUIT, 0);
  }
  EXPECT_FALSE(Runs(pid));

  // Opened again, and closed with the component.
  QFile::remove(dir_.path() + "/pid");
  QFile::remove(dir_.path() + "/args");
  ApplicationHelp().HelpCommand(framework::HELP_CONTEXT, 5);
  const qint64 again = WaitForText("pid").trimmed().toLongLong();
  ASSERT_GT(again, 0);
  EXPECT_NE(again, pid);
  EXPECT_EQ(WaitForText("args"), "-c\n5\n" + QFile::encodeName(helpFile_) + "\n");
  helper.reset();
  deadline.setRemainingTime(20000);
  while (Runs(again) && !deadline.hasExpired()) {
    QThread::msleep(5);
    platform::HtmlHelpApi::Real().HtmlHelpA(nullptr, nullptr, 0x1C, 0);
  }
  EXPECT_FALSE(Runs(again));
}
