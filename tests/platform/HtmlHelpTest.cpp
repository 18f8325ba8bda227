#include "platform/HtmlHelp.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace platform;

namespace {

class RecordingHtmlHelp : public HtmlHelpApi {
 public:
  int calls = 0;
  unsigned lastCommand = 99;
  HWND HtmlHelpA(HWND, const char*, unsigned command, DWORD_PTR) override {
    ++calls;
    lastCommand = command;
    return reinterpret_cast<HWND>(0x1234);
  }
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits for a file the started viewer writes; the deadline only bounds a broken run.
bool WaitForFile(const fs::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (fs::exists(path) && fs::file_size(path) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

bool ProcessExists(pid_t pid) {
  return kill(pid, 0) == 0 || errno == EPERM;
}

// A stand-in viewer: writes its arguments (one a line) and its pid, then waits to be closed.
class DesktopHtmlHelpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/htmlhelp-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    viewer = dir / "viewer.sh";
    std::ofstream(viewer) << "#!/bin/sh\nPATH=/usr/bin:/bin\n"
                             "n=$(ls \""
                          << dir.string()
                          << "\" | grep -c '^started')\n"
                             "echo $$ > \""
                          << dir.string()
                          << "/pid$n\"\n"
                             "printf '%s\\n' \"$@\" > \""
                          << dir.string()
                          << "/started$n\"\n"
                             "exec sleep 600\n";
    fs::permissions(viewer, fs::perms::owner_all);
    help = dir / "Horaplex.chm";
    std::ofstream(help) << "ITSF";
    desktop = NewDesktopHtmlHelp(viewer.string());
    previousSink =
        SetHtmlHelpMessageSink([this](const std::string& text) { messages.push_back(text); });
  }
  void TearDown() override {
    desktop.reset();  // closes what is still open
    SetHtmlHelpMessageSink(std::move(previousSink));
    fs::remove_all(dir);
  }

  // Asks again until nothing of the started viewer is left, reaped included; the deadline
  // only bounds a broken run.
  static bool Ends(HtmlHelpApi& help, pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ProcessExists(pid) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      help.HtmlHelpA(nullptr, nullptr, 0x1C, 0);  // a command that shows nothing
    }
    return !ProcessExists(pid);
  }

  // Writes an executable script at `path`.
  static void WriteScript(const fs::path& path, const std::string& text) {
    std::ofstream(path) << "#!/bin/sh\n" << text;
    fs::permissions(path, fs::perms::owner_all);
  }

  pid_t StartedPid(int n) { return std::stoi(ReadFile(dir / ("pid" + std::to_string(n)))); }

  fs::path dir, viewer, help;
  std::unique_ptr<HtmlHelpApi> desktop;
  std::vector<std::string> messages;
  HtmlHelpMessageSink previousSink;
};

}  // namespace

TEST(HtmlHelpSeam, CallsReachTheInstalledFakeAndReturnToTheRealOneAfter) {
  RecordingHtmlHelp fake;
  {
    ScopedOverride<HtmlHelpApi> installed(fake);
    EXPECT_EQ(HtmlHelpA(nullptr, "a.chm", HH_DISPLAY_TOC, 0), reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(fake.calls, 1);
    EXPECT_EQ(fake.lastCommand, HH_DISPLAY_TOC);
  }
  EXPECT_EQ(&Current<HtmlHelpApi>(), &HtmlHelpApi::Real());
}

TEST(HtmlHelpSeam, PublishedCommandValues) {
  EXPECT_EQ(HH_DISPLAY_TOPIC, 0u);
  EXPECT_EQ(HH_DISPLAY_TOC, 1u);
  EXPECT_EQ(HH_DISPLAY_INDEX, 2u);
  EXPECT_EQ(HH_KEYWORD_LOOKUP, 13u);
  EXPECT_EQ(HH_HELP_CONTEXT, 15u);
  EXPECT_EQ(HH_CLOSE_ALL, 18u);
  HH_AKLINK link;
  EXPECT_EQ(link.cbStruct, static_cast<int>(sizeof(HH_AKLINK)));
}

TEST(HtmlHelpReal, MissingFileOpensNothing) {
  EXPECT_EQ(
      HtmlHelpApi::Real().HtmlHelpA(nullptr, "/nonexistent/dir/Horaplex.chm", HH_DISPLAY_TOC, 0),
      nullptr);
  EXPECT_EQ(HtmlHelpApi::Real().HtmlHelpA(nullptr, nullptr, HH_DISPLAY_TOC, 0), nullptr);
  EXPECT_EQ(HtmlHelpApi::Real().HtmlHelpA(nullptr, "", HH_DISPLAY_TOPIC, 0), nullptr);
  EXPECT_EQ(HtmlHelpApi::Real().HtmlHelpA(nullptr, "/tmp", HH_DISPLAY_TOC, 0), nullptr)
      << "a folder is no help file";
}

TEST_F(DesktopHtmlHelpTest, OpensTheFileWithoutItsTopicAndClosesIt) {
  const std::string name = help.string() + "::/page.htm";
  HWND window = desktop->HtmlHelpA(nullptr, name.c_str(), HH_DISPLAY_TOPIC, 0);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started0"));
  EXPECT_EQ(ReadFile(dir / "started0"), help.string() + "\n");
  const pid_t pid = StartedPid(0);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(window), static_cast<std::uintptr_t>(pid));
  EXPECT_TRUE(ProcessExists(pid));

  EXPECT_EQ(desktop->HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0), nullptr);
  EXPECT_TRUE(Ends(*desktop, pid)) << "the viewer was not closed, or left a zombie";
  EXPECT_TRUE(messages.empty());
}

