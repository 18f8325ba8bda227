#include "components/SampleLog.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>

using components::CsvField;
using components::CsvNumber;
using components::IsoUtc;
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
  log.Add({1772366401250, "x,\"y\"", 1e-6, 0});
  EXPECT_EQ(log.Count(), 2);
  EXPECT_EQ(SampleLogCsv(log),
            "utc_time,host,computer_error,round_trip_delay\r\n"
            "2026-03-01T12:00:00.250Z,a.example,-0.5,0.012\r\n"
            "2026-03-01T12:00:01.250Z,\"x,\"\"y\"\"\",1e-06,0\r\n");
  log.Clear();
  EXPECT_EQ(log.Count(), 0);
  EXPECT_TRUE(log.Samples().empty());
}
