#include "framework/DisplayFormats.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace framework {

QString FormatFixed(double value, int decimals) {
  QString text = QString::number(value, 'f', decimals);
  // A value that rounds to zero is shown without a sign.
  if (text.startsWith('-') && !text.contains(QRegularExpression("[1-9]"))) text.remove(0, 1);
  const QString separator = QLocale::system().decimalPoint();
  if (separator != ".") text.replace('.', separator);
  return text;
}

QString FormatExponent(double value) {
  // "%.4e" gives d.dddde±XX; the exponent is rewritten without leading zeros.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4e", value);
  QString text = QString::fromLatin1(buffer);
  const qsizetype e = text.indexOf('e');
  if (e < 0) return text;  // inf or nan
  QString mantissa = text.left(e);
  const QChar sign = text.at(e + 1);
  const int exponent = std::abs(text.mid(e + 2).toInt());
  const QString separator = QLocale::system().decimalPoint();
  if (separator != ".") mantissa.replace('.', separator);
  return mantissa + "E" + sign + QString::number(exponent);
}

namespace {

// The long time format of the locale, without its time zone: a local date-time carries none.
QString LongTimePattern() {
  QString pattern = QLocale::system().timeFormat(QLocale::LongFormat);
  pattern.remove(QRegularExpression("\\s*\\(?t+\\)?"));
  return pattern.trimmed();
}

}  // namespace

QString FormatShortDate(TDateTime value) {
  const platform::SYSTEMTIME s = DateTimeToSystemTime(value);
  return QLocale::system().toString(QDate(s.wYear, s.wMonth, s.wDay), QLocale::ShortFormat);
}

QString FormatLongTime(TDateTime value) {
  const platform::SYSTEMTIME s = DateTimeToSystemTime(value);
  static const QString pattern = LongTimePattern();
  return QLocale::system().toString(QTime(s.wHour, s.wMinute, s.wSecond, s.wMilliseconds), pattern);
}

QString FormatTimeOfDay(double days) {
  const double fraction = days - std::trunc(days);  // keeps the sign of the value
  const double hours = fraction * 24.0;
  // Nearest millisecond, ties to even (the default rounding mode).
  const auto ms = static_cast<int64_t>(std::rint(std::fabs(hours) * 3600000.0));
  const int64_t h = ms / 3600000;
  const int64_t m = ms % 3600000 / 60000;
  const int64_t s = ms % 60000 / 1000;
  const int64_t milli = ms % 1000;
  QString text = (hours < 0 && ms > 0) ? "-" : "";
  text += QString("%1:%2:%3 %4")
              .arg(h)
              .arg(m, 2, 10, QChar('0'))
              .arg(s, 2, 10, QChar('0'))
              .arg(milli, 3, 10, QChar('0'));
  return text;
}

}  // namespace framework
