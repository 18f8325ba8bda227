#include "components/SampleLog.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>

using components::CsvField;
using components::CsvNumber;
using components::CsvSeconds;
using components::IsoUtc;
using components::RoundSeconds;
using components::SampleLogCsv;
using components::TSample;
using components::TSampleLog;

TEST(SampleLogCsv, FieldsAreQuotedOnlyWhenTheyMustBe) {
  EXPECT_EQ(CsvField("pool.ntp.org"), "pool.ntp.org");
  EXPECT_EQ(CsvField("[::1]"), "[::1]");
  EXPECT_EQ(CsvField(""), "");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(CsvField("cr\rhere"), "\"cr\rhere\"");
  EXPECT_EQ(CsvField("\""), "\"\"\"\"");
}

TEST(SampleLogCsv, NumbersHaveAPointWhateverTheLocaleAndReadBackExactly) {
  // A locale with a decimal comma, where the machine has one; the result must not change.
  const std::string before = std::setlocale(LC_ALL, nullptr);
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "C"}) {
    std::setlocale(LC_ALL, name);
    EXPECT_EQ(CsvNumber(-1.25), "-1.25");
    EXPECT_EQ(CsvNumber(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(CsvNumber(0), "0");
    EXPECT_EQ(CsvNumber(3456), "3456");
  }
  std::setlocale(LC_ALL, before.c_str());
  // Read back by the locale-independent reader: std::stod would follow the process's locale.
  for (double value : {1e-9, -123.456789, 2.5e-7, 86400.001, std::ldexp(1.0, -20)}) {
    const std::string text = CsvNumber(value);
    double back = 0;
    const std::from_chars_result read =
        std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(read.ptr, text.data() + text.size()) << text;
    EXPECT_EQ(back, value) << text;
  }
  EXPECT_EQ(CsvNumber(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(CsvNumber(-std::numeric_limits<double>::infinity()), "-inf");
}

// Figures in seconds at the resolution they stand for: no noise digits of the date-time
// arithmetic, no exponent, no signed zero, a "." in any locale; and the number a JSON writer is
// given is the one CSV shows.
TEST(SampleLogCsv, SecondsAreWrittenToTheirResolution) {
  const struct {
    double seconds;
    int decimals;
    const char* csv;
  } rows[] = {
      {0.00199971254914999, 6, "0.002"},
      {-0.2504996722564101, 6, "-0.2505"},
      {-0.0, 6, "0"},
      {-0.0000004, 6, "0"},  // rounds to zero: no sign
      {1e-6, 6, "0.000001"},
      {-2.0000015000001, 6, "-2.000002"},
      {1e20, 6, "100000000000000000000"},
      {-0.25275837149, 9, "-0.252758371"},
      {2.5e-7, 9, "0.00000025"},
      {-0.0000000004, 9, "0"},
      {std::numeric_limits<double>::infinity(), 6, "inf"},
  };
  const std::string before = std::setlocale(LC_ALL, nullptr);
  for (const char* name : {"de_DE.UTF-8", "C"}) {
    std::setlocale(LC_ALL, name);
    for (const auto& row : rows) {
      const std::string text = CsvSeconds(row.seconds, row.decimals);
      EXPECT_EQ(text, row.csv) << row.seconds;
      const double rounded = RoundSeconds(row.seconds, row.decimals);
      double back = 0;
      std::from_chars(text.data(), text.data() + text.size(), back);
      EXPECT_EQ(back, rounded) << text;
      if (rounded == 0) {
        EXPECT_FALSE(std::signbit(rounded)) << row.seconds;
      }
    }
  }
  std::setlocale(LC_ALL, before.c_str());
}

TEST(SampleLogCsv, TimesAreIsoUtcToTheMillisecond) {
  EXPECT_EQ(IsoUtc(0), "1970-01-01T00:00:00.000Z");
  // 2026-03-01 12:00:00.250 UTC
  EXPECT_EQ(IsoUtc(1772366400250), "2026-03-01T12:00:00.250Z");
  // 951782400 s is 2000-02-29 00:00 UTC, a leap day.
  EXPECT_EQ(IsoUtc(951782400000 - 1), "2000-02-28T23:59:59.999Z");
  EXPECT_EQ(IsoUtc(951782400000), "2000-02-29T00:00:00.000Z");
  EXPECT_EQ(IsoUtc(951782400000 + 86400000), "2000-03-01T00:00:00.000Z");
  EXPECT_EQ(IsoUtc(-1), "1969-12-31T23:59:59.999Z");
  // Past the 2036 NTP era boundary.
  EXPECT_EQ(IsoUtc(2085978496000), "2036-02-07T06:28:16.000Z");
}

TEST(SampleLog, KeepsTheAcceptedSamplesInOrderUntilCleared) {
  TSampleLog log;
  EXPECT_EQ(SampleLogCsv(log), "utc_time,host,computer_error,round_trip_delay\r\n");
  log.Add({1772366400250, "a.example", -0.5, 0.012});
  // Noise of a microsecond and more around the half millisecond the figures stand for.
  log.Add({1772366401250, "x,\"y\"", 0.0005012, 0.0009987});
  log.Add({1772366402250, "b.example", -0.2504996722564101, 0.00199971254914999});
  log.Add({1772366403250, "b.example", -0.0, 0});  // the error of an empty record: -0 s
  EXPECT_EQ(log.Count(), 4);
  EXPECT_EQ(SampleLogCsv(log),
            "utc_time,host,computer_error,round_trip_delay\r\n"
            "2026-03-01T12:00:00.250Z,a.example,-0.5,0.012\r\n"
            "2026-03-01T12:00:01.250Z,\"x,\"\"y\"\"\",0.0005,0.001\r\n"
            "2026-03-01T12:00:02.250Z,b.example,-0.2505,0.002\r\n"
            "2026-03-01T12:00:03.250Z,b.example,0,0\r\n");
  log.Clear();
  EXPECT_EQ(log.Count(), 0);
  EXPECT_TRUE(log.Samples().empty());
}