TEST_F(DesktopHtmlHelpTest, AnOpenHelpWindowIsReusedForTheSameFile) {
  HWND first = desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started0"));
  const std::string topic = help.string() + "::/other.htm";
  EXPECT_EQ(desktop->HtmlHelpA(nullptr, topic.c_str(), HH_DISPLAY_TOPIC, 0), first);
  EXPECT_EQ(desktop->HtmlHelpA(nullptr, help.c_str(), HH_HELP_CONTEXT, 12), first);

  desktop->HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
  HWND again = desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_INDEX, 0);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, first) << "a closed window is opened anew";
  ASSERT_TRUE(WaitForFile(dir / "started1"));
}

TEST_F(DesktopHtmlHelpTest, RelativeNamesAndLeadingDashesBecomeAbsolutePaths) {
  const fs::path dashed = dir / "-x.chm";
  std::ofstream(dashed) << "ITSF";
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  HWND window = desktop->HtmlHelpA(nullptr, "-x.chm", HH_DISPLAY_TOC, 0);
  fs::current_path(previous);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started0"));
  EXPECT_EQ(ReadFile(dir / "started0"), dashed.string() + "\n");
}

TEST_F(DesktopHtmlHelpTest, ViewerThatEndsByItselfIsForgotten) {
  std::ofstream(viewer) << "#!/bin/sh\nexit 0\n";
  HWND first = desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0);
  ASSERT_NE(first, nullptr);
  const pid_t pid = static_cast<pid_t>(reinterpret_cast<std::uintptr_t>(first));
  // The next call reaps it; until the exit is seen it may still be reused.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  HWND next = first;
  while (next == first && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    next = desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0);
  }
  EXPECT_NE(next, first);
  EXPECT_FALSE(ProcessExists(pid)) << "an ended viewer was left a zombie";
}

TEST_F(DesktopHtmlHelpTest, AViewerClosedByItsUserIsReapedWithoutAnotherCall) {
  ASSERT_NE(desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0), nullptr);
  ASSERT_TRUE(WaitForFile(dir / "pid0"));
  const pid_t pid = StartedPid(0);
  kill(pid, SIGTERM);  // its window closed
  // No help call follows; the deadline only bounds a broken run.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ProcessExists(pid) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(ProcessExists(pid)) << "the ended viewer stays a zombie until the next call";
}

TEST_F(DesktopHtmlHelpTest, OtherCommandsAndMissingProgramsOpenNothing) {
  EXPECT_EQ(desktop->HtmlHelpA(nullptr, help.c_str(), 0x1C, 0), nullptr);
  EXPECT_EQ(desktop->HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0), nullptr);  // nothing open
  EXPECT_TRUE(messages.empty());
}

// --- Closing without waiting --------------------------------------------------------------------

TEST_F(DesktopHtmlHelpTest, ClosingDoesNotWaitForAViewerThatIgnoresItAndKillsItLater) {
  WriteScript(viewer, "trap '' TERM\necho $$ > \"" + (dir / "pid0").string() +
                          "\"\nwhile :; do sleep 1; done\n");
  desktop = NewDesktopHtmlHelp({{viewer.string(), false}}, std::chrono::milliseconds(100));
  ASSERT_NE(desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0), nullptr);
  ASSERT_TRUE(WaitForFile(dir / "pid0"));
  const pid_t pid = StartedPid(0);
  desktop->HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
  // Had the call waited out the grace, the viewer would be gone by now.
  EXPECT_TRUE(ProcessExists(pid)) << "closing waited for the viewer";
  // A later call, after the grace, kills it.
  EXPECT_TRUE(Ends(*desktop, pid));
}

TEST_F(DesktopHtmlHelpTest, EndingTheStandInClosesItsViewers) {
  ASSERT_NE(desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0), nullptr);
  ASSERT_TRUE(WaitForFile(dir / "pid0"));
  const pid_t pid = StartedPid(0);
  desktop.reset();
  EXPECT_FALSE(ProcessExists(pid));
}

// --- Which viewer, and when there is none -------------------------------------------------------

