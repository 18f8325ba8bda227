#include "app/HTEditHosts.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "framework/SysUtils.h"
#include "platform/LastError.h"
#include "platform/PrivateProfile.h"
#include "platform/posix/PosixPrivateProfile.h"
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
  dialogs.answers = {QString(""), std::nullopt, QString("b")};
  Click(dialog.InsertBtn);
  EXPECT_EQ(dialog.Lines(), QStringList{"a"});
  Click(dialog.InsertBtn);  // cancelled: not even the offered host
  EXPECT_EQ(dialog.Lines(), QStringList{"a"});
  Click(dialog.InsertBtn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"b", "a"}));
}

namespace {

// Ctrl+click on a row, as a user deselects the selected entry of a single-selection list.
void CtrlClickRow(QListWidget* list, int row) {
  const QRect rect = list->visualItemRect(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
}

}  // namespace

TEST_F(HostEditor, ButtonsActOnTheEntryShownSelectedAndOnNothingWhenNoneIs) {
  dialog.SetLines({"a", "b", "c"}, -1);
  // A click selects the row the user sees selected.
  const QRect second = dialog.HostsList->visualItemRect(dialog.HostsList->item(1));
  QTest::mouseClick(dialog.HostsList->viewport(), Qt::LeftButton, {}, second.center());
  ASSERT_EQ(dialog.Selected(), 1);
  Click(dialog.MoveUpBtn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"b", "a", "c"}));
  // Ctrl+click deselects it; the row stays current but nothing is shown selected.
  CtrlClickRow(dialog.HostsList, 0);
  ASSERT_TRUE(dialog.HostsList->selectedItems().isEmpty());
  EXPECT_EQ(dialog.Selected(), -1);
  for (QAbstractButton* button : {static_cast<QAbstractButton*>(dialog.Delete2Btn),
                                  static_cast<QAbstractButton*>(dialog.MoveUpBtn),
                                  static_cast<QAbstractButton*>(dialog.MoveDnBtn)})
    Click(button);
  EXPECT_EQ(dialog.Lines(), (QStringList{"b", "a", "c"}));
  // Insert appends when nothing is selected.
  dialogs.answers = {QString("d")};
  Click(dialog.InsertBtn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"b", "a", "c", "d"}));
  // Selecting again makes the buttons act.
  CtrlClickRow(dialog.HostsList, 2);
  ASSERT_EQ(dialog.Selected(), 2);
  Click(dialog.Delete2Btn);
  EXPECT_EQ(dialog.Lines(), (QStringList{"b", "a", "d"}));
  EXPECT_EQ(dialog.Selected(), 2);
}

TEST_F(HostEditor, DefRestoresTheFactoryListWithTheFirstSelected) {
  dialog.SetLines({"a", "b"}, 1);
  Click(dialog.DefaultBtn);
  EXPECT_EQ(dialog.Lines(), app::FactoryHosts());
  EXPECT_EQ(dialog.Selected(), 0);
}

TEST_F(HostEditor, OkAcceptsAndCancelRejects) {
  EXPECT_EQ(dialog.windowTitle(), "Edit Hosts");
  EXPECT_EQ(dialog.OKBtn->text(), "OK");
  EXPECT_EQ(dialog.Button1->text(), "Cancel");
  EXPECT_EQ(dialog.DefaultBtn->text(), "Def");
  EXPECT_TRUE(dialog.DefaultBtn->font().bold());
  EXPECT_EQ(dialog.MoveDnBtn->toolTip(), "Move Item Down");
  EXPECT_EQ(dialog.InsertBtn->toolTip(), "Insert Item");
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

// --- The settings file ------------------------------------------------------------------------

namespace {

// Keeps the settings file in a fresh temporary folder, as if it were the user's configuration
// folder.
struct SettingsFile : ::testing::Test {
  QTemporaryDir config;
  platform::PosixPrivateProfile profile{config.path().toStdString()};
  platform::ScopedOverride<platform::PrivateProfileApi> installed{profile};
  QComboBox hosts;

  void SetUp() override { hosts.setEditable(true); }
  QString Path() const { return config.path() + "/Horatune.ini"; }
  void WriteFile(const QByteArray& text) {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }
  QByteArray ReadFile() const {
    QFile file(Path());
    file.open(QIODevice::ReadOnly);
    return file.readAll();
  }
  QStringList Items() const {
    QStringList items;
    for (int i = 0; i < hosts.count(); ++i) items << hosts.itemText(i);
    return items;
  }
};

// A private-profile area that reads the file but refuses every write.
class RefusingProfile : public platform::PrivateProfileApi {
 public:
  uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* fallback,
                                    char* returned, uint32_t size, const char* file) override {
    return real_.GetPrivateProfileStringA(section, key, fallback, returned, size, file);
  }
  bool WritePrivateProfileStringA(const char*, const char*, const char*, const char*) override {
    return false;
  }
  bool WritePrivateProfileSectionA(const char*, const char*, const char*) override {
    platform::SetLastError(13);
    return false;
  }
  std::string ProfilePath(const char* file) override { return real_.ProfilePath(file); }

 private:
  platform::PrivateProfileApi& real_ = platform::Current<platform::PrivateProfileApi>();
  platform::ScopedOverride<platform::PrivateProfileApi> installed_{*this};
};

}  // namespace

TEST_F(SettingsFile, WithoutAFileTheFactoryListStaysWithItsFirstEntrySelected) {
  app::InitHosts(hosts);
  EXPECT_EQ(Items(), app::FactoryHosts());
  EXPECT_EQ(hosts.currentIndex(), 0);
  EXPECT_EQ(hosts.currentText(), app::FactoryHosts().at(0));
}

