#include "platform/posix/TimesyncdConfig.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using platform::timesyncd::ConfigurationFiles;
using platform::timesyncd::LastAssignment;
using platform::timesyncd::ParseTimeSpanSeconds;
using platform::timesyncd::PollIntervalMinSeconds;
using platform::timesyncd::WithAssignment;

TEST(TimeSpan, PlainNumbersAreSeconds) {
  EXPECT_EQ(ParseTimeSpanSeconds("2048"), 2048u);
  EXPECT_EQ(ParseTimeSpanSeconds(" 0 "), 0u);
  EXPECT_EQ(ParseTimeSpanSeconds("4294967295"), 4294967295u);
}

TEST(TimeSpan, UnitsAndSumsAsTheServiceReadsThem) {
  EXPECT_EQ(ParseTimeSpanSeconds("34min"), 2040u);
  EXPECT_EQ(ParseTimeSpanSeconds("1h 30min"), 5400u);
  EXPECT_EQ(ParseTimeSpanSeconds("1d2h"), 93600u);
  EXPECT_EQ(ParseTimeSpanSeconds("1w"), 604800u);
  EXPECT_EQ(ParseTimeSpanSeconds("1.5h"), 5400u);
  EXPECT_EQ(ParseTimeSpanSeconds("2500ms"), 2u);  // whole seconds, cut toward zero
}

TEST(TimeSpan, TextsThatAreNoTimeSpanGiveNothing) {
  EXPECT_FALSE(ParseTimeSpanSeconds(""));
  EXPECT_FALSE(ParseTimeSpanSeconds("soon"));
  EXPECT_FALSE(ParseTimeSpanSeconds("5 fortnights"));
  EXPECT_FALSE(ParseTimeSpanSeconds("1.2.3"));
  EXPECT_FALSE(ParseTimeSpanSeconds("-5"));
  EXPECT_FALSE(ParseTimeSpanSeconds("infinity"));
}

TEST(Assignments, OnlyTheTimeSectionCountsAndTheLastAssignmentWins) {
  const std::string text =
      "[Other]\nPollIntervalMaxSec=1\n[Time]\n#PollIntervalMaxSec=2\n"
      "PollIntervalMaxSec=64\n; comment\n PollIntervalMaxSec = 128 \n";
  EXPECT_EQ(LastAssignment(text, "PollIntervalMaxSec"), "128");
  EXPECT_FALSE(LastAssignment("[Time]\n#PollIntervalMaxSec=2048\n", "PollIntervalMaxSec"));
  // Key names are case-sensitive for the service.
  EXPECT_FALSE(LastAssignment("[Time]\npollintervalmaxsec=5\n", "PollIntervalMaxSec"));
}

TEST(Assignments, WritingReplacesEveryAssignmentByOneAndKeepsTheRest) {
  EXPECT_EQ(WithAssignment("", "PollIntervalMaxSec", "900"), "[Time]\nPollIntervalMaxSec=900\n");
  EXPECT_EQ(WithAssignment("# note\n[Time]\nNTP=a\nPollIntervalMaxSec=1\nPollIntervalMaxSec=2\n",
                           "PollIntervalMaxSec", "900"),
            "# note\n[Time]\nNTP=a\nPollIntervalMaxSec=900\n");
  EXPECT_EQ(WithAssignment("[Time]\nNTP=a\n[Extra]\nX=1\n", "PollIntervalMaxSec", "900"),
            "[Time]\nNTP=a\nPollIntervalMaxSec=900\n[Extra]\nX=1\n");
  EXPECT_EQ(WithAssignment("[Extra]\nX=1\n", "PollIntervalMaxSec", "900"),
            "[Extra]\nX=1\n[Time]\nPollIntervalMaxSec=900\n");
}

TEST(ConfigurationOrder, MainFileFirstThenDropInsByNameWithEtcHidingTheSameName) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  auto make = [&](const QString& path) {
    QDir().mkpath(QFileInfo(root.path() + path).path());
    QFile f(root.path() + path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  };
  make("/etc/systemd/timesyncd.conf");
  make("/usr/lib/systemd/timesyncd.conf.d/10-vendor.conf");
  make("/usr/lib/systemd/timesyncd.conf.d/50-same.conf");
  make("/etc/systemd/timesyncd.conf.d/50-same.conf");
  make("/run/systemd/timesyncd.conf.d/20-runtime.conf");
  make("/etc/systemd/timesyncd.conf.d/ignored.txt");
  const std::string r = root.path().toStdString();
  EXPECT_EQ(ConfigurationFiles(r),
            (std::vector<std::string>{r + "/etc/systemd/timesyncd.conf",
                                      r + "/usr/lib/systemd/timesyncd.conf.d/10-vendor.conf",
                                      r + "/run/systemd/timesyncd.conf.d/20-runtime.conf",
                                      r + "/etc/systemd/timesyncd.conf.d/50-same.conf"}));
}

// The service's smallest poll interval, from its main file and a drop-in read after it.
struct MinimumRow {
  const char* name;
  const char* mainFile;  // nullptr: none
  const char* dropIn;    // nullptr: none
  uint64_t seconds;
};

class PollIntervalMinimum : public ::testing::TestWithParam<MinimumRow> {};

TEST_P(PollIntervalMinimum, IsWhatTheServiceTakesFromItsFiles) {
  const MinimumRow& row = GetParam();
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  auto write = [&](const QString& path, const char* text) {
    if (!text) return;
    QDir().mkpath(QFileInfo(root.path() + path).path());
    QFile f(root.path() + path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  };
  write("/etc/systemd/timesyncd.conf", row.mainFile);
  write("/usr/lib/systemd/timesyncd.conf.d/50-vendor.conf", row.dropIn);
  EXPECT_EQ(PollIntervalMinSeconds(root.path().toStdString()), row.seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PollIntervalMinimum,
    ::testing::Values(MinimumRow{"ADropInOverridesTheMainFile", "[Time]\nPollIntervalMinSec=64\n",
                                 "[Time]\nPollIntervalMinSec=2min\n", 120},
                      MinimumRow{"AnUnreadableValueKeepsTheOneBefore",
                                 "[Time]\nPollIntervalMinSec=64\n",
                                 "[Time]\nPollIntervalMinSec=soon\n", 64},
                      MinimumRow{"BelowSixteenSecondsIsTheDefault",
                                 "[Time]\nPollIntervalMinSec=10\n", nullptr, 32}),
    [](const ::testing::TestParamInfo<MinimumRow>& info) { return info.param.name; });
