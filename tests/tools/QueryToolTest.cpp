// The query tool run as a program against a time server in this process.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <memory>

#include "components/DriftFit.h"
#include "components/RunJournal.h"
#include "support/ChronyServer.h"
#include "support/FakeSntpServer.h"

using testing_support::FakeSntpServer;
using testing_support::ReplySpec;

namespace {

// The time-out for queries that the server answers: long, so that a busy machine cannot turn an
// answer into silence. The tool returns as soon as the reply is in.
const QString kPatient = "10000";

struct ToolRun {
  int exit_code = -1;
  QString out, err;
  qint64 elapsed_ms = 0;
};

ToolRun Query(const QStringList& args, const QStringList& environment = {}) {
  QProcess process;
  if (!environment.isEmpty()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : environment)
      env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    process.setProcessEnvironment(env);
  }
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

// Every value of a caption, in the order printed.
QStringList Fields(const QString& out, const QString& caption) {
  QStringList values;
  for (const QString& line : out.split('\n'))
    if (line.startsWith(caption + ": ")) values << line.mid(caption.size() + 2);
  return values;
}

// A number as the text form prints it, in the user's locale.
double Number(const QString& text) {
  bool ok = false;
  const double value = QString(text).replace(QLocale::system().decimalPoint(), ".").toDouble(&ok);
  EXPECT_TRUE(ok) << text.toStdString();
  return value;
}

// Whether standard error holds one failure message of one line: "Socket Error # N: what
// happened: HOST".
bool SocketFailureLine(const QString& err, int error_code, const QString& host) {
  return err.startsWith(QString("Socket Error # %1: ").arg(error_code)) &&
         err.endsWith(": " + host + "\n") && err.count('\n') == 1 && !err.contains('\r');
}

// The host's block of a text run with several hosts: from its "Host:" line to the next one.
QString HostBlock(const QString& out, const QString& host) {
  const qsizetype start = out.indexOf("Host: " + host + "\n");
  if (start < 0) return {};
  const qsizetype end = out.indexOf("\nHost: ", start + 1);
  return out.mid(start, end < 0 ? -1 : end - start);
}

// A server whose clock is `first` seconds ahead at the first request and `step` seconds further
// ahead at each one after it.
void ServeGrowingOffset(FakeSntpServer& server, double first, double step) {
  auto served = std::make_shared<int>(0);
  server.Always([=](const QByteArray& request) {
    ReplySpec plan;
    plan.offset_seconds = first + step * (*served)++;
    return std::optional<QByteArray>(testing_support::MakeReply(request, plan));
  });
}

}  // namespace