TEST_F(SettingsFile, ListAndSelectionRoundTripInTheDescribedLayout) {
  hosts.addItems({"first.example", "second.example"});
  hosts.setCurrentIndex(1);
  app::SaveHosts(hosts);
  EXPECT_EQ(ReadFile().replace("\r\n", "\n"),
            "[CurrentHosts]\nCount=2\nHost0=first.example\nHost1=second.example\n"
            "CurrentInx=1\n");
  QComboBox loaded;
  loaded.setEditable(true);
  app::InitHosts(loaded);
  EXPECT_EQ(loaded.count(), 2);
  EXPECT_EQ(loaded.currentIndex(), 1);
  EXPECT_EQ(loaded.currentText(), "second.example");
}

TEST_F(SettingsFile, ATypedHostIsNotSavedOnlyNoSelection) {
  hosts.addItems({"a.example"});
  hosts.setCurrentIndex(0);
  hosts.setEditText("typed.example");
  EXPECT_EQ(app::SelectedHostIndex(hosts), -1);
  app::SaveHosts(hosts);
  QComboBox loaded;
  loaded.setEditable(true);
  app::InitHosts(loaded);
  EXPECT_EQ(loaded.count(), 1);
  EXPECT_EQ(loaded.currentIndex(), -1);
  EXPECT_EQ(loaded.currentText(), "");
}

TEST_F(SettingsFile, MissingKeysReadAsEmptyEntriesAndABadIndexSelectsNothing) {
  WriteFile("[currenthosts]\ncount=3\nHOST0=a.example\nHost2=c.example\nCurrentInx=3\n");
  app::InitHosts(hosts);
  EXPECT_EQ(Items(), (QStringList{"a.example", "", "c.example"}));
  EXPECT_EQ(hosts.currentIndex(), -1);
  EXPECT_EQ(hosts.currentText(), "");
}

TEST_F(SettingsFile, ACountOfZeroOrLessKeepsTheFactoryList) {
  for (const char* count : {"0", "-4", "many"}) {
    WriteFile(QByteArray("[CurrentHosts]\nCount=") + count + "\nHost0=x.example\nCurrentInx=0\n");
    app::InitHosts(hosts);
    EXPECT_EQ(Items(), app::FactoryHosts()) << count;
    EXPECT_EQ(hosts.currentIndex(), 0);
  }
  // An empty list saves as Count 0, so the next start uses the factory list.
  hosts.clear();
  app::SaveHosts(hosts);
  EXPECT_TRUE(ReadFile().contains("CurrentInx=-1"));
  app::InitHosts(hosts);
  EXPECT_EQ(Items(), app::FactoryHosts());
}

TEST_F(SettingsFile, AHugeCountTakesAtMostAThousandEntries) {
  WriteFile("[CurrentHosts]\nCount=2147483647\nHost0=a.example\nCurrentInx=0\n");
  app::InitHosts(hosts);
  EXPECT_EQ(hosts.count(), app::kMaxSavedHosts);
  EXPECT_EQ(hosts.itemText(0), "a.example");
}

TEST_F(SettingsFile, ARefusedWriteRaisesAndLeavesTheOldFile) {
  const QByteArray old = "[CurrentHosts]\nCount=1\nHost0=kept.example\nCurrentInx=0\n";
  WriteFile(old);
  RefusingProfile refusing;
  hosts.addItems({"new.example"});
  try {
    app::SaveHosts(hosts);
    FAIL() << "no exception";
  } catch (const framework::Exception& e) {
    EXPECT_EQ(QString::fromStdString(e.Message()), "Unable to write to " + Path());
  }
  EXPECT_EQ(ReadFile(), old);
}

TEST_F(SettingsFile, OkTakesTheEditedListAndSavesItCancelChangesNothing) {
  FakeDialogs dialogs;
  app::InitHosts(hosts);
  THostEditDlg dialog;
  QTimer::singleShot(0, &dialog, [&] {
    QTest::mouseClick(dialog.Delete2Btn, Qt::LeftButton);  // deletes the selected first entry
    QTest::mouseClick(dialog.Button1, Qt::LeftButton);
  });
  dialog.EditHosts(hosts);
  EXPECT_EQ(Items(), app::FactoryHosts());
  EXPECT_FALSE(QFile::exists(Path()));

  QTimer::singleShot(0, &dialog, [&] {
    QTest::mouseClick(dialog.Delete2Btn, Qt::LeftButton);
    QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
  });
  dialog.EditHosts(hosts);
  EXPECT_EQ(Items(), app::FactoryHosts().mid(1));
  EXPECT_EQ(hosts.currentIndex(), 0);
  EXPECT_TRUE(ReadFile().contains("Count=17"));

  // Def then OK restores and saves the factory list.
  QTimer::singleShot(0, &dialog, [&] {
    QTest::mouseClick(dialog.DefaultBtn, Qt::LeftButton);
    QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
  });
  dialog.EditHosts(hosts);
  EXPECT_EQ(Items(), app::FactoryHosts());
  EXPECT_TRUE(ReadFile().contains("Count=18"));

  // OK with nothing selected leaves the host box without a selection and empty.
  QTimer::singleShot(0, &dialog, [&] {
    dialog.HostsList->setCurrentRow(-1);
    QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
  });
  dialog.EditHosts(hosts);
  EXPECT_EQ(hosts.currentIndex(), -1);
  EXPECT_EQ(hosts.currentText(), "");
}
