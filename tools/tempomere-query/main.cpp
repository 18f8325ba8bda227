// tempomere-query [-p PORT] [-t TIMEOUT_MS] [--nts] [--ca-file FILE] HOST
// tempomere-query --version
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

#ifndef TEMPOMERE_VERSION
#error "TEMPOMERE_VERSION is set by the build from the project's one version number"
#endif

namespace {

constexpr int kExitValid = 0;
constexpr int kExitNoValidReply = 1;
constexpr int kExitError = 2;

// A server listens on a port 1..65535; port 0 cannot be sent to.
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
// Milliseconds to wait for the reply. A wait of 0 or less ends before any reply can come, and
// more than a day is surely a slip of the keyboard.
constexpr int kShortestTimeout = 1;
constexpr int kLongestTimeout = 86400000;

struct Options {
  QString host;
  int port = 123;
  int timeout_ms = 500;
  // Network Time Security: --nts asks HOST as "nts://HOST"; --ca-file trusts that CA instead of
  // the system's trust store.
  bool nts = false;
  QString ca_file;
  bool port_given = false;  // -p was given: refused for an NTS host, whose server names its port
};

int Usage(const QString& problem) {
  QTextStream err(stderr);
  err << problem << "\n"
      << "usage: tempomere-query [-p PORT] [-t TIMEOUT_MS] [--nts] [--ca-file FILE] HOST\n"
      << "       tempomere-query --version\n"
      << "  PORT 1..65535 (default 123), TIMEOUT_MS 1..86400000 (default 500)\n"
      << "  HOST nts://NAME[:PORT] (or --nts NAME[:PORT]) asks with Network Time Security;\n"
      << "  its PORT is the key-establishment port (default 4460), and -p is refused:\n"
      << "  key establishment names the NTP port\n";
  return kExitError;
}

// Reads a whole number argument: decimal digits only, nothing before or after them, within
// [low, high]. False, with the problem said, for anything else (a sign, blanks, trailing junk,
// a number too large for any type).
bool ReadNumber(const QString& text, int low, int high, const char* what, int& value,
                QString& problem) {
  const QByteArray digits = text.toLatin1();
  bool ok = !digits.isEmpty();
  long long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      ok = false;
      break;
    }
    number = number * 10 + (c - '0');
    if (number > high) {  // stop before the number can overflow
      ok = false;
      break;
    }
  }
  if (!ok || number < low || number > high) {
    problem = QString("%1 must be a whole number from %2 to %3, not '%4'")
                  .arg(what)
                  .arg(low)
                  .arg(high)
                  .arg(text);
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

// The reference identifier as the window's field shows it (up to the first zero character),
// with every character that is not printable ASCII, and the backslash itself, written as \xNN:
// the server chooses these bytes, and raw they could move the cursor, clear the terminal or
// forge lines of output.
QString PrintableReference(const QString& text) {
  const qsizetype zero = text.indexOf(QChar(0));
  const QString shown = zero < 0 ? text : text.left(zero);
  QString printable;
  for (QChar c : shown) {
    const char16_t code = c.unicode();
    if (code >= 0x20 && code <= 0x7E && code != '\\')
      printable += c;
    else
      printable += "\\x" + QString::number(code, 16).toUpper().rightJustified(2, '0');
  }
  return printable;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);

  Options options;
  QString problem;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "--version") {
      QTextStream(stdout) << "tempomere-query " << TEMPOMERE_VERSION << "\n";
      return kExitValid;
    }
    if (a == "-p" || a == "-t") {
      if (i + 1 >= args.size()) return Usage(QString("%1 needs a value").arg(a));
      options.port_given = options.port_given || a == "-p";
      const QString value = args[++i];
      const bool ok =
          a == "-p" ? ReadNumber(value, kLowestPort, kHighestPort, "PORT", options.port, problem)
                    : ReadNumber(value, kShortestTimeout, kLongestTimeout, "TIMEOUT_MS",
                                 options.timeout_ms, problem);
      if (!ok) return Usage(problem);
    } else if (a == "--nts") {
      options.nts = true;
    } else if (a == "--ca-file") {
      if (i + 1 >= args.size()) return Usage("--ca-file needs a value");
      options.ca_file = args[++i];
    } else if (a.startsWith('-') && a.size() > 1) {
      return Usage(QString("unknown option %1").arg(a));
    } else if (options.host.isEmpty()) {
      options.host = a;
    } else {
      return Usage("only one HOST may be given");
    }
  }
  if (options.host.isEmpty()) return Usage("HOST is missing");
  if (options.nts && !options.host.startsWith("nts://", Qt::CaseInsensitive))
    options.host = "nts://" + options.host;
  if (options.port_given && options.host.startsWith("nts://", Qt::CaseInsensitive))
    return Usage(
        "-p cannot be used with an NTS host: its key establishment names the NTP port "
        "(write nts://NAME:PORT for the key-establishment port)");

  try {
    ntp::TNTPClient client;
    client.SetReceiveTimeout(options.timeout_ms);
    client.SetHost(options.host.toStdString());
    client.SetPort(options.port);
    client.Nts.SetCaFile(options.ca_file.toStdString());
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
        << "Reference ID: " << PrintableReference(QString::fromStdString(info.ReferenceID)) << "\n"
        << "Valid: " << (info.Valid ? "Yes" : "No") << "\n";
    return info.Valid ? kExitValid : kExitNoValidReply;
  } catch (const framework::Exception& e) {
    QTextStream(stderr) << QString::fromStdString(e.Message()) << "\n";
    return kExitError;
  }
}
