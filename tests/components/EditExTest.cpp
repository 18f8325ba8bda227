// The edit field with alignment and a focus-loss event, driven by keys and focus changes as a
// window gives them.
#include "components/EditEx.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include "framework/SysUtils.h"
#include "support/FakeDialogs.h"
#include "support/SpinWindow.h"

using namespace components;

namespace {

using testing_support::kXDeleteText;
using testing_support::XKeyClick;

using testing_support::Activate;

// ---------------------------------------------------------------------------------------------
// TEditEx

TEST(EditEx, AlignmentTakesEffectAtOnce) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  window.show();
  EXPECT_EQ(edit->Alignment(), framework::taLeftJustify);
  EXPECT_TRUE(edit->alignment() & Qt::AlignLeft);
  edit->SetAlignment(framework::taRightJustify);
  EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
  edit->SetAlignment(framework::taCenter);
  EXPECT_TRUE(edit->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(edit->property("Alignment").toInt(), framework::taCenter);
}

TEST(EditEx, SettingTheSameAlignmentLeavesTheFieldAlone) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  Activate(window);
  edit->setFocus();
  edit->SetText("12345");
  edit->setSelection(1, 2);
  edit->SetAlignment(framework::taLeftJustify);
  EXPECT_EQ(edit->selectionStart(), 1);
  EXPECT_EQ(edit->selectedText(), "23");
  EXPECT_TRUE(edit->hasFocus());
}

TEST(EditEx, ReportsEveryLossOfFocusAfterTheExit) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  auto* other = new TEditEx(&window);
  other->move(0, 40);
  QStringList events;
  edit->OnExit = [&](QObject*) { events << "exit"; };
  edit->OnKillFocus = [&](QObject* sender) {
    EXPECT_EQ(sender, edit);
    events << "kill";
  };
  Activate(window);
  edit->setFocus();
  other->setFocus();
  EXPECT_EQ(events, QStringList({"exit", "kill"}));
  edit->setFocus();
  other->setFocus();
  EXPECT_EQ(events.count("kill"), 2);
}

TEST(EditEx, KeyPressHandlerCanDropOrReplaceCharacters) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  edit->OnKeyPress = [](QObject*, QChar& key) {
    if (key == 'x') key = QChar();
    if (key == 'a') key = 'A';
  };
  Activate(window);
  edit->setFocus();
  QTest::keyClicks(edit, "axb");
  EXPECT_EQ(edit->Text(), "Ab");
}

TEST(EditEx, DeleteAsXSendsItDeletesEvenWithACharacterFilter) {
  // A filter that passes digits and control characters only, as the hours fields have.
  QWidget window;
  auto* edit = new TEditEx(&window);
  int filtered = 0;
  edit->OnKeyPress = [&](QObject*, QChar& key) {
    ++filtered;
    if (!key.isDigit() && key.unicode() >= 32) key = QChar();
  };
  Activate(window);
  edit->setFocus();
  edit->SetText("1234");
  edit->setCursorPosition(1);
  XKeyClick(edit, Qt::Key_Delete, kXDeleteText);
  EXPECT_EQ(edit->Text(), "134");
  EXPECT_EQ(filtered, 0);  // Delete types no character
  XKeyClick(edit, Qt::Key_Backspace, '\b');
  EXPECT_EQ(edit->Text(), "34");
  EXPECT_EQ(filtered, 1);  // Backspace does
}

TEST(EditEx, CtrlWithALetterTypesItsControlCharacterHoweverItIsSpelled) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  std::vector<int> typed;
  edit->OnKeyPress = [&](QObject*, QChar& key) { typed.push_back(key.unicode()); };
  Activate(window);
  edit->setFocus();
  XKeyClick(edit, Qt::Key_V, 0x16, Qt::ControlModifier);  // as X spells it
  XKeyClick(edit, Qt::Key_V, 'v', Qt::ControlModifier);   // as the letter
  XKeyClick(edit, Qt::Key_A, 'A', Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(typed, std::vector<int>({22, 22, 1}));
}

TEST(EditEx, AutoSelectDecidesWhetherTabbingInSelects) {
  QWidget window;
  auto* first = new TEditEx(&window);
  auto* edit = new TEditEx(&window);
  edit->move(0, 40);
  edit->SetText("hello");
  Activate(window);
  first->setFocus();
  edit->SetAutoSelect(false);
  XKeyClick(first, Qt::Key_Tab, '\t');
  ASSERT_TRUE(edit->hasFocus());
  EXPECT_FALSE(edit->hasSelectedText());
  XKeyClick(edit, Qt::Key_Backtab, '\t', Qt::ShiftModifier);
  ASSERT_TRUE(first->hasFocus());
  edit->SetAutoSelect(true);
  XKeyClick(first, Qt::Key_Tab, '\t');
  ASSERT_TRUE(edit->hasFocus());
  EXPECT_EQ(edit->selectedText(), "hello");
}

TEST(EditEx, FailingHandlersShowTheirMessagesAndTheFieldGoesOn) {
  testing_support::FakeDialogs dialogs;
  QWidget window;
  auto* edit = new TEditEx(&window);
  auto* other = new TEditEx(&window);
  other->move(0, 40);
  edit->OnKeyDown = [](QObject*, int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_F2) throw framework::Exception("key down failed");
  };
  edit->OnChange = [&](QObject*) {
    if (edit->Text() == "13") throw framework::Exception("change failed");
  };
  edit->OnExit = [](QObject*) { throw framework::Exception("exit failed"); };
  int kills = 0;
  edit->OnKillFocus = [&](QObject*) { ++kills; };
  Activate(window);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_F2);
  QTest::keyClicks(edit, "134");
  EXPECT_EQ(edit->Text(), "134");
  other->setFocus();
  EXPECT_EQ(dialogs.errors, QStringList({"key down failed", "change failed", "exit failed"}));
  EXPECT_TRUE(other->hasFocus());
  EXPECT_EQ(kills, 1);
}

TEST(EditEx, AutoSizeFollowsTheFont) {
  QWidget window;
  auto* edit = new TEditEx(&window);
  const int normal = edit->height();
  QFont big = edit->font();
  big.setPointSize(big.pointSize() * 3);
  edit->setFont(big);
  EXPECT_GT(edit->height(), normal);
  EXPECT_EQ(edit->height(), edit->sizeHint().height());
}

}  // namespace
