// "File > Save Samples As...": the window's accepted samples written as CSV.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <deque>
#include <memory>
#include <optional>

#include "app/TimeMain.h"
#include "framework/ApplicationHelp.h"
#include "framework/Forms.h"
#include "framework/Timers.h"
#include "support/FakeSntpServer.h"
#include "support/MainWindowFixture.h"

using testing_support::FakeSntpServer;
using testing_support::ReplySpec;

namespace {

// Save dialogs answered from a list: a path confirms, nothing cancels.
class FakeFileDialogs : public framework::FileDialogsApi {
 public:
  std::deque<std::optional<QString>> answers;
  int asked = 0;
  std::optional<QString> SaveFileName(const QString&, const QString& filter,
                                      const QString&) override {
    ++asked;
    EXPECT_TRUE(filter.contains("*.csv"));
    if (answers.empty()) return std::nullopt;
    const std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
  }

 private:
  platform::ScopedOverride<framework::FileDialogsApi> installed_{*this};
};

struct SaveSamples : testing_support::MainWindowTest {
  QTemporaryDir out;
  FakeFileDialogs files;
  FakeSntpServer server;

  void SetUp() override {
    MainWindowTest::SetUp();
    PointAt(server);
  }
  // The menu item as the user reaches it: File, then its caption.
  void ChooseSaveSamples() {
    for (QAction* top : form->menuBar()->actions()) {
      if (top->text() != "&File" || !top->menu()) continue;
      for (QAction* item : top->menu()->actions())
        if (item->text() == "Save &Samples As...") return item->trigger();
    }
    ADD_FAILURE() << "no File > Save Samples As...";
  }
  QString Path(const char* name) const { return out.path() + "/" + name; }
  static QByteArray Read(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
  }
};

}  // namespace

TEST_F(SaveSamples, TheAcceptedSamplesAreWrittenAsCsvThroughTheMenu) {
  ReplySpec ahead, unsynchronised;
  ahead.offset_seconds = 2;
  unsynchronised.stratum = 16;
  server.ThenReply(ahead);
  server.ThenReply(unsynchronised);  // shown but not accepted
  server.ThenReply(ahead);
  const qint64 before = QDateTime::currentMSecsSinceEpoch();
  for (int i = 0; i < 3; ++i) GetTime();
  const qint64 after = QDateTime::currentMSecsSinceEpoch();
  ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();

  files.answers.push_back(Path("run.csv"));
  ChooseSaveSamples();
  EXPECT_EQ(files.asked, 1);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  const QList<QByteArray> lines = Read(Path("run.csv")).split('\n');
  ASSERT_EQ(lines.size(), 4);  // header, two samples, and nothing after the last CRLF
  EXPECT_EQ(lines[0], "utc_time,host,computer_error,round_trip_delay\r");
  EXPECT_EQ(lines[3], "");
  for (int i = 1; i <= 2; ++i) {
    const QList<QByteArray> fields = lines[i].chopped(1).split(',');
    ASSERT_EQ(fields.size(), 4);
    const QDateTime when = QDateTime::fromString(QString(fields[0]), Qt::ISODateWithMs);
    EXPECT_TRUE(fields[0].endsWith('Z'));
    EXPECT_GE(when.toMSecsSinceEpoch(), before);
    EXPECT_LE(when.toMSecsSinceEpoch(), after);
    EXPECT_EQ(fields[1], "127.0.0.1");
    // Seconds to the half millisecond the readings stand for: no noise digits of the date-time
    // arithmetic, no exponent.
    const QRegularExpression halfMilliseconds("^-?\\d+(\\.\\d{1,3}(0|5)?)?$");
    EXPECT_TRUE(halfMilliseconds.match(fields[2]).hasMatch()) << fields[2].toStdString();
    EXPECT_TRUE(halfMilliseconds.match(fields[3]).hasMatch()) << fields[3].toStdString();
    EXPECT_NEAR(fields[2].toDouble(), -2, 0.01);
    EXPECT_GE(fields[3].toDouble(), -0.002);
    EXPECT_LT(fields[3].toDouble(), 0.5);
  }

  // Cleared with the statistics.
  QTest::mouseClick(form->Controls().ClearStatsBtn, Qt::LeftButton);
  files.answers.push_back(Path("cleared.csv"));
  ChooseSaveSamples();
  EXPECT_EQ(Read(Path("cleared.csv")), "utc_time,host,computer_error,round_trip_delay\r\n");
  // A cancelled dialog writes nothing and says nothing.
  files.answers.push_back(std::nullopt);
  ChooseSaveSamples();
  EXPECT_EQ(files.asked, 3);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

// The new contents cannot be written (here: past a file size limit, which holds for root too):
// the error box says so and the old file is as it was, with nothing left beside it.
TEST_F(SaveSamples, AWriteThatFailsLeavesTheOldFileAndSaysWhy) {
  ReplySpec ahead;
  ahead.offset_seconds = 2;
  server.Always([=](const QByteArray& request) {
    return std::optional<QByteArray>(testing_support::MakeReply(request, ahead));
  });
  for (int i = 0; i < 3; ++i) GetTime();
  const QString path = Path("kept.csv");
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old,file\r\n");
  }
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit tiny = saved;
  tiny.rlim_cur = 32;  // bytes: less than the header
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  files.answers.push_back(path);
  ChooseSaveSamples();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_EQ(form->State().SampleLog.Count(), 3);
  ASSERT_EQ(dialogs.errors.size(), 1)
      << Read(path).toStdString()
      << QDir(out.path()).entryList(QDir::Files).join("|").toStdString();
  EXPECT_TRUE(dialogs.errors[0].startsWith("The samples could not be saved to \"" + path + "\": "))
      << dialogs.errors[0].toStdString();
  EXPECT_EQ(Read(path), "old,file\r\n");
  EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"kept.csv"});

  // A folder that is not there.
  files.answers.push_back(Path("no/such/folder/x.csv"));
  ChooseSaveSamples();
  EXPECT_EQ(dialogs.errors.size(), 2);
}
