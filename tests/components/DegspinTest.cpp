#include "components/Degspin.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <cmath>
#include <vector>

#include "framework/FormatSettings.h"
#include "framework/Sound.h"
#include "support/SpinWindow.h"

using namespace components;

namespace {

constexpr int64_t kSecond = TDegreeSpin::TicksPerSecond;
constexpr int64_t kMinute = TDegreeSpin::TicksPerMinute;
constexpr int64_t kUnit = TDegreeSpin::TicksPerUnit;

// The hours spin of the auto-calibrate dialog's size, shown and active, recording its events.
class DegreeSpinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(300, 120);
    spin = new TDegreeSpin(&window);
    spin->setGeometry(10, 10, 216, 59);
    spin->OnChange = [this](QObject* sender) {
      EXPECT_EQ(sender, spin);
      events.push_back("change");
    };
    spin->OnLimit = [this](QObject*, bool upper) { events.push_back(upper ? "upper" : "lower"); };
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  QStringList Shown() const {
    return {spin->UnitsField()->Text(), spin->MinutesField()->Text(), spin->SecondsField()->Text()};
  }
  void TypeInto(TEditEx* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    testing_support::XKeyClick(field, Qt::Key_Delete, testing_support::kXDeleteText);
    QTest::keyClicks(field, text);
  }
  void Click(TUpDownButton* arrows, bool up) {
    TArrowButton* arrow = up ? arrows->UpArrowButton() : arrows->DownArrowButton();
    QTest::mouseClick(arrow, Qt::LeftButton, {}, arrow->rect().center());
  }
  void HoursLimits() {
    spin->SetUnitsString("Hours");
    spin->SetUseLimit(true);
    spin->SetMaxValue(24);
    spin->SetMinValue(0);
  }

  framework::ScopedUserLocale english{QLocale(QLocale::English, QLocale::UnitedStates)};
  QWidget window;
  TDegreeSpin* spin = nullptr;
  std::vector<std::string> events;
};

using Events = std::vector<std::string>;

// --- construction and layout ----------------------------------------------------------------

TEST_F(DegreeSpinTest, StartsAtZeroWithItsCaptions) {
  EXPECT_EQ(spin->Ticks(), 0);
  EXPECT_EQ(Shown(), QStringList({"0", "0", "0"}));
  EXPECT_EQ(spin->UnitsString(), "Deg");
  EXPECT_EQ(spin->MinutesLabel()->text(), "Min");
  EXPECT_EQ(spin->SecondsLabel()->text(), "Sec");
  EXPECT_EQ(spin->Digits(), 1);
  EXPECT_TRUE(spin->AutoCorrect());
  EXPECT_EQ(spin->SecInc(), 1.0);
  EXPECT_EQ(spin->LabelFont().family(), "Arial");
  EXPECT_EQ(spin->LabelFont().pointSize(), 8);
}

// Percent of the width for the units, minutes and seconds fields, by Digits.
constexpr int kShareTable[6][3] = {{36, 24, 24}, {32, 24, 28}, {30, 24, 30},
                                   {28, 24, 32}, {26, 24, 34}, {24, 24, 36}};

// To the nearest whole number, halves to even (the default rounding mode).
int RoundHalfEven(double x) {
  return static_cast<int>(std::nearbyint(x));
}

// Checks the nine children against the share table at the spin's present size, with the
// heights its own fields and labels have in this machine's fonts.
void ExpectArrangedByTheShareTable(const TDegreeSpin* spin) {
  const int w = spin->width();
  const int* share = kShareTable[spin->Digits()];
  const int wu = RoundHalfEven(w * share[0] / 100.0);
  const int wm = RoundHalfEven(w * share[1] / 100.0);
  const int ws = RoundHalfEven(w * share[2] / 100.0);
  const int g = (w - wu - wm - ws) / 4;
  const int lefts[] = {g + 1, wu + 2 * g + 1, wu + wm + 3 * g + 1};
  const int widths[] = {wu - 15, wm - 15, ws - 15};
  const TEditEx* fields[] = {spin->UnitsField(), spin->MinutesField(), spin->SecondsField()};
  const TUpDownButton* arrows[] = {spin->UnitsArrows(), spin->MinutesArrows(),
                                   spin->SecondsArrows()};
  const QLabel* labels[] = {spin->UnitsLabel(), spin->MinutesLabel(), spin->SecondsLabel()};
  const int fieldHeight = fields[0]->height();
  const int top =
      RoundHalfEven((spin->height() - fieldHeight - labels[0]->height() - 2) * 75 / 100.0);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(testing::Message()
                 << "width " << w << ", Digits " << spin->Digits() << ", field " << i);
    EXPECT_EQ(fields[i]->geometry(), QRect(lefts[i], top, widths[i], fields[i]->height()));
    EXPECT_EQ(arrows[i]->geometry(), QRect(lefts[i] + widths[i] - 1, top, 15, fields[i]->height()));
    EXPECT_EQ(labels[i]->pos(), QPoint(lefts[i], top + fields[i]->height()));
  }
}