TEST(QueryTool, AValidReplyPrintsEveryDisplayInTheWindowsFormats) {
  FakeSntpServer server;
  ReplySpec plan;
  plan.offset_seconds = 2.5;  // the server's clock runs 2.5 s ahead
  server.ThenReply(plan);
  const ToolRun run = Query({"-t", kPatient, "-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(
      Captions(run.out),
      (QStringList{"Date - Local Zone", "Time - Local Zone", "UTC Time", "Computer Error",
                   "Round Trip Delay", "Version", "Leap Indicator", "Stratum", "Mode", "Precision",
                   "Poll Interval", "Root Dispersion", "Root Delay", "Reference ID", "Valid"}));
  // Numbers carry the user's decimal separator, as the window shows them.
  const QString point = QLocale::system().decimalPoint();
  const QString p = QRegularExpression::escape(point);
  const QString error = Field(run.out, "Computer Error");
  EXPECT_TRUE(QRegularExpression("^-\\d" + p + "\\d{5}$").match(error).hasMatch())
      << error.toStdString();
  // The server stamps its reply the moment it answers, so the error is off from -2.5 s by at
  // most half the round trip (how unevenly it splits), plus a millisecond of truncation each
  // for T1 and T4.
  const double delay = QString(Field(run.out, "Round Trip Delay")).replace(point, ".").toDouble();
  EXPECT_NEAR(QString(error).replace(point, ".").toDouble(), -2.5, delay / 2 + 0.002);
  EXPECT_TRUE(QRegularExpression("^-?\\d" + p + "\\d{5}$")
                  .match(Field(run.out, "Round Trip Delay"))
                  .hasMatch());
  EXPECT_TRUE(QRegularExpression("^\\d{1,2}:\\d\\d:\\d\\d \\d{3}$")
                  .match(Field(run.out, "UTC Time"))
                  .hasMatch());
  EXPECT_EQ(Field(run.out, "Precision"), "9" + point + "5367E-7");
  EXPECT_EQ(Field(run.out, "Poll Interval"), "64" + point + "00000");
  EXPECT_EQ(Field(run.out, "Root Delay"), "1" + point + "50000");
  EXPECT_EQ(Field(run.out, "Root Dispersion"), "0" + point + "25000");
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
    const ToolRun run = Query({"-t", kPatient, "-p", QString::number(server.Port()), "127.0.0.1"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Field(run.out, "Valid"), "No");
  }
  server.ThenReply(stratum0);
  EXPECT_EQ(Field(Query({"-t", kPatient, "-p", QString::number(server.Port()), "127.0.0.1"}).out,
                  "Reference ID"),
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
  const ToolRun too_long =
      Query({"-t", kPatient, "-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(too_long.exit_code, 2);
  EXPECT_TRUE(too_long.out.isEmpty());
  EXPECT_TRUE(SocketFailureLine(too_long.err, 10040, "127.0.0.1")) << too_long.err.toStdString();

  // A label longer than 63 characters: the resolver refuses it without asking a name server.
  const ToolRun unknown = Query({QString(64, 'a') + ".invalid"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_TRUE(unknown.out.isEmpty());
  // In words, where the socket layer has no text for 11001.
  EXPECT_EQ(unknown.err,
            "Socket Error # 11001: host not found: " + QString(64, 'a') + ".invalid\n");

  for (const QStringList& bad :
       {QStringList{}, QStringList{"-p"}, QStringList{"-p", "x", "h"},
        QStringList{"-p", "70000", "h"}, QStringList{"-q", "h"}, QStringList{"-c", "0", "h"},
        QStringList{"-c", "1000001", "h"}, QStringList{"-c", "-1", "h"}, QStringList{"-c"},
        QStringList{"-i", "0", "h"}, QStringList{"-i", "-1", "h"}, QStringList{"-i", "1e2", "h"},
        QStringList{"-i", "", "h"}, QStringList{"-i", ".", "h"}, QStringList{"-i", "1.2.3", "h"},
        QStringList{"-i", "86400.5", "h"}, QStringList{"-i", "0,5", "h"}, QStringList{"-c", "2"}}) {
    const ToolRun run = Query(bad);
    EXPECT_EQ(run.exit_code, 2) << bad.join(' ').toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("usage: tempomere-query"));
  }
}

// A port or time-out the tool cannot use is refused before anything is sent: a negative wait
// would end at once and report "no reply" although the server answered.
TEST(QueryTool, PortsAndTimeOutsItCannotUseAreUsageErrors) {
  FakeSntpServer server;
  server.Always([](const QByteArray& request) {
    return std::optional<QByteArray>(testing_support::MakeReply(request));
  });
  const QString port = QString::number(server.Port());
  const QStringList refused_ports = {"0",
                                     "65536",
                                     "-1",
                                     "+123",
                                     " 123",
                                     "123 ",
                                     "12x",
                                     "0x7B",
                                     "1e2",
                                     "",
                                     "99999999999999999999",
                                     "4294967419" /* 123 once wrapped at 32 bits */,
                                     "18446744073709551739" /* and at 64 bits */};
  for (const QString& bad : refused_ports) {
    const ToolRun run = Query({"-p", bad, "127.0.0.1"});
    EXPECT_EQ(run.exit_code, 2) << "-p '" << bad.toStdString() << "'";
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("PORT must be a whole number from 1 to 65535"))
        << bad.toStdString();
  }
  const QStringList refused_timeouts = {"-1",
                                        "-2",
                                        "-500",
                                        "0",
                                        "86400001",
                                        "500ms",
                                        "5.0",
                                        "2147484148" /* 500 once wrapped */,
                                        "18446744073709552116" /* at 64 bits */,
                                        ""};
  for (const QString& bad : refused_timeouts) {
    const ToolRun run = Query({"-t", bad, "-p", port, "127.0.0.1"});
    EXPECT_EQ(run.exit_code, 2) << "-t '" << bad.toStdString() << "'";
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("TIMEOUT_MS must be a whole number from 1 to 86400000"))
        << bad.toStdString();
  }
  EXPECT_EQ(server.RequestCount(), 0);

  // The edges that are usable: the server's own port, a time-out of 1 ms and the longest one,
  // with leading zeros read as decimal.
  EXPECT_EQ(Query({"-t", "86400000", "-p", port, "127.0.0.1"}).exit_code, 0);
  EXPECT_EQ(Query({"-t", "0000086400000", "-p", "0" + port, "127.0.0.1"}).exit_code, 0);
  // The shortest wait may end before the reply is in: a query all the same, no usage error.
  const ToolRun shortest = Query({"-t", "1", "-p", port, "127.0.0.1"});
  EXPECT_NE(shortest.exit_code, 2) << shortest.err.toStdString();
  EXPECT_TRUE(shortest.err.isEmpty()) << shortest.err.toStdString();
  EXPECT_EQ(Field(shortest.out, "Stratum"), shortest.exit_code == 0 ? "2" : "0");
}

TEST(QueryTool, PortsAtTheEdgesOfTheRangeAreTaken) {
  // Nothing listens on these ports (a reply would need one): the query goes out and gets
  // nothing back, which is no usage error.
  for (const QString& edge : {QString("1"), QString("65535")}) {
    const ToolRun run = Query({"-t", "20", "-p", edge, "127.0.0.1"});
    EXPECT_EQ(run.exit_code, 1) << edge.toStdString() << run.err.toStdString();
    EXPECT_EQ(Field(run.out, "Valid"), "No");
  }
}

// The reference bytes of stratum 0 and 1 come from the server: what is not printable is
// written as an escape, so they cannot steer the terminal or add lines of their own.
TEST(QueryTool, ReferenceBytesThatAreNotPrintableAreEscaped) {
  FakeSntpServer server;
  const QString port = QString::number(server.Port());
  const struct {
    uint8_t stratum;
    uint8_t bytes[4];
    const char* shown;
  } rows[] = {
      {1, {'G', 'P', 'S', 0}, "GPS"},                         // a zero ends it, as in the window
      {1, {0x1B, '[', '2', 'J'}, "\\x1B[2J"},                 // clear screen
      {0, {'A', '\n', 'V', 'a'}, "A\\x0AVa"},                 // a forged line
      {1, {'\r', 0x7F, 0x80, 0xFF}, "\\x0D\\x7F\\x80\\xFF"},  // CR, DEL and bytes above ASCII
      {1, {'\\', 'x', '4', '1'}, "\\x5Cx41"},                 // a backslash cannot fake an escape
      {1, {' ', '~', '!', 'z'}, " ~!z"},                      // the printable edges stay
      {2, {0x1B, 10, 0, 255}, "27.10.0.255"},                 // above stratum 1: decimal numbers
  };
  for (const auto& row : rows) {
    ReplySpec plan;
    plan.stratum = row.stratum;
    std::copy(std::begin(row.bytes), std::end(row.bytes), plan.reference);
    server.ThenReply(plan);
    const ToolRun run = Query({"-t", kPatient, "-p", port, "127.0.0.1"});
    EXPECT_EQ(Field(run.out, "Reference ID"), row.shown);
    EXPECT_FALSE(run.out.contains(QChar(0x1B)));
    EXPECT_EQ(run.out.count('\n'), 15) << "one line per display";
    EXPECT_EQ(Captions(run.out).last(), "Valid");
  }
}

// A server that does not echo the request's stamp still answers: the reply is taken.
TEST(QueryTool, AReplyThatDoesNotEchoTheStampIsStillValid) {
  FakeSntpServer server;
  ReplySpec plan;
  plan.echo_originate = false;
  server.ThenReply(plan);
  const ToolRun run = Query({"-t", kPatient, "-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(Field(run.out, "Valid"), "Yes");
}

// "localhost" in any letter case is the loopback address by the transport's own rule; the
// machine's hosts file is never asked, so this holds where it has no such line.
TEST(QueryTool, LocalhostNeedsNoHostsFile) {
  FakeSntpServer server;
  server.ThenReply();
  const ToolRun run = Query({"-t", kPatient, "-p", QString::number(server.Port()), "LocalHost"});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
}

TEST(QueryTool, TheTimeOutIsTheOneGiven) {
  FakeSntpServer server;
  server.ThenSilence();
  const ToolRun run = Query({"-t", "50", "-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_LT(run.elapsed_ms, 5000);
}

// --- Several hosts, repeated samples ----------------------------------------------------------

TEST(QueryToolHosts, EachHostIsAskedInTurnAndASilentOneExitsWithOne) {
  FakeSntpServer first;
  FakeSntpServer second("127.0.0.2", first.Port());  // the tool's one port serves both
  const QString port = QString::number(first.Port());
  ReplySpec ahead;
  ahead.offset_seconds = 3;
  first.ThenReply(ahead);
  second.ThenSilence();
  const ToolRun run = Query({"-t", "300", "-p", port, "127.0.0.1", "127.0.0.2"});
  EXPECT_EQ(run.exit_code, 1) << run.err.toStdString();
  EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
  EXPECT_TRUE(run.out.startsWith("Host: 127.0.0.1\n"));
  const QString answered = HostBlock(run.out, "127.0.0.1");
  const QString silent = HostBlock(run.out, "127.0.0.2");
  EXPECT_EQ(Field(answered, "Valid"), "Yes");
  EXPECT_NEAR(Number(Field(answered, "Computer Error")), -3, 0.05);
  EXPECT_EQ(Field(silent, "Valid"), "No");
  EXPECT_EQ(Field(silent, "Stratum"), "0");
  EXPECT_EQ(first.RequestCount(), 1);
  EXPECT_EQ(second.RequestCount(), 1);
  EXPECT_FALSE(run.out.contains("Count: ")) << "one sample has no summary";

  // Both answering: every host gave a valid reply.
  first.ThenReply();
  second.ThenReply();
  const ToolRun both = Query({"-t", kPatient, "-p", port, "127.0.0.2", "127.0.0.1"});
  EXPECT_EQ(both.exit_code, 0) << both.err.toStdString();
  EXPECT_EQ(Fields(both.out, "Host"), (QStringList{"127.0.0.2", "127.0.0.1"}));
  EXPECT_EQ(Fields(both.out, "Valid"), (QStringList{"Yes", "Yes"}));
}

TEST(QueryToolHosts, AHostThatCannotBeAskedIsReportedAndTheOthersStillAre) {
  FakeSntpServer server;
  server.ThenReply();
  const QString unknown = QString(64, 'a') + ".invalid";
  const ToolRun run =
      Query({"-t", kPatient, "-p", QString::number(server.Port()), unknown, "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.err, unknown + ": Socket Error # 11001: host not found: " + unknown + "\n");
  EXPECT_FALSE(run.out.contains("Host: " + unknown));
  EXPECT_EQ(Field(HostBlock(run.out, "127.0.0.1"), "Valid"), "Yes");
  // The second host's block starts with the empty line that parts it from the first's, as ever.
  EXPECT_TRUE(run.out.startsWith("\nHost: 127.0.0.1\n")) << run.out.toStdString();
}

// The server's clock runs 10 ms further ahead at each request, the requests 0.25 s apart: the
// computer's error falls by 10 ms per 0.25 s, 3456 s per day.
TEST(QueryToolHosts, RepeatedSamplesAreSummarisedAsTheStatisticsTabDoes) {
  FakeSntpServer server;
  ServeGrowingOffset(server, 1.0, 0.01);
  const ToolRun run = Query(
      {"-t", kPatient, "-c", "5", "-i", "0.25", "-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(server.RequestCount(), 5);
  const QStringList errors = Fields(run.out, "Computer Error");
  ASSERT_EQ(errors.size(), 5);
  // Each error is off by at most half its round trip (how unevenly it splits) and a
  // millisecond each of T1's and T4's truncation; a loaded machine lengthens the round trip.
  double slack = 0.002;
  for (const QString& delay : Fields(run.out, "Round Trip Delay"))
    slack = std::max(slack, Number(delay) / 2 + 0.002);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(Number(errors[i]), -1.0 - 0.01 * i, slack) << i;
  EXPECT_FALSE(run.out.contains("Host: ")) << "one host needs no host lines";
  EXPECT_EQ(run.out.count("\n\n"), 5) << "samples and summary parted by empty lines";
  EXPECT_EQ(Field(run.out, "Count"), "5");
  EXPECT_NEAR(Number(Field(run.out, "Mean")), -1.02, slack);
  EXPECT_NEAR(Number(Field(run.out, "Min")), -1.04, slack);
  EXPECT_NEAR(Number(Field(run.out, "Max")), -1.00, slack);
  // Population standard deviation of -1.00 .. -1.04: sqrt(0.001 / 5).
  EXPECT_NEAR(Number(Field(run.out, "STD")), 0.014142, slack);
  const double total = Number(Field(run.out, "Total Drift"));
  EXPECT_NEAR(total, -0.04, 2 * slack);
  // Five samples: the windows are the first and the last sample, four intervals of 0.25 s
  // apart, so the drift per day is the total drift over one second: -3456 s per day.
  EXPECT_NEAR(Number(Field(run.out, "Drift Per Day")), total * 86400,
              std::fabs(total) * 86400 * 0.12);
  EXPECT_NEAR(Number(Field(run.out, "Drift Per Day")), -3456, 3456 * 0.5);
  // The span from the first valid sample to the last: four intervals.
  const QStringList span = Field(run.out, "Time Span").split(QRegularExpression("[: ]"));
  ASSERT_EQ(span.size(), 4);
  EXPECT_NEAR(span[2].toInt() + span[3].toInt() / 1000.0, 1.0, 0.2);
}

TEST(QueryToolHosts, OnlyValidSamplesEnterTheSummary) {
  FakeSntpServer server;
  ReplySpec stratum16;
  stratum16.stratum = 16;
  ReplySpec ahead;
  ahead.offset_seconds = 2;
  server.ThenReply(ahead);
  server.ThenReply(stratum16);
  server.ThenSilence();
  const ToolRun run = Query(
      {"-t", "300", "-c", "3", "-i", "0.01", "-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 0) << "the host gave a valid reply";
  EXPECT_EQ(Fields(run.out, "Valid"), (QStringList{"Yes", "No", "No"}));
  // The silent third sample shows no figures of the second one's reply.
  EXPECT_EQ(Fields(run.out, "Stratum"), (QStringList{"2", "16", "0"}));
  EXPECT_EQ(Field(run.out, "Count"), "1");
  EXPECT_NEAR(Number(Field(run.out, "Mean")), -2, 0.05);
  EXPECT_EQ(Number(Field(run.out, "Total Drift")), 0);

  // No valid sample at all: no summary, and exit 1.
  server.ThenSilence();
  server.ThenSilence();
  const ToolRun none = Query(
      {"-t", "50", "-c", "2", "-i", "0.01", "-p", QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_FALSE(none.out.contains("Count: "));
}

TEST(QueryToolHosts, ChronydGivesRepeatedSamples) {
  testing_support::ChronyServer chrony;
  ASSERT_TRUE(chrony.Started()) << chrony.Problem().toStdString();
  const ToolRun run = Query(
      {"-t", kPatient, "-c", "3", "-i", "0.2", "-p", QString::number(chrony.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  EXPECT_EQ(Fields(run.out, "Stratum"), (QStringList{"3", "3", "3"}));
  EXPECT_EQ(Field(run.out, "Count"), "3");
  EXPECT_LT(std::fabs(Number(Field(run.out, "Mean"))), 0.005);
}

// --- JSON and CSV -----------------------------------------------------------------------------

namespace {

// The records of RFC 4180 text: fields split at commas, quoted fields with doubled quotes,
// records ended by CRLF. Anything else (a bare quote in an unquoted field, a record without its
// CRLF) fails the test.
QList<QStringList> ReadCsv(const QString& text) {
  QList<QStringList> records;
  QStringList record;
  QString field;
  qsizetype i = 0;
  bool at_field_start = true;
  while (i < text.size()) {
    const QChar c = text[i];
    if (at_field_start && c == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) {
          ADD_FAILURE() << "an open quote at the end";
          return records;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
      at_field_start = false;
      continue;
    }
    if (c == ',') {
      record << field;
      field.clear();
      at_field_start = true;
      ++i;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      record << field;
      records << record;
      record.clear();
      field.clear();
      at_field_start = true;
      i += 2;
    } else {
      EXPECT_NE(c, '"') << "a quote inside an unquoted field";
      EXPECT_NE(c, '\n') << "a line feed without its carriage return";
      field += c;
      at_field_start = false;
      ++i;
    }
  }
  EXPECT_TRUE(record.isEmpty() && field.isEmpty()) << "the last record lacks its CRLF";
  return records;
}

// Whether a JSON number of seconds is a whole number of steps of 1 / `per_second` s (as the tool
// rounds it), without the noise digits of the arithmetic behind it.
bool AtResolution(const QJsonValue& seconds, double per_second) {
  const double value = seconds.toDouble();
  return seconds.isDouble() && std::round(value * per_second) / per_second == value;
}

// The CSV forms of seconds: to the half millisecond of the millisecond readings (at most 4
// decimals) and to the nanosecond (9), with a point, never an exponent.
const QRegularExpression kCsvHalfMilliseconds("^-?\\d+(\\.\\d{1,3}(0|5)?)?$");
const QRegularExpression kCsvNanoseconds("^-?\\d+(\\.\\d{1,9})?$");

QDateTime IsoTime(const QJsonValue& value) {
  EXPECT_TRUE(value.isString());
  EXPECT_TRUE(value.toString().endsWith('Z')) << value.toString().toStdString();
  return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

}  // namespace

TEST(QueryToolForms, JsonHoldsEveryFieldOfEachSampleAndEachHostsSummary) {
  FakeSntpServer first;
  FakeSntpServer second("127.0.0.2", first.Port());
  ServeGrowingOffset(first, 2.0, 0.01);
  ReplySpec gps;
  gps.stratum = 1;
  gps.byte0 = 0x5C;  // leap indicator 1, version 3, mode 4
  gps.poll = 4;
  gps.precision = -10;
  gps.root_delay = 0x00008000;       // 0.5 s
  gps.root_dispersion = 0xFFFF8000;  // -0.5 s, signed
  const uint8_t reference[4] = {'G', 'P', '"', 0};
  std::copy(std::begin(reference), std::end(reference), gps.reference);
  second.ThenReply(gps);
  second.ThenSilence();
  const ToolRun run = Query({"--json", "-t", "500", "-c", "2", "-i", "0.2", "-p",
                             QString::number(first.Port()), "127.0.0.1", "127.0.0.2"});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  // Written as Qt writes the same document: its layout, key order and number forms.
  EXPECT_EQ(run.out.toUtf8(), document.toJson(QJsonDocument::Indented));
  const QJsonArray hosts = document.object()["hosts"].toArray();
  ASSERT_EQ(hosts.size(), 2);

  const QJsonObject a = hosts[0].toObject();
  EXPECT_EQ(a["host"].toString(), "127.0.0.1");
  EXPECT_EQ(a["port"].toInt(), first.Port());
  EXPECT_EQ(a["valid"], QJsonValue(true));
  EXPECT_FALSE(a.contains("error"));
  const QJsonArray samples = a["samples"].toArray();
  ASSERT_EQ(samples.size(), 2);
  // Half the round trip and the truncation of T1 and T4 (see the text form's test).
  double slack = 0.002;
  const QStringList keys = {"sampledAt",
                            "replied",
                            "serverTime",
                            "computerError",
                            "roundTripDelay",
                            "preciseComputerError",
                            "preciseRoundTripDelay",
                            "version",
                            "leapIndicator",
                            "stratum",
                            "mode",
                            "precision",
                            "pollInterval",
                            "rootDispersion",
                            "rootDelay",
                            "referenceId",
                            "valid",
                            "t1Source",
                            "t4Source"};
  int finer_than_microseconds = 0;  // precise figures that are no whole number of microseconds
  for (int i = 0; i < 2; ++i) {
    const QJsonObject s = samples[i].toObject();
    QStringList sorted = keys;
    sorted.sort();
    EXPECT_EQ(s.keys(), sorted);
    EXPECT_TRUE(s["computerError"].isDouble());
    for (const char* key : {"computerError", "roundTripDelay"})
      EXPECT_TRUE(AtResolution(s[key], 2000)) << key << " " << s[key].toDouble();
    for (const char* key : {"preciseComputerError", "preciseRoundTripDelay"}) {
      EXPECT_TRUE(AtResolution(s[key], 1e9)) << key << " " << s[key].toDouble();
      finer_than_microseconds += !AtResolution(s[key], 1e6);
    }
    slack = std::max(slack, s["roundTripDelay"].toDouble() / 2 + 0.002);
    EXPECT_NEAR(s["computerError"].toDouble(), -2.0 - 0.01 * i, slack);
    // The full-resolution error is within half the round trip of the truth.
    EXPECT_NEAR(s["preciseComputerError"].toDouble(), -2.0 - 0.01 * i,
                s["preciseRoundTripDelay"].toDouble() / 2 + 1e-6);
    EXPECT_GE(s["roundTripDelay"].toDouble(), -0.002);
    EXPECT_LT(s["roundTripDelay"].toDouble(), 0.5);
    EXPECT_EQ(s["version"].toInt(), 4);
    EXPECT_EQ(s["leapIndicator"].toInt(), 0);
    EXPECT_EQ(s["stratum"].toInt(), 2);
    EXPECT_EQ(s["mode"].toInt(), 4);
    EXPECT_EQ(s["precision"].toDouble(), std::ldexp(1.0, -20));
    EXPECT_EQ(s["pollInterval"].toDouble(), 64);
    EXPECT_EQ(s["rootDispersion"].toDouble(), 0.25);
    EXPECT_EQ(s["rootDelay"].toDouble(), 1.5);
    EXPECT_EQ(s["referenceId"].toString(), "10.0.0.1");
    EXPECT_EQ(s["valid"], QJsonValue(true));
    EXPECT_EQ(s["replied"], QJsonValue(true));
    for (const char* key : {"t1Source", "t4Source"})
      EXPECT_TRUE(QStringList({"kernel", "user"}).contains(s[key].toString())) << key;
    // The server's clock, in UTC, is 2 s and more ahead of the moment the sample began.
    const QDateTime sampled = IsoTime(s["sampledAt"]);
    const QDateTime server = IsoTime(s["serverTime"]);
    ASSERT_TRUE(sampled.isValid() && server.isValid());
    EXPECT_EQ(server.timeSpec(), Qt::UTC);
    EXPECT_NEAR(sampled.msecsTo(server), 2000 + 10 * i, 100);
    EXPECT_NEAR(sampled.msecsTo(QDateTime::currentDateTimeUtc()), 0, 60000);
  }
  // Nanosecond readings: all four precise figures on whole microseconds would be a 1 in 10^12
  // chance.
  EXPECT_GT(finer_than_microseconds, 0);
  const QJsonObject summary = a["summary"].toObject();
  EXPECT_EQ(summary["count"].toInt(), 2);
  for (const char* key : {"timeSpan", "mean", "min", "max", "std", "totalDrift", "driftPerDay"})
    EXPECT_TRUE(AtResolution(summary[key], 1e6)) << key << " " << summary[key].toDouble();
  EXPECT_NEAR(summary["mean"].toDouble(), -2.005, slack);
  EXPECT_NEAR(summary["min"].toDouble(), -2.01, slack);
  EXPECT_NEAR(summary["max"].toDouble(), -2.0, slack);
  EXPECT_NEAR(summary["std"].toDouble(), 0.005, slack);
  EXPECT_NEAR(summary["totalDrift"].toDouble(), -0.01, 2 * slack);
  EXPECT_NEAR(summary["timeSpan"].toDouble(), 0.2, 0.1);
  // 10 ms per 0.2 s.
  // Two samples 0.2 s apart: the total drift over the span, each of the three written to the
  // microsecond.
  const double total = summary["totalDrift"].toDouble();
  const double span = summary["timeSpan"].toDouble();
  EXPECT_NEAR(
      summary["driftPerDay"].toDouble(), total / span * 86400,
      std::fabs(total / span * 86400) * (0.5e-6 / std::fabs(total) + 0.5e-6 / span) + 0.5e-6);

  const QJsonObject b = hosts[1].toObject();
  EXPECT_EQ(b["host"].toString(), "127.0.0.2");
  const QJsonArray b_samples = b["samples"].toArray();
  ASSERT_EQ(b_samples.size(), 2);
  const QJsonObject answered = b_samples[0].toObject();
  EXPECT_EQ(answered["referenceId"].toString(), "GP\"");
  EXPECT_EQ(answered["stratum"].toInt(), 1);
  EXPECT_EQ(answered["leapIndicator"].toInt(), 1);
  EXPECT_EQ(answered["version"].toInt(), 3);
  EXPECT_EQ(answered["pollInterval"].toDouble(), 16);
  EXPECT_EQ(answered["precision"].toDouble(), 1.0 / 1024);
  EXPECT_EQ(answered["rootDelay"].toDouble(), 0.5);
  EXPECT_EQ(answered["rootDispersion"].toDouble(), -0.5);
  const QJsonObject silent = b_samples[1].toObject();
  EXPECT_EQ(silent["replied"], QJsonValue(false));
  EXPECT_EQ(silent["valid"], QJsonValue(false));
  EXPECT_TRUE(silent["serverTime"].isNull());
  EXPECT_TRUE(silent["t1Source"].isNull() && silent["t4Source"].isNull());
  EXPECT_EQ(silent["stratum"].toInt(), 0);
  EXPECT_EQ(b["summary"].toObject()["count"].toInt(), 1);
  EXPECT_EQ(b["summary"].toObject()["totalDrift"].toDouble(), 0);
}

TEST(QueryToolForms, JsonNamesAHostThatCannotBeAsked) {
  FakeSntpServer server;
  server.ThenReply();
  const QString unknown = QString(64, 'b') + ".invalid";
  const ToolRun run =
      Query({"--json", "-t", kPatient, "-p", QString::number(server.Port()), unknown, "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 2);
  const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8());
  EXPECT_EQ(run.out.toUtf8(), document.toJson(QJsonDocument::Indented));  // "samples": [ ] too
  const QJsonObject host = document.object()["hosts"].toArray()[0].toObject();
  EXPECT_EQ(host["host"].toString(), unknown);
  EXPECT_EQ(host["valid"], QJsonValue(false));
  EXPECT_EQ(host["error"].toString(), "Socket Error # 11001: host not found: " + unknown);
  EXPECT_TRUE(host["samples"].toArray().isEmpty());
  EXPECT_FALSE(host.contains("summary"));
  // The next host is still asked; asked once, it has no summary.
  const QJsonObject asked = document.object()["hosts"].toArray()[1].toObject();
  EXPECT_EQ(asked["valid"], QJsonValue(true));
  EXPECT_FALSE(asked.contains("summary"));
}

TEST(QueryToolForms, CsvHasAHeaderAndOneRowPerSampleWithAPointWhateverTheLocale) {
  FakeSntpServer server;
  const QString port = QString::number(server.Port());
  // German numbers: the text form follows them, CSV does not.
  const QStringList german = {"LC_ALL=de_DE.UTF-8", "LANG=de_DE.UTF-8"};
  ReplySpec quoted;
  quoted.stratum = 1;
  const uint8_t reference[4] = {'"', ',', 'x', 0};
  std::copy(std::begin(reference), std::end(reference), quoted.reference);
  quoted.offset_seconds = 1.25;
  server.ThenReply(quoted);
  const ToolRun text = Query({"-t", kPatient, "-p", port, "127.0.0.1"}, german);
  ASSERT_TRUE(Field(text.out, "Poll Interval").contains(',')) << "the locale did not take";

  server.ThenReply(quoted);
  server.ThenSilence();
  const ToolRun run =
      Query({"--csv", "-t", "300", "-c", "2", "-i", "0.01", "-p", port, "127.0.0.1"}, german);
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  const QList<QStringList> records = ReadCsv(run.out);
  ASSERT_EQ(records.size(), 3);
  const QStringList header = records[0];
  EXPECT_EQ(header, (QStringList{"host",
                                 "sample",
                                 "sampled_at",
                                 "replied",
                                 "server_time",
                                 "computer_error",
                                 "round_trip_delay",
                                 "precise_computer_error",
                                 "precise_round_trip_delay",
                                 "version",
                                 "leap_indicator",
                                 "stratum",
                                 "mode",
                                 "precision",
                                 "poll_interval",
                                 "root_dispersion",
                                 "root_delay",
                                 "reference_id",
                                 "valid",
                                 "t1_source",
                                 "t4_source",
                                 "fitted_drift_per_day",
                                 "fitted_drift_interval",
                                 "fitted_drift_ppm",
                                 "residual_sd"}));
  auto column = [&](int row, const char* name) { return records[row][header.indexOf(name)]; };
  for (int row = 1; row < 3; ++row) ASSERT_EQ(records[row].size(), header.size());
  EXPECT_EQ(column(1, "host"), "127.0.0.1");
  EXPECT_EQ(column(1, "sample"), "1");
  EXPECT_EQ(column(2, "sample"), "2");
  EXPECT_EQ(column(1, "reference_id"), "\",x");
  EXPECT_EQ(column(1, "valid"), "true");
  EXPECT_EQ(column(1, "replied"), "true");
  EXPECT_EQ(column(1, "stratum"), "1");
  EXPECT_EQ(column(1, "poll_interval"), "64");
  EXPECT_EQ(column(1, "root_delay"), "1.5");
  EXPECT_EQ(column(1, "root_dispersion"), "0.25");
  bool ok = false;
  EXPECT_NEAR(column(1, "computer_error").toDouble(&ok), -1.25, 0.05);  // C locale: "."
  EXPECT_TRUE(ok) << column(1, "computer_error").toStdString();
  EXPECT_TRUE(column(1, "computer_error").contains('.'));
  for (int row = 1; row < 3; ++row) {
    for (const char* name : {"computer_error", "round_trip_delay"})
      EXPECT_TRUE(kCsvHalfMilliseconds.match(column(row, name)).hasMatch())
          << name << " " << column(row, name).toStdString();
    for (const char* name : {"precise_computer_error", "precise_round_trip_delay"})
      EXPECT_TRUE(kCsvNanoseconds.match(column(row, name)).hasMatch())
          << name << " " << column(row, name).toStdString();
  }
  const QDateTime sampled = QDateTime::fromString(column(1, "sampled_at"), Qt::ISODateWithMs);
  const QDateTime server_time = QDateTime::fromString(column(1, "server_time"), Qt::ISODateWithMs);
  EXPECT_NEAR(sampled.msecsTo(server_time), 1250, 100);
  EXPECT_EQ(column(2, "replied"), "false");
  EXPECT_EQ(column(2, "valid"), "false");
  EXPECT_EQ(column(2, "server_time"), "");
  EXPECT_TRUE(QStringList({"kernel", "user"}).contains(column(1, "t4_source")));
  EXPECT_EQ(column(2, "t1_source"), "");
  EXPECT_EQ(column(2, "precise_computer_error"), "0");
  EXPECT_EQ(column(2, "computer_error"), "0") << "no reply: zero, without a sign";
  const double precise = column(1, "precise_computer_error").toDouble(&ok);
  EXPECT_TRUE(ok);
  EXPECT_NEAR(precise, -1.25, column(1, "precise_round_trip_delay").toDouble() / 2 + 1e-6);

  // Together the two forms are a usage error.
  const ToolRun both = Query({"--csv", "--json", "127.0.0.1"});
  EXPECT_EQ(both.exit_code, 2);
  EXPECT_TRUE(both.out.isEmpty());
}

// --- Bursts -----------------------------------------------------------------------------------

TEST(QueryToolBurst, EachSampleSaysHowManyRequestsWentOutAndWhichOneItShows) {
  FakeSntpServer server;
  server.Always(
      [](const QByteArray& request) { return std::optional(testing_support::MakeReply(request)); });
  const QString port = QString::number(server.Port());
  const ToolRun json = Query(
      {"--json", "-b", "4", "-c", "2", "-i", "0.01", "-t", kPatient, "-p", port, "127.0.0.1"});
  EXPECT_EQ(json.exit_code, 0) << json.err.toStdString();
  EXPECT_EQ(server.RequestCount(), 8);
  const QJsonArray samples = QJsonDocument::fromJson(json.out.toUtf8())
                                 .object()["hosts"]
                                 .toArray()[0]
                                 .toObject()["samples"]
                                 .toArray();
  ASSERT_EQ(samples.size(), 2);
  for (const QJsonValue& sample : samples) {
    const QJsonObject burst = sample.toObject()["burst"].toObject();
    EXPECT_EQ(burst["sent"].toInt(), 4);
    EXPECT_GE(burst["kept"].toInt(), 1);
    EXPECT_LE(burst["kept"].toInt(), 4);
  }
  const ToolRun text = Query({"-b", "3", "-t", kPatient, "-p", port, "127.0.0.1"});
  EXPECT_EQ(Fields(text.out, "Requests Sent"), QStringList{"3"});
  const QStringList kept = Fields(text.out, "Request Kept");
  ASSERT_EQ(kept.size(), 1);
  EXPECT_GE(kept[0].toInt(), 1);
  EXPECT_LE(kept[0].toInt(), 3);
  EXPECT_EQ(server.RequestCount(), 11);
}

// --- Full-resolution figures ------------------------------------------------------------------

// The fitted drift in all three forms, from the samples the journal keeps.
TEST(QueryToolJournal, TheJournalKeepsTheSamplesTheFittedDriftIsMadeOf) {
  FakeSntpServer server;
  server.Always([](const QByteArray& request) {
    return std::optional<QByteArray>(testing_support::MakeReply(request));
  });
  const QString port = QString::number(server.Port());
  QTemporaryDir dir;
  const QString journal = dir.path() + "/runs/journal.sqlite";
  const QStringList asked = {"-t", kPatient, "-c", "4", "-i", "0.01", "-p", port};
  const ToolRun json =
      Query(QStringList{"--json", "--journal", journal} + asked + QStringList{"127.0.0.1"});
  ASSERT_EQ(json.exit_code, 0) << json.err.toStdString();
  const QJsonObject host = QJsonDocument::fromJson(json.out.toUtf8())["hosts"][0].toObject();
  const QJsonObject summary = host["summary"].toObject();
  ASSERT_TRUE(summary["fittedDriftInterval"].isDouble());
  ASSERT_TRUE(summary["residualSd"].isDouble());

  components::TRunJournal kept(journal.toStdString());
  const std::optional<components::TJournalRun> run = kept.LastRun();
  ASSERT_TRUE(run);
  ASSERT_EQ(run->Samples.size(), 4u);
  std::vector<double> times, errors;
  for (std::size_t i = 0; i < 4; ++i) {
    const components::TJournalSample& sample = run->Samples[i];
    EXPECT_NEAR(sample.PreciseError, host["samples"][int(i)]["preciseComputerError"].toDouble(),
                1e-9);
    times.push_back(sample.FitTime);
    errors.push_back(sample.PreciseError);
  }
  const components::TFittedDrift fitted = components::FitDrift(times, errors);
  EXPECT_NEAR(summary["fittedDriftPerDay"].toDouble(), fitted.PerDay,
              1e-6 + 1e-6 * std::fabs(fitted.PerDay));
  EXPECT_NEAR(summary["fittedDriftPpm"].toDouble(), fitted.Ppm,
              1e-6 + 1e-6 * std::fabs(fitted.Ppm));

  // CSV: each record the fit so far, nothing before two samples, no interval before three.
  const QList<QStringList> records =
      ReadCsv(Query(QStringList{"--csv"} + asked.mid(0, 2) +
                    QStringList{"-c", "3", "-i", "0.01", "-p", port, "127.0.0.1"})
                  .out);
  ASSERT_EQ(records.size(), 4);
  auto column = [&](int row, const char* name) { return records[row][records[0].indexOf(name)]; };
  EXPECT_EQ(column(1, "fitted_drift_per_day"), "");
  EXPECT_NE(column(2, "fitted_drift_per_day"), "");
  EXPECT_EQ(column(2, "fitted_drift_interval"), "");
  EXPECT_NE(column(3, "fitted_drift_interval"), "");
  EXPECT_NE(column(3, "residual_sd"), "");
  // Text: the window's caption, with its interval.
  const ToolRun text = Query(asked + QStringList{"127.0.0.1"});
  EXPECT_TRUE(Field(text.out, "Fitted Drift Per Day").contains(QChar(0x00B1)))
      << text.out.toStdString();
  EXPECT_NE(Field(text.out, "Residual SD"), "<missing>");

  // A journal that cannot be kept is said once; every sample is still asked and printed.
  const ToolRun unkept = Query(QStringList{"--json", "--journal", "/proc/no-such/journal.sqlite"} +
                               asked + QStringList{"127.0.0.1"});
  EXPECT_EQ(unkept.exit_code, 2);
  EXPECT_EQ(unkept.err.count('\n'), 1) << unkept.err.toStdString();
  EXPECT_TRUE(unkept.err.contains("cannot be opened")) << unkept.err.toStdString();
  EXPECT_EQ(QJsonDocument::fromJson(unkept.out.toUtf8())["hosts"][0]["samples"].toArray().size(),
            4);
}

TEST(QueryToolPrecise, ThePreciseLinesFollowEachSampleOnlyWhenAskedFor) {
  FakeSntpServer server;
  ReplySpec plan;
  plan.offset_seconds = 0.75;
  server.ThenReply(plan);
  server.ThenReply(plan);
  const ToolRun run = Query({"--precise", "-t", kPatient, "-c", "2", "-i", "0.01", "-p",
                             QString::number(server.Port()), "127.0.0.1"});
  EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
  const QStringList errors = Fields(run.out, "Precise Computer Error");
  const QStringList delays = Fields(run.out, "Precise Round Trip Delay");
  ASSERT_EQ(errors.size(), 2);
  ASSERT_EQ(delays.size(), 2);
  const QString p = QRegularExpression::escape(QLocale::system().decimalPoint());
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(QRegularExpression("^-?\\d" + p + "\\d{9}$").match(errors[i]).hasMatch())
        << errors[i].toStdString();
    EXPECT_NEAR(Number(errors[i]), -0.75, Number(delays[i]) / 2 + 1e-6);
  }
  // Each sample's block: its 15 lines, then the two precise ones.
  const QStringList captions = Captions(run.out.section("\n\n", 0, 0));
  EXPECT_EQ(captions.size(), 17);
  EXPECT_EQ(captions.mid(15), (QStringList{"Precise Computer Error", "Precise Round Trip Delay"}));
}

// --- IPv6 -------------------------------------------------------------------------------------

TEST(QueryToolIPv6, LiteralsBareAndBracketedReachAServerOnTheIPv6Loopback) {
  if (!FakeSntpServer::IPv6LoopbackAvailable()) GTEST_SKIP() << "this machine has no ::1";
  FakeSntpServer server("::1", 0);
  const QString port = QString::number(server.Port());
  ReplySpec plan;
  plan.offset_seconds = -1.5;
  for (const QString& host : {QString("::1"), QString("[::1]"), QString("0:0:0:0:0:0:0:1")}) {
    server.ThenReply(plan);
    const ToolRun run = Query({"-t", kPatient, "-p", port, host});
    EXPECT_EQ(run.exit_code, 0) << host.toStdString() << run.err.toStdString();
    // As close as the exchange allows: half its round trip and the millisecond truncation.
    const double slack = Number(Field(run.out, "Round Trip Delay")) / 2 + 0.002;
    EXPECT_NEAR(Number(Field(run.out, "Computer Error")), 1.5, slack) << host.toStdString();
  }
  // -6 takes "localhost" as ::1; -4 refuses an IPv6 address before anything is sent.
  server.ThenReply(plan);
  const ToolRun local6 = Query({"-6", "-t", kPatient, "-p", port, "localhost"});
  EXPECT_EQ(local6.exit_code, 0) << local6.err.toStdString();
  const int asked = server.RequestCount();
  const ToolRun refused = Query({"-4", "-t", kPatient, "-p", port, "::1"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_TRUE(SocketFailureLine(refused.err, 10047, "::1")) << refused.err.toStdString();
  EXPECT_TRUE(refused.out.isEmpty());
  EXPECT_EQ(server.RequestCount(), asked);
}

TEST(QueryToolIPv6, AForcedFamilyPicksTheServerOfThatFamily) {
  if (!FakeSntpServer::IPv6LoopbackAvailable()) GTEST_SKIP() << "this machine has no ::1";
  FakeSntpServer v6("::1", 0);
  FakeSntpServer v4("127.0.0.1", v6.Port());
  const QString port = QString::number(v6.Port());
  ReplySpec ahead4, ahead6;
  ahead4.offset_seconds = 4;
  ahead6.offset_seconds = 6;
  v4.Always([=](const QByteArray& r) {
    return std::optional<QByteArray>(testing_support::MakeReply(r, ahead4));
  });
  v6.Always([=](const QByteArray& r) {
    return std::optional<QByteArray>(testing_support::MakeReply(r, ahead6));
  });
  EXPECT_NEAR(Number(Field(Query({"-t", kPatient, "-p", port, "localhost"}).out, "Computer Error")),
              -4, 0.05);
  EXPECT_NEAR(
      Number(Field(Query({"-6", "-t", kPatient, "-p", port, "localhost"}).out, "Computer Error")),
      -6, 0.05);
  EXPECT_NEAR(
      Number(Field(Query({"-4", "-t", kPatient, "-p", port, "localhost"}).out, "Computer Error")),
      -4, 0.05);
  // Both servers in one call, one per family; a dotted quad under -6 is refused.
  const ToolRun both = Query({"--json", "-t", kPatient, "-p", port, "127.0.0.1", "[::1]"});
  EXPECT_EQ(both.exit_code, 0) << both.err.toStdString();
  const QJsonArray hosts = QJsonDocument::fromJson(both.out.toUtf8()).object()["hosts"].toArray();
  ASSERT_EQ(hosts.size(), 2);
  EXPECT_NEAR(hosts[1].toObject()["samples"].toArray()[0].toObject()["computerError"].toDouble(),
              -6, 0.05);
  EXPECT_EQ(Query({"-6", "-p", port, "127.0.0.1"}).exit_code, 2);
  EXPECT_EQ(Query({"-4", "-6", "-p", port, "127.0.0.1"}).exit_code, 2);
}

// --- Help ---------------------------------------------------------------------------------------

TEST(QueryToolHelp, HelpNamesEveryOptionTheFormsAndTheExitCodes) {
  const ToolRun run = Query({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(run.err.isEmpty());
  EXPECT_TRUE(run.out.startsWith("usage: tempomere-query"));
  for (const char* option : {"-p PORT", "-t TIMEOUT_MS", "-c COUNT", "-i SECONDS", "--precise",
                             "-4", "-6", "--json", "--csv", "--help", "--version"})
    EXPECT_TRUE(run.out.contains(option)) << option;
  for (const char* word : {"Exit status: 0", "1 when", "2 for", "ISO 8601", "RFC 4180"})
    EXPECT_TRUE(run.out.contains(word)) << word;
  // Usage errors point to it.
  EXPECT_TRUE(Query({"-x"}).err.contains("--help tells more"));
}

namespace {

// A file of the source tree the tests were built from, which the build's CMake cache (one
// folder above the programs) names.
QString SourceText(const QString& path) {
  QString tree;
  QFile cache(QCoreApplication::applicationDirPath() + "/../CMakeCache.txt");
  if (cache.open(QIODevice::ReadOnly))
    for (const QByteArray& line : cache.readAll().split('\n'))
      if (line.startsWith("CMAKE_HOME_DIRECTORY:INTERNAL="))
        tree = QString::fromUtf8(line.mid(line.indexOf('=') + 1)).trimmed();
  QFile file(tree + "/" + path);
  if (tree.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << path.toStdString() << " in '" << tree.toStdString() << "'";
    return {};
  }
  return QString::fromUtf8(file.readAll());
}

// The part of a text from the heading line `heading` to the next heading of its level.
QString Section(const QString& text, const QString& heading, const QString& level) {
  const qsizetype start = text.indexOf("\n" + heading + "\n");
  if (start < 0) return {};
  const qsizetype end = text.indexOf("\n" + level + " ", start + 1);
  return text.mid(start, end < 0 ? -1 : end - start);
}

}  // namespace

// Every option that --help names (in its usage lines and its list) is described in the manual
// page's OPTIONS and in the README's section on the tool.
TEST(QueryToolHelp, TheManualPageAndTheReadmeDescribeEveryOption) {
  const QString help = Query({"--help"}).out;
  const QString usage = help.section("\n\n", 0, 0);
  QStringList options;
  const QRegularExpression option("(?:^|[\\s\\[|,])(--?[a-z0-9][a-z0-9-]*)");
  for (const QString& line : help.split('\n')) {
    if (!usage.contains(line) && !line.startsWith("  -")) continue;
    for (const QRegularExpressionMatch& m : option.globalMatch(line))
      if (!options.contains(m.captured(1))) options << m.captured(1);
  }
  EXPECT_TRUE(options.contains("-p") && options.contains("--version"))
      << options.join(' ').toStdString();
  const QString manual =
      Section(SourceText("packaging/man/tempomere-query.1.scd"), "# OPTIONS", "#");
  const QString readme = Section(SourceText("README.md"), "## The query tool", "##");
  ASSERT_FALSE(manual.isEmpty());
  ASSERT_FALSE(readme.isEmpty());
  for (const QString& name : options) {
    EXPECT_TRUE(manual.contains("*" + name + "*")) << "manual page: " << name.toStdString();
    EXPECT_TRUE(readme.contains(
        QRegularExpression("(?<![\\w-])" + QRegularExpression::escape(name) + "(?![\\w-])")))
        << "README: " << name.toStdString();
  }
}
