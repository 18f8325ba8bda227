#include "components/RunJournal.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace components;

namespace {

TJournalSample SampleNumber(int i) {
  TJournalSample sample;
  sample.UtcMilliseconds = 1780000000000 + i * 1000;
  sample.Host = i % 2 ? "pool.ntp.org" : "time,\"odd\" host";
  sample.Error = 0.25 + i * 1e-4;
  sample.RoundTripDelay = 0.012;
  sample.PreciseError = 0.2503141 + i * 1e-4;
  sample.PreciseRoundTripDelay = 0.011873;
  sample.FitTime = 1780000000.5 + i;
  sample.LocalTime = 46000.25 + i / 86400.0;
  return sample;
}

struct Journal : ::testing::Test {
  QTemporaryDir dir;
  std::string Path() const { return dir.path().toStdString() + "/state/tempomere/journal.sqlite"; }
  std::vector<std::string> messages;
  void Listen(TRunJournal& journal) {
    journal.OnMessage = [this](const std::string& message) { messages.push_back(message); };
  }
};

TEST_F(Journal, KeepsEverySampleOfARunAndResumesTheLastOne) {
  {
    TRunJournal journal(Path());
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(journal.Append(SampleNumber(i)));
    journal.NewRun();  // "Clear": what was kept stays
    for (int i = 4; i < 6; ++i) ASSERT_TRUE(journal.Append(SampleNumber(i)));
  }
  // A new window: its last run is the second one, every field as it was kept.
  TRunJournal reopened(Path());
  const std::optional<TJournalRun> run = reopened.LastRun();
  ASSERT_TRUE(run);
  ASSERT_EQ(run->Samples.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const TJournalSample expected = SampleNumber(4 + i);
    const TJournalSample& got = run->Samples[std::size_t(i)];
    EXPECT_EQ(got.UtcMilliseconds, expected.UtcMilliseconds);
    EXPECT_EQ(got.Host, expected.Host);
    EXPECT_EQ(got.Error, expected.Error);
    EXPECT_EQ(got.RoundTripDelay, expected.RoundTripDelay);
    EXPECT_EQ(got.PreciseError, expected.PreciseError);
    EXPECT_EQ(got.PreciseRoundTripDelay, expected.PreciseRoundTripDelay);
    EXPECT_EQ(got.FitTime, expected.FitTime);
    EXPECT_EQ(got.LocalTime, expected.LocalTime);
  }
  // Resumed, the run goes on: a later sample joins it, and it is no longer "another" run.
  reopened.ContinueRun(run->Id);
  ASSERT_TRUE(reopened.Append(SampleNumber(6)));
  const std::optional<TJournalRun> before = reopened.LastRun();
  ASSERT_TRUE(before);
  EXPECT_EQ(before->Samples.size(), 4u);  // the first run, not the current one
  TRunJournal third(Path());
  EXPECT_EQ(third.LastRun()->Samples.size(), 3u);  // the resumed run, grown by one
  EXPECT_TRUE(messages.empty());
}

TEST_F(Journal, TwoWritersAtOnceKeepBothRunsWhole) {
  constexpr int kEach = 150;
  std::vector<int> kept(2, 0);
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w)
    writers.emplace_back([&, w] {
      TRunJournal journal(Path());
      for (int i = 0; i < kEach; ++i) kept[std::size_t(w)] += journal.Append(SampleNumber(i));
    });
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(kept[0], kEach);
  EXPECT_EQ(kept[1], kEach);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Path().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  sqlite3_prepare_v2(db, "SELECT (SELECT count(*) FROM samples), (SELECT count(*) FROM runs)", -1,
                     &check, nullptr);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(check, 0), 2 * kEach);
  EXPECT_EQ(sqlite3_column_int(check, 1), 2);
  sqlite3_finalize(check);
  sqlite3_close(db);
}

// ---- faults: the journal gives up the sample, says so once, and never throws --------------

struct FaultRow {
  const char* name;
  // Makes the fault at the journal's path; false skips the row (with the reason in `skip`).
  std::function<bool(const std::string& path, TRunJournal& journal, std::string& skip)> make;
  const char* message;  // what the one message says
  bool keepsSamples;    // whether samples are kept after all (a damaged file set aside)
  int appends;          // samples offered: enough to meet the fault
};

// The folder a row mounted, unmounted when the row ends.
std::optional<std::string> mounted;

class JournalFault : public Journal, public ::testing::WithParamInterface<FaultRow> {
 protected:
  void TearDown() override {
    if (mounted) umount2(mounted->c_str(), MNT_DETACH);
    mounted.reset();
  }
};