TEST_F(DesktopHtmlHelpTest, AViewerThatKnowsContextsIsGivenTheNumber) {
  desktop = NewDesktopHtmlHelp({{viewer.string(), true}});
  ASSERT_NE(desktop->HtmlHelpA(nullptr, help.c_str(), HH_HELP_CONTEXT, 42), nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started0"));
  EXPECT_EQ(ReadFile(dir / "started0"), "-c\n42\n" + help.string() + "\n");
  desktop->HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
  ASSERT_NE(desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0), nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started1"));
  EXPECT_EQ(ReadFile(dir / "started1"), help.string() + "\n");
}

TEST_F(DesktopHtmlHelpTest, TheFirstViewerThatStartsIsUsed) {
  fs::path plain = dir / "plain-file";
  std::ofstream(plain) << "not a program";
  desktop = NewDesktopHtmlHelp({{(dir / "no-such-viewer").string(), true},
                                {plain.string(), true},
                                {viewer.string(), false}});
  ASSERT_NE(desktop->HtmlHelpA(nullptr, help.c_str(), HH_HELP_CONTEXT, 7), nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started0"));
  EXPECT_EQ(ReadFile(dir / "started0"), help.string() + "\n");
  EXPECT_TRUE(messages.empty());
}

TEST_F(DesktopHtmlHelpTest, NoViewerToStartSaysWhatToInstall) {
  desktop = NewDesktopHtmlHelp({{(dir / "no-such-viewer").string(), false}});
  EXPECT_EQ(desktop->HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0), nullptr);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], NoHelpViewerMessage(help.string()));
  EXPECT_NE(messages[0].find("sudo apt install kchmviewer"), std::string::npos);
  EXPECT_NE(messages[0].find(help.string()), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "started0"));
}

TEST_F(DesktopHtmlHelpTest, AMissingHelpFileIsSaid) {
  const std::string missing = (dir / "Missing.chm").string();
  EXPECT_EQ(desktop->HtmlHelpA(nullptr, missing.c_str(), HH_DISPLAY_TOC, 0), nullptr);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(missing), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "started0"));
}

// The real stand-in finds its viewers through PATH.
class RealHtmlHelpOnPath : public DesktopHtmlHelpTest {
 protected:
  void SetUp() override {
    DesktopHtmlHelpTest::SetUp();
    savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    fs::create_directory(dir / "bin");
    setenv("PATH", (dir / "bin").c_str(), 1);
  }
  void TearDown() override {
    HtmlHelpApi::Real().HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
    setenv("PATH", savedPath.c_str(), 1);
    DesktopHtmlHelpTest::TearDown();
  }
  std::string savedPath;
};

TEST_F(RealHtmlHelpOnPath, WithNoViewerInstalledSaysWhatToInstall) {
  EXPECT_EQ(HtmlHelpApi::Real().HtmlHelpA(nullptr, help.c_str(), HH_DISPLAY_TOC, 0), nullptr);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("sudo apt install kchmviewer"), std::string::npos);
}

TEST_F(RealHtmlHelpOnPath, PrefersKchmviewerWhichTakesTheFileAlone) {
  fs::copy_file(viewer, dir / "bin" / "xchm");
  fs::copy_file(viewer, dir / "bin" / "kchmviewer");
  ASSERT_NE(HtmlHelpApi::Real().HtmlHelpA(nullptr, help.c_str(), HH_HELP_CONTEXT, 12), nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started0"));
  // One viewer started, with the file and no context option.
  EXPECT_EQ(ReadFile(dir / "started0"), help.string() + "\n");
  EXPECT_FALSE(fs::exists(dir / "started1"));
}

TEST_F(RealHtmlHelpOnPath, StartsXchmWithTheContextNumberAndTheFile) {
  fs::copy_file(viewer, dir / "bin" / "xchm");
  const std::string topic = help.string() + "::/page.htm";
  HWND window = HtmlHelpApi::Real().HtmlHelpA(nullptr, topic.c_str(), HH_HELP_CONTEXT, 12);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started0"));
  EXPECT_EQ(ReadFile(dir / "started0"), "-c\n12\n" + help.string() + "\n");
  const pid_t pid = StartedPid(0);
  HtmlHelpApi::Real().HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
  EXPECT_TRUE(Ends(HtmlHelpApi::Real(), pid));
  EXPECT_TRUE(messages.empty());
}

TEST_F(RealHtmlHelpOnPath, WithoutXchmHandsTheFileToTheDesktop) {
  fs::copy_file(viewer, dir / "bin" / "xdg-open");
  ASSERT_NE(HtmlHelpApi::Real().HtmlHelpA(nullptr, help.c_str(), HH_HELP_CONTEXT, 12), nullptr);
  ASSERT_TRUE(WaitForFile(dir / "started0"));
  EXPECT_EQ(ReadFile(dir / "started0"), help.string() + "\n");
}
