#include "app/HTEditHosts.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "support/FakeDialogs.h"

using app::THostEditDlg;
using testing_support::FakeDialogs;

namespace {

struct HostEditor : ::testing::Test {
  FakeDialogs dialogs;
  THostEditDlg dialog;
  void SetUp() override { dialog.show(); }
  void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
};

}  // namespace

TEST(FactoryHosts, EighteenDistinctServersWithTheTwelfthAsTheInsertDefault) {
  const QStringList& hosts = app::FactoryHosts();
  EXPECT_EQ(hosts.size(), 18);
  EXPECT_EQ(QSet<QString>(hosts.begin(), hosts.end()).size(), 18);
  for (const QString& host : hosts) EXPECT_LE(host.size(), 34) << host.toStdString();
  EXPECT_EQ(app::DefaultInsertHost(), hosts.at(11));
  QStringList list{"old"};
  app::SetFactoryHosts(list);
  EXPECT_EQ(list, hosts);
}

TEST_F(HostEditor, MovingUpAndDownSwapsWithTheNeighbourAndFollowsTheEntry) {
  dialog.SetLines({"a", "b", "c"}, 1);
  Click(dialog.MoveUpBtn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"b", "a", "c"}));
  EXPECT_EQ(dialog.Selected(), 0);
  Click(dialog.MoveUpBtn);  // already at the top
  EXPECT_EQ(dialog.Lines(), (QStringList{"b", "a", "c"}));
  Click(dialog.MoveDnBtn);
  Click(dialog.MoveDnBtn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"a", "c", "b"}));
  EXPECT_EQ(dialog.Selected(), 2);
  Click(dialog.MoveDnBtn);  // already at the bottom
  EXPECT_EQ(dialog.Selected(), 2);
  dialog.SetLines({"a", "b"}, -1);
  Click(dialog.MoveUpBtn);
  Click(dialog.MoveDnBtn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"a", "b"}));
}

TEST_F(HostEditor, DeletingSelectsTheEntryThatMovedUpOrTheNewLast) {
  dialog.SetLines({"a", "b", "c"}, 0);
  Click(dialog.Delete2Btn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"b", "c"}));
  EXPECT_EQ(dialog.Selected(), 0);
  dialog.SetLines({"a", "b", "c"}, 2);
  Click(dialog.Delete2Btn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"a", "b"}));
  EXPECT_EQ(dialog.Selected(), 1);
  dialog.SetLines({"only"}, 0);
  Click(dialog.Delete2Btn);
  EXPECT_TRUE(dialog.Lines().isEmpty());
  EXPECT_EQ(dialog.Selected(), -1);
  Click(dialog.Delete2Btn);  // nothing to delete
  EXPECT_TRUE(dialog.Lines().isEmpty());
}

TEST_F(HostEditor, InsertPutsTheTextBeforeTheSelectionOrAtTheEnd) {
  dialog.SetLines({"a", "b"}, 0);
  dialogs.answers = {QString("new.host"), QString(" spaced "), QString("new.host")};
  Click(dialog.InsertBtn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"new.host", "a", "b"}));
  ASSERT_EQ(dialogs.prompts.size(), 1u);
  EXPECT_EQ(dialogs.prompts[0].caption, "Insert New Host");
  EXPECT_EQ(dialogs.prompts[0].prompt, "Enter New Host URL");
  EXPECT_EQ(dialogs.prompts[0].value, app::DefaultInsertHost());
  dialog.HostsList->setCurrentRow(-1);
  Click(dialog.InsertBtn);  // nothing selected: at the end, unchanged
  Click(dialog.InsertBtn);  // duplicates are allowed
  EXPECT_EQ(dialog.Lines(), (QStringList{"new.host", "a", "b", " spaced ", "new.host"}));
}

TEST_F(HostEditor, ACancelledOrEmptyPromptInsertsNothing) {
  dialog.SetLines({"a"}, 0);
  dialogs.answers = {std::nullopt, QString("")};
  Click(dialog.InsertBtn);
  Click(dialog.InsertBtn);
  EXPECT_EQ(dialog.Lines(), QStringList{"a"});
}

TEST_F(HostEditor, DefRestoresTheFactoryListWithTheFirstSelected) {
  dialog.SetLines({"a", "b"}, 1);
  Click(dialog.DefaultBtn);
  EXPECT_EQ(dialog.Lines(), app::FactoryHosts());
  EXPECT_EQ(dialog.Selected(), 0);
}

TEST_F(HostEditor, OkAcceptsAndCancelRejects) {
  EXPECT_EQ(dialog.windowTitle(), "Edit Hosts");
  EXPECT_TRUE(dialog.OKBtn->isDefault());
  EXPECT_EQ(dialog.MoveUpBtn->toolTip(), "Move Item Up");
  EXPECT_EQ(dialog.Delete2Btn->toolTip(), "Delete Survey");
  EXPECT_EQ(dialog.DefaultBtn->toolTip(), "Load Factory Defaults");
  Click(dialog.OKBtn);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  dialog.show();
  Click(dialog.Button1);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}
