// Hosts asked with Network Time Security through the main window: written "nts://name[:port]"
// in the host box, the host list and the settings file, against a real chronyd serving NTS.
#include "app/TimeMain.h"

#include "app/HTEditHosts.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "components/Onoffbox.h"
#include "components/SpinButtons.h"
#include "framework/ApplicationHelp.h"
#include "framework/Timers.h"
#include "ntp/NTPClient.h"
#include "support/MainWindowFixture.h"
#include "support/NtsServer.h"

namespace {

// The window with its settings file in a temporary folder, its error boxes recorded, and an NTS
// server for the whole suite.
class NtsHosts : public testing_support::NtsServerSuite, public testing_support::MainWindowFixture {
 protected:
  void SetUp() override {
    NtsServerSuite::SetUp();
    if (HasFatalFailure()) return;
    framework::ApplicationHelp().SetHelpFile("Horaplex.chm");  // as the program entry does
    Start();
  }

  static QString Host() { return QString("nts://127.0.0.1:%1").arg(server_->KePort()); }
  // The section that trusts the tests' CA for `host`.
  static QByteArray CaSection(const QString& host) {
    return "[NtsCaFiles]\n" + host.toUtf8() + "=" + certificates_->CaFile().toUtf8() + "\n";
  }
  // What the displays say of an authenticated reply from the tests' chronyd.
  void ExpectAnsweredWithNts() {
    EXPECT_TRUE(ui().ValidOnOff->BoxOn());
    EXPECT_EQ(ui().VersionDis->Text(), "4");  // the authenticated request is NTPv4
    EXPECT_EQ(ui().StratumDis->Text(), "3");
    EXPECT_EQ(ui().ModeDis->Text(), "4");
    EXPECT_EQ(ui().NTPClient->Nts.Establishments(), 1);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  }
};

TEST_F(NtsHosts, ASavedNtsHostIsListedAskedWithNtsAndSavedAsWrittenAcrossRestarts) {
  const QByteArray ca = CaSection(Host());
  WriteSettings("[CurrentHosts]\nCount=2\nHost0=pool.ntp.org\nHost1=" + Host().toUtf8() +
                "\nCurrentInx=1\n" + ca);
  Start();
  EXPECT_EQ(ui().NTPClient->Nts.CaFileFor(*ntp::ParseNtsHost(Host().toStdString())),
            certificates_->CaFile().toStdString());
  ASSERT_EQ(ui().HostCombo->count(), 2);
  EXPECT_EQ(ui().HostCombo->itemText(1), Host());
  EXPECT_EQ(ui().HostCombo->currentText(), Host());
  GetTime();
  ExpectAnsweredWithNts();

  ui().SaveSettings1->trigger();
  const QByteArray saved = ReadSettings();
  EXPECT_TRUE(saved.startsWith(
      "[CurrentHosts]\nCount=2\nHost0=pool.ntp.org\nHost1=" + Host().toUtf8() + "\nCurrentInx=1\n"))
      << saved.toStdString();
  EXPECT_TRUE(saved.contains(ca)) << saved.toStdString();  // the user's section is kept

  Start();
  EXPECT_EQ(ui().HostCombo->currentIndex(), 1);
  EXPECT_EQ(ui().HostCombo->currentText(), Host());
  GetTime();
  ExpectAnsweredWithNts();
}

TEST_F(NtsHosts, ATypedNtsHostIsAskedWithNtsAndThePortFieldPlaysNoPart) {
  WriteSettings(CaSection(Host()));
  Start();
  // The scheme reads without regard to case; the server names the NTP port itself.
  const QString typed = "NTS://127.0.0.1:" + QString::number(server_->KePort());
  ui().HostCombo->setEditText(typed);
  ui().PortEdit->setText("9");
  GetTime();
  EXPECT_EQ(QString::fromStdString(ui().NTPClient->Host()), typed);
  ExpectAnsweredWithNts();
  // Typed, not listed: only the selection is saved, and the CA section is left as it was.
  ui().SaveSettings1->trigger();
  EXPECT_TRUE(ReadSettings().contains("CurrentInx=-1\n"));
  EXPECT_FALSE(ReadSettings().contains("Host18=" + typed.toUtf8()));
  EXPECT_TRUE(ReadSettings().contains(CaSection(Host())));
}

TEST_F(NtsHosts, AnUntrustedServerIsReportedAsAFailedCycleAndShowsNoTime) {
  // No CA named for the host: the system's trust store knows nothing of the tests' CA.
  WriteSettings(CaSection("nts://127.0.0.1:1"));
  Start();
  ui().HostCombo->setEditText(Host());
  ui().Timer1->SetEnabled(true);
  QTest::mouseClick(ui().AutoUpdateBtn, Qt::LeftButton);
  ASSERT_TRUE(ui().AutoUpdateBtn->isChecked());
  const bool valid_shown = ui().ValidOnOff->BoxOn();
  ui().Timer1->Tick();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].startsWith(
      QString("NTS key establishment: the certificate of 127.0.0.1:%1 is not trusted")
          .arg(server_->KePort())))
      << dialogs.errors[0].toStdString();
  EXPECT_EQ(ui().ValidOnOff->BoxOn(), valid_shown);  // nothing of a reply is shown
  EXPECT_TRUE(ui().VersionDis->Text().isEmpty());
  EXPECT_FALSE(ui().AutoUpdateBtn->isChecked());
  EXPECT_TRUE(ui().Timer1->Enabled());
  EXPECT_EQ(ui().NTPClient->Nts.Establishments(), 0);
}

}  // namespace
