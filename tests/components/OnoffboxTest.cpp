#include "components/Onoffbox.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <memory>

using components::TColor;
using components::TOnOffBox;

namespace {

// Counts the paints that reach the box, to tell a requested repaint from one done at once.
class CountingBox : public TOnOffBox {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    ++paints;
    TOnOffBox::paintEvent(event);
  }
};

TColor PixelAt(QWidget& widget, int x, int y) {
  const QImage image = widget.grab().toImage();
  const QColor c = image.pixelColor(x, y);
  return static_cast<TColor>(c.red() | c.green() << 8 | c.blue() << 16);
}

class OnOffBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box = std::make_unique<CountingBox>();
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->paints > 0; }, 5000));
  }

  // A writer asks for a repaint and leaves the painting to the event loop.
  void ExpectRepaintRequested(const std::function<void()>& write) {
    const int before = box->paints;
    write();
    EXPECT_EQ(box->paints, before) << "painted at once";
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->paints > before; }, 5000)) << "never repainted";
  }

  std::unique_ptr<CountingBox> box;
};

}  // namespace

// ---- creation --------------------------------------------------------------------------------

TEST(OnOffBoxDefaults, StartsOnInLimeWithItsPanelSettings) {
  TOnOffBox box;
  EXPECT_TRUE(box.BoxOn());
  EXPECT_EQ(box.OnString(), "On");
  EXPECT_EQ(box.OffString(), "Off");
  EXPECT_EQ(box.OnColor(), 0x00FF00u);
  EXPECT_EQ(box.OffColor(), 0x0000FFu);
  EXPECT_TRUE(box.UserChangeable());
  EXPECT_EQ(box.width(), 26);
  EXPECT_EQ(box.height(), 26);
  EXPECT_EQ(box.BevelInner(), TOnOffBox::bvNone);
  EXPECT_EQ(box.BevelOuter(), TOnOffBox::bvLowered);
  EXPECT_FALSE(box.Locked());
  EXPECT_EQ(box.Caption(), "On");
  EXPECT_EQ(box.Color(), 0x00FF00u);
}

TEST(OnOffBoxDefaults, PaintsItsColourInsideALoweredBevel) {
  TOnOffBox box;
  EXPECT_EQ(PixelAt(box, 2, 2), 0x00FF00u);
  EXPECT_EQ(PixelAt(box, 0, 0), 0x808080u);    // shadow on the top-left edge
  EXPECT_EQ(PixelAt(box, 25, 25), 0xFFFFFFu);  // light on the bottom-right edge
  box.SetBoxOn(false);
  EXPECT_EQ(PixelAt(box, 2, 2), 0x0000FFu);
}

TEST(OnOffBoxDefaults, PropertiesAreSetByName) {
  TOnOffBox box;
  EXPECT_TRUE(box.setProperty("OnString", QStringLiteral("Yes")));
  EXPECT_TRUE(box.setProperty("OffString", QStringLiteral("No")));
  EXPECT_TRUE(box.setProperty("BoxOn", false));
  EXPECT_TRUE(box.setProperty("OffColor", 0x00FFFFu));
  EXPECT_EQ(box.Caption(), "No");
  EXPECT_EQ(box.Color(), 0x00FFFFu);
  EXPECT_EQ(box.property("BoxOn").toBool(), false);
}

// ---- the user toggling -----------------------------------------------------------------------

