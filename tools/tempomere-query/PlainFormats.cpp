#include "tools/tempomere-query/PlainFormats.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tempomere_query {

namespace {

// Whether a number's text shows anything but zeros.
bool ShowsNonZero(std::string_view text) {
  return text.find_first_of("123456789") != std::string_view::npos;
}

}  // namespace

std::string PlainFixed(double value, int decimals) {
  char buffer[400];  // the longest double in "%f" has 309 digits before the point
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text = buffer;
  // A value that rounds to zero is shown without a sign.
  if (!text.empty() && text.front() == '-' && !ShowsNonZero(text)) text.erase(0, 1);
  return text;
}

std::string PlainExponent(double value) {
  // "%.4e" gives d.dddde±XX; the exponent is rewritten without leading zeros.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4e", value);
  const std::string text = buffer;
  const std::size_t e = text.find('e');
  if (e == std::string::npos || e + 2 > text.size()) return text;  // inf or nan
  const int exponent = std::abs(std::atoi(text.c_str() + e + 2));
  return text.substr(0, e) + "E" + text[e + 1] + std::to_string(exponent);
}

std::string PlainShortDate(framework::TDateTime value) {
  const platform::SYSTEMTIME s = framework::DateTimeToSystemTime(value);
  if (s.wYear == 0) return {};
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u", unsigned{s.wYear}, unsigned{s.wMonth},
                unsigned{s.wDay});
  return buffer;
}

std::string PlainLongTime(framework::TDateTime value) {
  const platform::SYSTEMTIME s = framework::DateTimeToSystemTime(value);
  if (s.wYear == 0) return {};
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", unsigned{s.wHour}, unsigned{s.wMinute},
                unsigned{s.wSecond});
  return buffer;
}

std::string PlainTimeOfDay(double days) {
  const double fraction = days - std::trunc(days);  // keeps the sign of the value
  const double hours = fraction * 24.0;
  // Nearest millisecond, ties to even (the default rounding mode).
  const auto ms = static_cast<int64_t>(std::rint(std::fabs(hours) * 3600000.0));
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s%lld:%02lld:%02lld %03lld",
                (hours < 0 && ms > 0) ? "-" : "", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms % 3600000 / 60000),
                static_cast<long long>(ms % 60000 / 1000), static_cast<long long>(ms % 1000));
  return buffer;
}

}  // namespace tempomere_query
