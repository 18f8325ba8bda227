// tempomere-query --time-service, run as a user runs it, against the test's private system bus
// (the tool inherits the test's DBUS_SYSTEM_BUS_ADDRESS and is kept to it).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/dbus/DBusTimeService.h"
#include "support/PrivateSystemBus.h"

namespace {

using nlohmann::json;
using testing_support::PrivateSystemBus;

struct ToolRow {
  const char* name;
  bool bus, timedated, systemd, ntp;
  // Expected, as JSON values (null: unknown).
  json ntpOn, services;
  const char* textService;  // the text form's "Service:" line
};

class QueryTimeService : public ::testing::TestWithParam<ToolRow> {};

struct Output {
  int exit_code = -1;
  std::string out;
};

Output RunTool(const QStringList& args) {
  QProcess process;
  process.start(QCoreApplication::applicationDirPath() + "/tempomere-query", args);
  Output output;
  if (!process.waitForFinished(20000)) process.kill();
  output.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  output.out = process.readAllStandardOutput().toStdString();
  return output;
}

TEST_P(QueryTimeService, PrintsWhatTheSystemTellsAndNoMore) {
  const ToolRow& row = GetParam();
  PrivateSystemBus bus(row.bus);
  ASSERT_STREQ(std::getenv(platform::dbus::kOnlyBusVariable), bus.Address().c_str());
  if (row.bus) {
    ASSERT_TRUE(bus.Ready()) << bus.Problem();
    if (row.timedated) {
      ASSERT_TRUE(bus.StartMock("mock_timedated.py",
                                std::string("{\"NTP\": ") + (row.ntp ? "true" : "false") + "}",
                                "org.freedesktop.timedate1"))
          << bus.Problem();
    }
    if (row.systemd) {
      ASSERT_TRUE(bus.StartMock("mock_systemd.py", "{\"active\": [\"chrony.service\"]}",
                                "org.freedesktop.systemd1"))
          << bus.Problem();
    }
  }

  const Output text = RunTool({"--time-service"});
  EXPECT_EQ(text.exit_code, 0);
  EXPECT_NE(text.out.find("Time Service: "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(std::string("Service: ") + row.textService + "\n"), std::string::npos)
      << text.out;

  const Output jsonRun = RunTool({"--time-service", "--json"});
  EXPECT_EQ(jsonRun.exit_code, 0);
  const json document = json::parse(jsonRun.out, nullptr, false);
  ASSERT_FALSE(document.is_discarded()) << jsonRun.out;
  const json& facts = document["timeService"];
  EXPECT_EQ(facts["busReachable"], row.bus);
  EXPECT_EQ(facts["timedatedPresent"], row.bus && row.timedated);
  EXPECT_EQ(facts["ntp"], row.ntpOn);
  EXPECT_EQ(facts["services"], row.services);
  EXPECT_EQ(facts["reason"].is_null(), row.bus && row.timedated);
  EXPECT_EQ(facts["summary"].get<std::string>() + "\n",
            text.out.substr(std::string("Time Service: ").size(),
                            text.out.find('\n') + 1 - std::string("Time Service: ").size()));
}

INSTANTIATE_TEST_SUITE_P(
    States, QueryTimeService,
    ::testing::Values(
        ToolRow{"SynchronisingWithChrony", true, true, true, true, true, json::array({"chrony"}),
                "chrony"},
        ToolRow{"Off", true, true, true, false, false, json::array({"chrony"}), "chrony"},
        ToolRow{"SystemdAbsent", true, true, false, true, true, nullptr, "cannot tell"},
        ToolRow{"TimedatedAbsent", true, false, true, false, nullptr, nullptr, "cannot tell"},
        ToolRow{"BusAbsent", false, false, false, false, nullptr, nullptr, "cannot tell"}),
    [](const ::testing::TestParamInfo<ToolRow>& info) { return info.param.name; });

TEST(QueryTimeServiceOptions, TakesNoHostAndNoCsv) {
  PrivateSystemBus bus(false);
  EXPECT_EQ(RunTool({"--time-service", "localhost"}).exit_code, 2);
  EXPECT_EQ(RunTool({"--time-service", "--csv"}).exit_code, 2);
}

}  // namespace