TEST_F(DegreeSpinTest, TheApplicationsSpinHasItsFieldsWhereTheExampleSays) {
  // 216 px wide with one decimal: the lefts, widths and arrow places depend on the width alone.
  const TEditEx* fields[] = {spin->UnitsField(), spin->MinutesField(), spin->SecondsField()};
  const TUpDownButton* arrows[] = {spin->UnitsArrows(), spin->MinutesArrows(),
                                   spin->SecondsArrows()};
  const int lefts[] = {9, 86, 146};
  const int widths[] = {54, 37, 45};
  const int arrowLefts[] = {62, 122, 190};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fields[i]->x(), lefts[i]) << i;
    EXPECT_EQ(fields[i]->width(), widths[i]) << i;
    EXPECT_EQ(arrows[i]->x(), arrowLefts[i]) << i;
    EXPECT_EQ(arrows[i]->y(), fields[i]->y()) << i;
  }
  ExpectArrangedByTheShareTable(spin);
}

TEST_F(DegreeSpinTest, ArrangesTheFieldsByTheShareTableForEveryDigitsAndSize) {
  // 335 and 125 px put exact halves into the shares of Digits 2 and 4 (100.5 and 42.5).
  for (int width : {216, 335, 125, 400}) {
    for (int digits = 0; digits <= 5; ++digits) {
      spin->resize(width, 59);
      spin->SetDigits(digits);
      ExpectArrangedByTheShareTable(spin);
    }
  }
}

TEST_F(DegreeSpinTest, TheTopRoundsAHalfToEven) {
  // Heights whose free space, times 3/4, ends in exactly one half: 4.5 goes to 4, 7.5 to 8.
  const int used = spin->UnitsField()->height() + spin->UnitsLabel()->height() + 2;
  spin->resize(216, used + 6);
  EXPECT_EQ(spin->UnitsField()->y(), 4);
  spin->resize(216, used + 10);
  EXPECT_EQ(spin->UnitsField()->y(), 8);
  ExpectArrangedByTheShareTable(spin);
}

TEST_F(DegreeSpinTest, AFontChangeRearrangesWithTheNewHeights) {
  QFont big = spin->SpinFont();
  big.setPointSize(big.pointSize() * 2);
  const int before = spin->UnitsField()->height();
  spin->SetSpinFont(big);
  EXPECT_GT(spin->UnitsField()->height(), before);
  ExpectArrangedByTheShareTable(spin);
}

// --- showing the value ----------------------------------------------------------------------

TEST_F(DegreeSpinTest, SplitsTicksIntoUnitsMinutesAndSeconds) {
  QString u, m, s;
  spin->SplitTicks(372350000, u, m, s);
  EXPECT_EQ(QStringList({u, m, s}), QStringList({"1", "2", "3.5"}));
  spin->SplitTicks(-30 * kSecond, u, m, s);
  EXPECT_EQ(QStringList({u, m, s}), QStringList({"-0", "0", "30"}));
  spin->SplitTicks(-(kUnit + 5 * kMinute), u, m, s);
  EXPECT_EQ(QStringList({u, m, s}), QStringList({"-1", "5", "0"}));
  spin->SetDigits(5);
  spin->SplitTicks(12 * kSecond, u, m, s);
  EXPECT_EQ(s, "12");
  spin->SplitTicks(12 * kSecond + 7, u, m, s);
  EXPECT_EQ(s, "12.00007");
}