// A tmpfs of `size` at the journal's folder; root only.
bool MountSmall(const std::string& path, const char* options, std::string& skip) {
  if (geteuid() != 0) {
    skip = "mounting a small file system needs root";
    return false;
  }
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::filesystem::create_directories(folder);
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options) != 0) {
    skip = "this machine refuses to mount a tmpfs";
    return false;
  }
  mounted = folder.string();
  return true;
}

TEST_P(JournalFault, SaysWhatHappenedOnceAndGoesOn) {
  const FaultRow& row = GetParam();
  TRunJournal journal(Path());
  Listen(journal);
  std::string skip;
  if (!row.make(Path(), journal, skip)) GTEST_SKIP() << skip;
  int kept = 0;
  for (int i = 0; i < row.appends; ++i) kept += journal.Append(SampleNumber(i));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.size(), 1u) << messages[1];
  EXPECT_NE(messages[0].find(row.message), std::string::npos) << messages[0];
  if (row.keepsSamples)
    EXPECT_EQ(kept, row.appends);
  else
    EXPECT_LT(kept, row.appends);
}

// Holds a write lock on the journal until the test ends.
struct TLockHolder {
  sqlite3* db = nullptr;
  ~TLockHolder() {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
};
TLockHolder lock_holder;

INSTANTIATE_TEST_SUITE_P(
    Rows, JournalFault,
    testing::Values(
        FaultRow{"DamagedFile",
                 [](const std::string& path, TRunJournal&, std::string&) {
                   std::filesystem::create_directories(std::filesystem::path(path).parent_path());
                   std::ofstream(path) << std::string(8192, 'x');
                   return true;
                 },
                 "was damaged; it was set aside as", true, 5},
        FaultRow{"DatabaseCapped",
                 [](const std::string&, TRunJournal& journal, std::string&) {
                   journal.SetMaxPageCount(12);  // pages of 4 KiB: a few hundred samples
                   return true;
                 },
                 "database or disk is full", false, 400},
        FaultRow{"FullFileSystem",
                 [](const std::string& path, TRunJournal&, std::string& skip) {
                   return MountSmall(path, "size=256k", skip);
                 },
                 "database or disk is full", false, 4000},
        FaultRow{"ReadOnlyFileSystem",
                 [](const std::string& path, TRunJournal&, std::string& skip) {
                   if (!MountSmall(path, "size=1m", skip)) return false;
                   const std::string folder = std::filesystem::path(path).parent_path().string();
                   return mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                                "size=1m") == 0;
                 },
                 "cannot be opened", false, 5},
        FaultRow{"LockedByAnother",
                 [](const std::string& path, TRunJournal& journal, std::string&) {
                   // Another program holds the write lock for the whole test.
                   if (!journal.Append(SampleNumber(0))) return false;
                   sqlite3_close(lock_holder.db);
                   sqlite3_open(path.c_str(), &lock_holder.db);
                   return sqlite3_exec(lock_holder.db, "BEGIN EXCLUSIVE", nullptr, nullptr,
                                       nullptr) == SQLITE_OK;
                 },
                 "database is locked", false, 3}),
    [](const testing::TestParamInfo<FaultRow>& info) { return info.param.name; });

// A run whose first write was refused is begun again by the next write, not left named by
// samples without a run.
TEST_F(Journal, ARunBegunInARefusedWriteIsBegunAgain) {
  TRunJournal journal(Path());
  journal.SetMaxPageCount(12);
  // Each sample begins a run, until the capped file refuses one: its run is rolled back too.
  int refused = -1;
  for (int i = 0; i < 2000 && refused < 0; ++i) {
    journal.NewRun();
    if (!journal.Append(SampleNumber(i))) refused = i;
  }
  ASSERT_GE(refused, 1);
  journal.SetMaxPageCount(0);  // room again
  ASSERT_TRUE(journal.Append(SampleNumber(refused)));
  const std::optional<TJournalRun> run = TRunJournal(Path()).LastRun();
  ASSERT_TRUE(run);
  ASSERT_EQ(run->Samples.size(), 1u);
  EXPECT_EQ(run->Samples[0].UtcMilliseconds, SampleNumber(refused).UtcMilliseconds);
}

TEST_F(Journal, DamagedFileIsKeptAsideWithItsContent) {
  std::filesystem::create_directories(std::filesystem::path(Path()).parent_path());
  std::ofstream(Path()) << std::string(8192, 'x');
  TRunJournal journal(Path());
  Listen(journal);
  ASSERT_TRUE(journal.Append(SampleNumber(0)));
  int aside = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(Path()).parent_path()))
    if (entry.path().filename().string().starts_with("journal.sqlite.damaged-") &&
        !entry.path().string().ends_with("-wal")) {
      ++aside;
      EXPECT_EQ(std::filesystem::file_size(entry.path()), 8192u);
    }
  EXPECT_EQ(aside, 1);
  ASSERT_EQ(messages.size(), 1u);
}

}  // namespace
