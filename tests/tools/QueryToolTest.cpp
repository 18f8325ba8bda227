// The query tool run as a program against a time server in this process.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include "support/FakeSntpServer.h"

using testing_support::FakeSntpServer;
using testing_support::ReplySpec;

namespace {

struct ToolRun {
  int exit_code = -1;
  QString out, err;
  qint64 elapsed_ms = 0;
};

ToolRun Query(const QStringList& args) {
  QProcess process;
  QElapsedTimer timer;
  timer.start();
  process.start(QCoreApplication::applicationDirPath() + "/tempomere-query", args);
  process.waitForFinished(20000);
  ToolRun run;
  run.elapsed_ms = timer.elapsed();
  run.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

QStringList Captions(const QString& out) {
  QStringList captions;
  for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
    captions << line.section(": ", 0, 0);
  return captions;
}

QString Field(const QString& out, const QString& caption) {
  for (const QString& line : out.split('\n'))
    if (line.startsWith(caption + ": ")) return line.mid(caption.size() + 2);
  return "<missing>";
}

}  // namespace

TEST(QueryTool, AValidReplyPrintsEveryDisplayInTheWindowsFormats) {
  FakeSntpServer server;
  ReplySpec plan;
  plan.offset_seconds = 2.5;  // the server's clock runs 2.5 s ahead
  server.ThenReply(plan);
  const ToolRun run = Query({"-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(
      Captions(run.out),
      (QStringList{"Date - Local Zone", "Time - Local Zone", "UTC Time", "Computer Error",
                   "Round Trip Delay", "Version", "Leap Indicator", "Stratum", "Mode", "Precision",
                   "Poll Interval", "Root Dispersion", "Root Delay", "Reference ID", "Valid"}));
  const QString error = Field(run.out, "Computer Error");
  EXPECT_TRUE(QRegularExpression("^-2\\.\\d{5}$").match(error).hasMatch()) << error.toStdString();
  EXPECT_NEAR(error.toDouble(), -2.5, 0.005);
  EXPECT_TRUE(
      QRegularExpression("^-?\\d\\.\\d{5}$").match(Field(run.out, "Round Trip Delay")).hasMatch());
  EXPECT_TRUE(QRegularExpression("^\\d{1,2}:\\d\\d:\\d\\d \\d{3}$")
                  .match(Field(run.out, "UTC Time"))
                  .hasMatch());
  EXPECT_EQ(Field(run.out, "Precision"), "9.5367E-7");
  EXPECT_EQ(Field(run.out, "Poll Interval"), "64.00000");
  EXPECT_EQ(Field(run.out, "Root Delay"), "1.50000");
  EXPECT_EQ(Field(run.out, "Root Dispersion"), "0.25000");
  EXPECT_EQ(Field(run.out, "Reference ID"), "10.0.0.1");
  EXPECT_EQ(Field(run.out, "Stratum"), "2");
  EXPECT_EQ(Field(run.out, "Version"), "4");
  EXPECT_EQ(Field(run.out, "Valid"), "Yes");
  EXPECT_TRUE(run.err.isEmpty());
}

TEST(QueryTool, InvalidRepliesAndSilenceExitWithOne) {
  FakeSntpServer server;
  ReplySpec leap3, stratum0, stratum16, zero_transmit;
  leap3.byte0 = 0xDC;
  stratum0.stratum = 0;
  stratum0.reference[0] = 'D';
  stratum0.reference[1] = 'E';
  stratum0.reference[2] = 'N';
  stratum0.reference[3] = 0;
  stratum16.stratum = 16;
  zero_transmit.zero_transmit = true;
  for (const ReplySpec& plan : {leap3, stratum0, stratum16, zero_transmit}) {
    server.ThenReply(plan);
    const ToolRun run = Query({"-p", QString::number(server.Port()), "localhost"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Field(run.out, "Valid"), "No");
  }
  server.ThenReply(stratum0);
  EXPECT_EQ(Field(Query({"-p", QString::number(server.Port()), "localhost"}).out, "Reference ID"),
            "DEN");  // up to the first zero character

  server.ThenSilence();
  const ToolRun silent = Query({"-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(silent.exit_code, 1);
  EXPECT_EQ(Field(silent.out, "Valid"), "No");
  EXPECT_GE(silent.elapsed_ms, 500);
}

TEST(QueryTool, ErrorsExitWithTwoAndTheMessageAlone) {
  FakeSntpServer server;
  server.ThenBytes(QByteArray(68, '\x24'));
  const ToolRun too_long = Query({"-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(too_long.exit_code, 2);
  EXPECT_TRUE(too_long.out.isEmpty());
  EXPECT_EQ(too_long.err, "Socket Error # 10040\r\nMessage too long.\n");

  const ToolRun unknown = Query({"no-such-host.invalid"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_TRUE(unknown.out.isEmpty());
  EXPECT_TRUE(unknown.err.startsWith("Socket Error # ")) << unknown.err.toStdString();

  for (const QStringList& bad :
       {QStringList{}, QStringList{"-p"}, QStringList{"-p", "x", "h"},
        QStringList{"-p", "70000", "h"}, QStringList{"-q", "h"}, QStringList{"a", "b"}}) {
    const ToolRun run = Query(bad);
    EXPECT_EQ(run.exit_code, 2) << bad.join(' ').toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("usage: tempomere-query"));
  }
}

TEST(QueryTool, TheTimeOutIsTheOneGiven) {
  FakeSntpServer server;
  server.ThenSilence();
  const ToolRun run = Query({"-t", "50", "-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_LT(run.elapsed_ms, 5000);
}