TEST_F(DegreeSpinTest, DigitsSetTheResolutionAndTheShownDecimals) {
  spin->SetDigits(3);
  spin->SetSeconds(1.5);
  EXPECT_EQ(Shown(), QStringList({"0", "0", "1.500"}));
  spin->SetDigits(0);
  spin->SetHours(0);
  TypeInto(spin->SecondsField(), "12.7");
  EXPECT_EQ(spin->Ticks(), 12 * kSecond);
  EXPECT_EQ(spin->SecondsField()->Text(), "12");
}

// --- carries --------------------------------------------------------------------------------

TEST_F(DegreeSpinTest, SeventyFiveMinutesCarryIntoTheUnits) {
  TypeInto(spin->MinutesField(), "75");
  EXPECT_EQ(Shown(), QStringList({"1", "15", "0"}));
  EXPECT_EQ(spin->Ticks(), kUnit + 15 * kMinute);
}

TEST_F(DegreeSpinTest, ASecondStepFromFiftyNineAndAHalfCarriesIntoTheMinutes) {
  spin->SetSeconds(59.5);
  events.clear();
  Click(spin->SecondsArrows(), true);
  EXPECT_EQ(Shown(), QStringList({"0", "1", "0.5"}));
  EXPECT_EQ(events, Events({"change"}));
}

TEST_F(DegreeSpinTest, SecondsAloneCarryIntoUnitsAndMinutes) {
  spin->SetHours(0);
  spin->SetMinutes(0);
  spin->SetSeconds(7200);
  EXPECT_EQ(Shown(), QStringList({"2", "0", "0"}));
  EXPECT_EQ(spin->Degrees(), 2.0);
  spin->SetSeconds(90);
  EXPECT_EQ(Shown(), QStringList({"2", "1", "30"}));
}

TEST_F(DegreeSpinTest, HalfSecondStepsFollowSecInc) {
  spin->SetSecInc(0.5);
  Click(spin->SecondsArrows(), true);
  Click(spin->SecondsArrows(), true);
  Click(spin->SecondsArrows(), true);
  EXPECT_EQ(spin->SecondsField()->Text(), "1.5");
  Click(spin->SecondsArrows(), false);
  EXPECT_EQ(spin->Ticks(), kSecond);
}

TEST_F(DegreeSpinTest, ANegativeValueBelowOneUnitKeepsItsSign) {
  TypeInto(spin->MinutesField(), "30");
  TypeInto(spin->UnitsField(), "-0");
  EXPECT_EQ(spin->Degrees(), -0.5);
  EXPECT_EQ(Shown(), QStringList({"-0", "30", "0"}));
  Click(spin->MinutesArrows(), true);
  EXPECT_EQ(Shown(), QStringList({"-0", "29", "0"}));
}

TEST_F(DegreeSpinTest, AClearedFieldChangesNothingUntilANumberIsTyped) {
  spin->SetSeconds(20);
  events.clear();
  TypeInto(spin->SecondsField(), "");
  EXPECT_EQ(spin->Ticks(), 20 * kSecond);
  EXPECT_TRUE(events.empty());
  QTest::keyClicks(spin->SecondsField(), "5");
  EXPECT_EQ(spin->Ticks(), 5 * kSecond);
}

TEST_F(DegreeSpinTest, OnlyNumberCharactersReachTheFieldsAndNothingBeeps) {
  int beeps = 0;
  framework::ScopedBeepHook hook([&] { ++beeps; });
  TypeInto(spin->SecondsField(), "1x2.5e");
  EXPECT_EQ(spin->SecondsField()->Text(), "12.5");
  EXPECT_EQ(beeps, 0);
}

TEST_F(DegreeSpinTest, DeleteAndBackspaceEditEachFieldAsXSendsThem) {
  int beeps = 0;
  framework::ScopedBeepHook hook([&] { ++beeps; });
  spin->SetSeconds(12.5);
  TEditEx* seconds = spin->SecondsField();
  seconds->setFocus();
  seconds->setCursorPosition(0);
  testing_support::XKeyClick(seconds, Qt::Key_Delete, testing_support::kXDeleteText);
  EXPECT_EQ(seconds->Text(), "2.5");
  EXPECT_EQ(spin->Ticks(), 2 * kSecond + kSecond / 2);
  seconds->setCursorPosition(3);
  testing_support::XKeyClick(seconds, Qt::Key_Backspace, '\b');
  EXPECT_EQ(spin->Ticks(), 2 * kSecond);
  TypeInto(spin->MinutesField(), "7");
  EXPECT_EQ(Shown(), QStringList({"0", "7", "2"}));
  EXPECT_EQ(beeps, 0);
}

