// The main window's host box with the hosts the time query takes besides names and dotted
// quads: IPv6 addresses, bare or in brackets.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "app/TimeMain.h"
#include "components/Onoffbox.h"
#include "framework/ApplicationHelp.h"
#include "framework/Timers.h"
#include "support/FakeSntpServer.h"
#include "support/MainWindowFixture.h"

using testing_support::FakeSntpServer;
using testing_support::ReplySpec;

namespace {

struct HostBox : testing_support::MainWindowTest {
  QString Typed(const QString& text) {
    QLineEdit* edit = form->Controls().HostCombo->lineEdit();
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    return edit->text();
  }
};

}  // namespace

TEST_F(HostBox, AnIPv6AddressMayBeTypedWholeWhileNamesStopAtThirtyFour) {
  const QString longest = "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255";  // 45 characters
  EXPECT_EQ(Typed(longest), longest);
  EXPECT_EQ(Typed("[" + longest + "]"), "[" + longest + "]");
  EXPECT_EQ(Typed("[2001:0db8:0000:0000:0000:ff00:0042:8329]"),
            "[2001:0db8:0000:0000:0000:ff00:0042:8329]");
  EXPECT_EQ(Typed(QString(40, 'x')), QString(app::kHostTypedLength, 'x'));
  EXPECT_EQ(Typed(QString(60, ':')), QString(47, ':'));
}

TEST_F(HostBox, GetTimeAsksAServerOnTheIPv6Loopback) {
  if (!FakeSntpServer::IPv6LoopbackAvailable()) GTEST_SKIP() << "this machine has no ::1";
  FakeSntpServer server("::1", 0);
  ReplySpec plan;
  plan.offset_seconds = 1;
  for (const QString& host : {QString("::1"), QString("[::1]")}) {
    server.ThenReply(plan);
    form->Controls().HostCombo->setEditText(host);
    form->Controls().PortEdit->setText(QString::number(server.Port()));
    QTest::mouseClick(form->Controls().Button1, Qt::LeftButton);
    EXPECT_TRUE(form->Controls().ValidOnOff->BoxOn()) << host.toStdString();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  }
  EXPECT_EQ(server.RequestCount(), 2);
}