TEST_F(OnOffBoxTest, LeftClickTogglesBeforeTheClickHandlerRuns) {
  bool stateAtMouseDown = false;
  bool stateAtClick = true;
  QPoint pressedAt;
  int clicks = 0;
  box->OnMouseDown = [&](QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers, int x,
                         int y) {
    EXPECT_EQ(sender, box.get());
    EXPECT_EQ(button, Qt::LeftButton);
    pressedAt = QPoint(x, y);
    stateAtMouseDown = box->BoxOn();
  };
  box->OnClick = [&](QObject* sender) {
    EXPECT_EQ(sender, box.get());
    stateAtClick = box->BoxOn();
    ++clicks;
  };
  QTest::mouseClick(box.get(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
  EXPECT_EQ(pressedAt, QPoint(5, 6));
  EXPECT_TRUE(stateAtMouseDown) << "the framework's mouse-down comes before the toggle";
  EXPECT_FALSE(stateAtClick) << "the click handler sees the new state";
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(box->Caption(), "Off");
  EXPECT_EQ(box->Color(), 0x0000FFu);

  QTest::mouseClick(box.get(), Qt::LeftButton);
  EXPECT_TRUE(box->BoxOn());
  EXPECT_TRUE(stateAtClick);
  EXPECT_EQ(clicks, 2);
}

TEST_F(OnOffBoxTest, RightButtonNeverToggles) {
  int downs = 0, clicks = 0;
  box->OnMouseDown = [&](QObject*, Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
    EXPECT_EQ(button, Qt::RightButton);
    ++downs;
  };
  box->OnClick = [&](QObject*) { ++clicks; };
  QTest::mouseClick(box.get(), Qt::RightButton);
  EXPECT_TRUE(box->BoxOn());
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(clicks, 0);
}

TEST_F(OnOffBoxTest, NotUserChangeableStillReportsPressAndClick) {
  box->SetUserChangeable(false);
  int downs = 0, clicks = 0;
  box->OnMouseDown = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++downs; };
  box->OnClick = [&](QObject*) { ++clicks; };
  QTest::mouseClick(box.get(), Qt::LeftButton);
  EXPECT_TRUE(box->BoxOn());
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(clicks, 1);
}

TEST_F(OnOffBoxTest, ReleaseOutsideTheBoxIsNoClick) {
  int clicks = 0;
  box->OnClick = [&](QObject*) { ++clicks; };
  QTest::mousePress(box.get(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QTest::mouseRelease(box.get(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
  EXPECT_FALSE(box->BoxOn()) << "the press alone toggles";
  EXPECT_EQ(clicks, 0);
}

TEST_F(OnOffBoxTest, DisabledBoxIgnoresTheMouse) {
  box->setEnabled(false);
  int clicks = 0;
  box->OnClick = [&](QObject*) { ++clicks; };
  QTest::mouseClick(box.get(), Qt::LeftButton);
  EXPECT_TRUE(box->BoxOn());
  EXPECT_EQ(clicks, 0);
}

// ---- writers ---------------------------------------------------------------------------------

TEST_F(OnOffBoxTest, WritersRequestARepaint) {
  ExpectRepaintRequested([&] { box->SetBoxOn(false); });
  ExpectRepaintRequested([&] { box->SetBoxOn(false); });  // equal state still redraws
  ExpectRepaintRequested([&] { box->SetOffString("No"); });
  ExpectRepaintRequested([&] { box->SetOffColor(0x00FFFF); });
  ExpectRepaintRequested([&] { box->SetOnColor(0xFF0000); });
  ExpectRepaintRequested([&] { box->SetUserChangeable(false); });
  ExpectRepaintRequested([&] { box->SetBevelOuter(TOnOffBox::bvRaised); });
  EXPECT_EQ(PixelAt(*box, 2, 2), 0x00FFFFu);
  EXPECT_EQ(PixelAt(*box, 0, 0), 0xFFFFFFu);  // raised: light on the top-left edge
}

TEST(OnOffBoxWriters, OnStringShowsAtOnceOnlyWhileOn) {
  TOnOffBox box;
  box.SetOnString("Yes");
  EXPECT_EQ(box.Caption(), "Yes");
  box.SetOffString("No");
  EXPECT_EQ(box.Caption(), "Yes") << "the off text waits until the box is off";
  box.SetBoxOn(false);
  EXPECT_EQ(box.Caption(), "No");
  box.SetOnString("Ja");
  EXPECT_EQ(box.Caption(), "No");
  box.SetBoxOn(true);
  EXPECT_EQ(box.Caption(), "Ja");
}

TEST(OnOffBoxWriters, DisabledBoxTurnsSilverAndKeepsItsCaption) {
  TOnOffBox box;
  box.setEnabled(false);
  EXPECT_EQ(box.Color(), 0x00FF00u) << "disabling alone does not recolour";
  box.SetBoxOn(false);
  EXPECT_EQ(box.Color(), 0xC0C0C0u);
  EXPECT_EQ(box.Caption(), "On");
  EXPECT_EQ(PixelAt(box, 2, 2), 0xC0C0C0u);

  box.setEnabled(true);
  EXPECT_EQ(box.Color(), 0xC0C0C0u) << "enabling alone does not recolour";
  box.SetBoxOn(false);  // the same state, written again, redraws
  EXPECT_EQ(box.Color(), 0x0000FFu);
  EXPECT_EQ(box.Caption(), "Off");
}

TEST(OnOffBoxWriters, ColourWritersActOnlyOnAChange) {
  TOnOffBox box;
  box.setEnabled(false);
  box.SetOnColor(0x00FF00);  // unchanged: the look is not rebuilt, so it does not turn silver
  box.SetUserChangeable(true);
  EXPECT_EQ(box.Color(), 0x00FF00u);
  box.SetOffColor(0x123456);  // changed: rebuilt, and disabled means silver
  EXPECT_EQ(box.Color(), 0xC0C0C0u);
  box.setEnabled(true);
  box.SetOnColor(0x00FFFF);
  EXPECT_EQ(box.Color(), 0x00FFFFu);
}
