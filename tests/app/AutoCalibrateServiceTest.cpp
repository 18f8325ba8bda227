// The Auto Calibrate dialog's note: the file it writes, and whether systemd-timesyncd, the one
// service that reads it, keeps the time.
#include <gtest/gtest.h>

#include <QLabel>
#include <string>
#include <vector>

#include "app/HTAutoCalibrate.h"
#include "platform/TimeService.h"

namespace {

class FakeTimeService : public platform::TimeServiceApi {
 public:
  platform::TimeServiceFacts facts;
  platform::TimeServiceFacts Facts() override { return facts; }
  platform::TimeServiceReply SetTime(int64_t, bool, bool) override { return {}; }
  platform::TimeServiceReply SetNTP(bool, bool) override { return {}; }

 private:
  platform::ScopedOverride<platform::TimeServiceApi> installed_{*this};
};

struct NoteRow {
  const char* name;
  bool told;  // bus and timedated answered
  bool servicesKnown;
  std::vector<std::string> services;
  const char* says;
};

class AutoCalibrateNote : public ::testing::TestWithParam<NoteRow> {};

TEST_P(AutoCalibrateNote, SaysTheFileAndWhetherTheIntervalIsUsed) {
  const NoteRow& row = GetParam();
  FakeTimeService service;
  service.facts.busReachable = row.told;
  service.facts.timedatedPresent = row.told;
  service.facts.servicesKnown = row.servicesKnown;
  service.facts.services = row.services;
  service.facts.reason = "no system bus";
  app::TAutoCalibrateDlg dialog;
  const int height = dialog.height();
  dialog.ShowServiceNote();
  const QString note = dialog.ServiceNote->text();
  EXPECT_TRUE(note.startsWith("Writes /etc/systemd/timesyncd.conf.d/tempomere.conf. "))
      << note.toStdString();
  EXPECT_TRUE(note.contains(row.says)) << note.toStdString();
  // The whole note is shown: the dialog grows by its wrapped height.
  EXPECT_GE(dialog.height() - height, dialog.ServiceNote->heightForWidth(228));
}

INSTANTIATE_TEST_SUITE_P(
    Services, AutoCalibrateNote,
    ::testing::Values(
        NoteRow{"TimesyncdInCharge", true, true, {"systemd-timesyncd"}, "keeps the time and uses"},
        NoteRow{"AnotherInCharge",
                true,
                true,
                {"chrony"},
                "chrony keeps the time, not systemd-timesyncd: the interval will not be used"},
        NoteRow{"TimesyncdBesideAnother",
                true,
                true,
                {"systemd-timesyncd", "ntpsec"},
                "runs beside ntpsec, which also steers"},
        NoteRow{"NoneRunning", true, true, {}, "systemd-timesyncd does not run"},
        NoteRow{"UnitsNotTold", true, false, {}, "does not say which service"},
        NoteRow{"BusNotTold", false, false, {}, "cannot be told (no system bus)"}),
    [](const ::testing::TestParamInfo<NoteRow>& info) { return info.param.name; });

}  // namespace
