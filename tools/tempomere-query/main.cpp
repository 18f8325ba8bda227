// tempomere-query [-p PORT] [-t TIMEOUT_MS] HOST
//
// One exchange with a time server, run as the main window's measurement cycle runs it, and the
// window's displays printed one per line. Exit status: 0 for a valid reply, 1 for none (time-out
// or an invalid reply; the fields are still printed), 2 for an error or bad usage.
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>

#include "framework/DisplayFormats.h"
#include "framework/SysUtils.h"
#include "ntp/NTPClient.h"

namespace {

constexpr int kExitValid = 0;
constexpr int kExitNoValidReply = 1;
constexpr int kExitError = 2;

struct Options {
  QString host;
  int port = 123;
  int timeout_ms = 500;
};

int Usage(const QString& problem) {
  QTextStream err(stderr);
  err << problem << "\n"
      << "usage: tempomere-query [-p PORT] [-t TIMEOUT_MS] HOST\n";
  return kExitError;
}

// Reads a whole number argument; false (with the problem said) when it is not one in range.
bool ReadNumber(const QString& text, int low, int high, const char* what, int& value,
                QString& problem) {
  bool ok = false;
  value = text.toInt(&ok);
  if (!ok || value < low || value > high) {
    problem = QString("%1 must be a whole number from %2 to %3, not '%4'")
                  .arg(what)
                  .arg(low)
                  .arg(high)
                  .arg(text);
    return false;
  }
  return true;
}

// Everything up to the first zero character, as the window's display shows it.
QString UpToZero(const QString& text) {
  const qsizetype zero = text.indexOf(QChar(0));
  return zero < 0 ? text : text.left(zero);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);

  Options options;
  QString problem;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "-p" || a == "-t") {
      if (i + 1 >= args.size()) return Usage(QString("%1 needs a value").arg(a));
      const QString value = args[++i];
      const bool ok =
          a == "-p" ? ReadNumber(value, 0, 65535, "PORT", options.port, problem)
                    : ReadNumber(value, -2, 86400000, "TIMEOUT_MS", options.timeout_ms, problem);
      if (!ok) return Usage(problem);
    } else if (a.startsWith('-') && a.size() > 1) {
      return Usage(QString("unknown option %1").arg(a));
    } else if (options.host.isEmpty()) {
      options.host = a;
    } else {
      return Usage("only one HOST may be given");
    }
  }
  if (options.host.isEmpty()) return Usage("HOST is missing");

  try {
    ntp::TNTPClient client;
    client.SetReceiveTimeout(options.timeout_ms);
    client.SetHost(options.host);
    client.SetPort(options.port);
    client.SetActive(true);
    client.QueryServerTime();
    client.SetActive(false);

    const ntp::TNTPInfo& info = client.Info;
    // The computer's error in seconds, positive when its clock is ahead of the server.
    const double error =
        static_cast<double>(-static_cast<long double>(client.GetClockOffset()) * 24 * 3600);
    using namespace framework;
    QTextStream out(stdout);
    out << "Date - Local Zone: " << FormatShortDate(info.ServerTime) << "\n"
        << "Time - Local Zone: " << FormatLongTime(info.ServerTime) << "\n"
        << "UTC Time: " << FormatTimeOfDay(info.ServerTimeUtc) << "\n"
        << "Computer Error: " << FormatFixed(error, 5) << "\n"
        << "Round Trip Delay: " << FormatFixed(info.RoundTripDelay * 24 * 3600, 5) << "\n"
        << "Version: " << info.Version << "\n"
        << "Leap Indicator: " << info.LeapIndicator << "\n"
        << "Stratum: " << info.Stratum << "\n"
        << "Mode: " << info.Mode << "\n"
        << "Precision: " << FormatExponent(info.Precision) << "\n"
        << "Poll Interval: " << FormatFixed(info.PollInterval, 5) << "\n"
        << "Root Dispersion: " << FormatFixed(info.RootDispersion, 5) << "\n"
        << "Root Delay: " << FormatFixed(info.RootDelay, 5) << "\n"
        << "Reference ID: " << UpToZero(info.ReferenceID) << "\n"
        << "Valid: " << (info.Valid ? "Yes" : "No") << "\n";
    return info.Valid ? kExitValid : kExitNoValidReply;
  } catch (const framework::Exception& e) {
    QTextStream(stderr) << e.Message() << "\n";
    return kExitError;
  }
}