TEST_F(DegreeSpinTest, EnormousSecondsAreIgnored) {
  spin->SetSeconds(3);
  events.clear();
  spin->SecondsField()->SetText("99999999999999999999");
  EXPECT_EQ(spin->Ticks(), 3 * kSecond);
  EXPECT_TRUE(events.empty());
}

// --- limits ---------------------------------------------------------------------------------

TEST_F(DegreeSpinTest, StepsAtTheLimitsAreHeldAndReported) {
  HoursLimits();
  spin->SetDegrees(23);
  events.clear();
  Click(spin->UnitsArrows(), true);
  EXPECT_EQ(spin->Degrees(), 24.0);
  EXPECT_EQ(events, Events({"change", "upper"}));
  Click(spin->UnitsArrows(), true);
  EXPECT_EQ(spin->Degrees(), 24.0);
  EXPECT_EQ(events, Events({"change", "upper", "change", "upper"}));
  spin->SetDegrees(0);
  events.clear();
  Click(spin->UnitsArrows(), false);
  EXPECT_EQ(spin->Degrees(), 0.0);
  EXPECT_EQ(events, Events({"change", "lower"}));
  events.clear();
  spin->SetDegrees(24);
  EXPECT_EQ(events, Events({"change", "upper"}));
}

TEST_F(DegreeSpinTest, TypingBeyondTheMaximumShowsTheMaximum) {
  HoursLimits();
  events.clear();
  TypeInto(spin->UnitsField(), "30");
  EXPECT_EQ(Shown(), QStringList({"24", "0", "0"}));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "upper");
}

TEST_F(DegreeSpinTest, ALimitHandlerCanCarryIntoAnotherQuantity) {
  HoursLimits();
  int days = 0;
  spin->OnLimit = [&](QObject*, bool upper) {
    if (upper) {
      ++days;
      spin->SetDegrees(0);
    }
  };
  spin->SetHours(23);
  spin->SetMinutes(59);
  spin->SetSeconds(59);
  Click(spin->SecondsArrows(), true);
  EXPECT_EQ(days, 1);
  EXPECT_EQ(Shown(), QStringList({"0", "0", "0"}));
}

TEST_F(DegreeSpinTest, BlockedEventsStillLimitAndShow) {
  HoursLimits();
  spin->SetBlockChangeEvent(true);
  events.clear();
  TypeInto(spin->UnitsField(), "30");
  Click(spin->UnitsArrows(), true);
  EXPECT_EQ(Shown(), QStringList({"24", "0", "0"}));
  EXPECT_TRUE(events.empty());
}

TEST_F(DegreeSpinTest, AWriteThatMustNotNotifyIsLimitedAndShownWithoutEvents) {
  HoursLimits();
  events.clear();
  spin->SetDegrees(30, TEmitPolicy::NeverEmit);
  EXPECT_EQ(Shown(), QStringList({"24", "0", "0"}));
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(spin->BlockChangeEvent());
  spin->SetDegrees(30, TEmitPolicy::EmitIfChanged);
  EXPECT_EQ(events, (Events{"change", "upper"}));
}

TEST_F(DegreeSpinTest, MovingALimitPastTheValuePullsItAlong) {
  spin->SetUseLimit(true);
  spin->SetMaxValue(10);
  spin->SetDegrees(2);
  spin->SetMinValue(5);
  EXPECT_EQ(spin->Degrees(), 5.0);
  spin->SetMinValue(0);
  spin->SetMaxValue(4);
  EXPECT_EQ(spin->Degrees(), 4.0);
}

TEST_F(DegreeSpinTest, WrapEndsInsideTheLimits) {
  spin->SetUseLimit(true);
  spin->SetWrap(true);
  spin->SetDegrees(5);  // limits 0 .. 0: nothing to wrap around, so clamped
  EXPECT_EQ(spin->Degrees(), 0.0);
  spin->SetMaxValue(24);
  spin->SetDegrees(25.5);
  EXPECT_EQ(spin->Degrees(), 1.5);
  spin->SetDegrees(-1);
  EXPECT_EQ(spin->Degrees(), 23.0);
  struct Case {
    double min, max, value;
  };
  const Case cases[] = {{10, 20, 39}, {10, 20, 5}, {-20, -10, 0}, {0, 24, -100}, {0, 24, 1e12}};
  for (const Case& c : cases) {
    spin->SetMaxValue(c.max);
    spin->SetMinValue(c.min);
    spin->SetDegrees(c.value);
    EXPECT_GE(spin->Degrees(), c.min) << c.value;
    EXPECT_LT(spin->Degrees(), c.max) << c.value;
  }
}

TEST_F(DegreeSpinTest, AWrapThatRoundsToTheMaximumTickShowsTheMinimum) {
  // A maximum of 1.55 ticks: a remainder of 1.5 ticks rounds up to 2, past the maximum.
  spin->SetDigits(5);
  spin->SetUseLimit(true);
  spin->SetWrap(true);
  const double max = 1.55 / kUnit;
  spin->SetMaxValue(max);
  for (int64_t ticks = 0; ticks <= 200; ++ticks) {
    spin->SetDegrees(static_cast<double>(ticks) / kUnit);
    EXPECT_LT(spin->Degrees(), max) << ticks;
    EXPECT_GE(spin->Ticks(), 0) << ticks;
  }
}

// --- AutoCorrect off ------------------------------------------------------------------------

TEST_F(DegreeSpinTest, WithoutAutoCorrectAnOutOfRangeEntryIsLeftStanding) {
  spin->SetAutoCorrect(false);
  spin->SetMinutes(7);
  events.clear();
  TypeInto(spin->MinutesField(), "75");
  EXPECT_EQ(spin->MinutesField()->Text(), "75");
  EXPECT_EQ(spin->Ticks(), 7 * kMinute);
  EXPECT_EQ(events.back(), "change");
  EXPECT_EQ(std::count(events.begin(), events.end(), "upper"), 0);
  spin->repaint();
  EXPECT_EQ(spin->MinutesField()->Text(), "7");
  TypeInto(spin->MinutesField(), "75");
  Click(spin->SecondsArrows(), true);
  EXPECT_EQ(Shown(), QStringList({"0", "7", "1"}));
}

// --- field writes and reads -----------------------------------------------------------------

TEST_F(DegreeSpinTest, FieldsReadAsNumbersOrZero) {
  spin->SetDegrees(-0.25);
  EXPECT_EQ(spin->Hours(), 0);
  EXPECT_EQ(spin->Minutes(), 15);
  spin->SetSeconds(12.5);
  EXPECT_EQ(spin->Seconds(), 12.5);
  spin->SecondsField()->SetText("");
  EXPECT_EQ(spin->Seconds(), 0.0);
}

TEST_F(DegreeSpinTest, DisablingDisablesAllNineChildren) {
  spin->setEnabled(false);
  EXPECT_FALSE(spin->UnitsField()->isEnabled());
  EXPECT_FALSE(spin->SecondsArrows()->isEnabled());
  EXPECT_FALSE(spin->MinutesLabel()->isEnabled());
  spin->setEnabled(true);
  EXPECT_TRUE(spin->SecondsArrows()->UpArrowButton()->isEnabled());
}

TEST_F(DegreeSpinTest, AlignmentAppliesToAllThreeFields) {
  spin->SetAlignment(framework::taRightJustify);
  EXPECT_TRUE(spin->UnitsField()->alignment() & Qt::AlignRight);
  EXPECT_TRUE(spin->SecondsField()->alignment() & Qt::AlignRight);
}

TEST_F(DegreeSpinTest, LoadingNeitherTakesFieldsNorNotifies) {
  spin->BeginLoading();
  spin->SetHours(5);
  spin->SetDegrees(3);
  spin->EndLoading();
  EXPECT_EQ(spin->Degrees(), 3.0);
  EXPECT_TRUE(events.empty());
}

}  // namespace
