#include "components/SpinButtons.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <cmath>
#include <optional>

#include "framework/Sound.h"

namespace components {

namespace {

// The key commands of the line edit, besides typing and Delete, that change its text.
bool IsTextCommand(const QKeyEvent* event) {
  for (QKeySequence::StandardKey command :
       {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
        QKeySequence::DeleteEndOfWord, QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfLine, QKeySequence::DeleteCompleteLine}) {
    if (event->matches(command)) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bounding

namespace {

// The two wraps of the bounding path, for min < max. Doubles are bounded in doubles. Whole
// numbers are bounded in unsigned 64-bit arithmetic: the difference of two 64-bit values needs
// 65 bits as a signed number, but a span max - min (1 … 2^64 - 1) and a distance from the
// minimum are exact as unsigned numbers, and a result within the limits converts back exactly.
template <class T>
struct TBoundArithmetic;

template <>
struct TBoundArithmetic<double> {
  // v - k * m for the k that leaves 0 <= r < m (m > 0).
  static double FlooredRemainder(double v, double m) {
    const double r = std::fmod(v, m);
    return r < 0 ? r + m : r;
  }
  static bool InRange(double r, double min, double max) { return r >= min && r < max; }
  // min + (v - min) mod (max - min). Doubles may round up to the maximum itself; the minimum
  // stands in then.
  static double BySpan(double v, double min, double max) {
    const double r = min + FlooredRemainder(v - min, max - min);
    return InRange(r, min, max) ? r : min;
  }
  // For v >= max > 0: the maximum taken off until below it, then the minimum added, when that
  // stays below the maximum.
  static std::optional<double> ByMaximum(double v, double min, double max) {
    const double r = FlooredRemainder(v, max) + min;
    if (!InRange(r, min, max)) return std::nullopt;
    return r;
  }
};

template <>
struct TBoundArithmetic<int64_t> {
  static int64_t BySpan(int64_t v, int64_t min, int64_t max) {
    const uint64_t span = uint64_t(max) - uint64_t(min);
    uint64_t above;  // (v - min) mod span, floored: 0 … span - 1
    if (v >= min) {
      above = (uint64_t(v) - uint64_t(min)) % span;
    } else {
      const uint64_t below = (uint64_t(min) - uint64_t(v)) % span;
      above = below == 0 ? 0 : span - below;
    }
    return int64_t(uint64_t(min) + above);
  }
  static std::optional<int64_t> ByMaximum(int64_t v, int64_t min, int64_t max) {
    const uint64_t rest = uint64_t(v % max);  // v >= max > 0, so 0 <= rest < max
    // min + rest < max, compared without forming the sum, which may not fit.
    if (rest >= uint64_t(max) - uint64_t(min)) return std::nullopt;
    return int64_t(uint64_t(min) + rest);
  }
};

}  // namespace

template <class T>
TBounded<T> BoundSpinValue(T v, T min, T max, bool wrap) {
  using Arithmetic = TBoundArithmetic<T>;
  TBounded<T> bounded{v};
  wrap = wrap && min < max;
  if (v >= max) {
    bounded.side = lsUpper;
    bounded.wrapped = wrap;
    if (!wrap) {
      bounded.value = max;
    } else if (const std::optional<T> r =
                   max > 0 ? Arithmetic::ByMaximum(v, min, max) : std::nullopt) {
      bounded.value = *r;
    } else {
      // Taking off the maximum would not end or would leave the limits.
      bounded.value = Arithmetic::BySpan(v, min, max);
    }
  }
  if (v < min) {
    bounded.side = lsLower;
    bounded.wrapped = wrap;
    // Reflected at the minimum and counted down from the maximum, max - (min - v), which for a
    // value less than one span below the minimum is the wrap by the span; further below, only
    // the wrap by the span stays within the limits.
    bounded.value = wrap ? Arithmetic::BySpan(v, min, max) : min;
  }
  return bounded;
}

template TBounded<int64_t> BoundSpinValue(int64_t, int64_t, int64_t, bool);
template TBounded<double> BoundSpinValue(double, double, double, bool);

// ---------------------------------------------------------------------------------------------
// TCustomSpin

namespace {
// px: the edit's 3-D border, inside which the arrows and the units panel sit.
constexpr int kClientInset = 2;
// px: gap kept between the text and the units panel or the arrows.
constexpr int kTextGap = 2;
// px: space around the units text when the panel fits it.
constexpr int kUnitsPadding = 6;
const QColor kUnitsEnabled(0, 0, 0);
const QColor kUnitsDisabled(0x80, 0x80, 0x80);
}  // namespace

TCustomSpin::TCustomSpin(QWidget* owner) : TCustomEditEx(owner) {
  spinButton_ = new TUpDownButton(this);
  spinButton_->resize(15, 17);
  spinButton_->setVisible(true);
  spinButton_->SetFocusControl(this);
  spinButton_->OnUpClick = [this](QObject*) { StepUp(); };
  spinButton_->OnDownClick = [this](QObject*) { StepDown(); };

  unitsPanel_ = new TDisPanel(this);
  unitsPanel_->resize(0, 17);
  unitsPanel_->setVisible(false);
  unitsPanel_->SetBevelInner(framework::bvNone);
  unitsPanel_->SetBevelOuter(framework::bvRaised);

  setText("0");
  Layout();
}

QString TCustomSpin::UnitsString() const {
  return unitsPanel_->Caption();
}

void TCustomSpin::SetUnitsString(const QString& units) {
  unitsPanel_->SetCaption(units);
  unitsPanel_->setVisible(!units.isEmpty());
  UpdateUnitsPanel();
}

void TCustomSpin::SetPanelWidth(int width) {
  if (width == panelWidth_) return;
  panelWidth_ = width;
  UpdateUnitsPanel();
}

void TCustomSpin::UpdateUnitsPanel() {
  const QString caption = unitsPanel_->Caption();
  int w = 0;
  if (!caption.isEmpty())
    w = panelWidth_ != 0 ? panelWidth_
                         : unitsPanel_->fontMetrics().horizontalAdvance(caption) + kUnitsPadding;
  unitsPanel_->resize(w, unitsPanel_->height());
  Layout();
}

void TCustomSpin::Layout() {
  // The least height that shows a line of text inside the border: font height, two border
  // lines of 1 px and 2 px of air.
  const int minimumHeight = Loading() ? 0 : fontMetrics().height() + 2 * 1 + 2;
  if (height() < minimumHeight) {
    resize(width(), minimumHeight);  // comes back here through resizeEvent
    if (height() < minimumHeight) return;
  }
  const int bw = spinButton_->width();
  spinButton_->setGeometry(width() - bw - kClientInset, kClientInset, bw,
                           height() - 2 * kClientInset);
  const int pw = unitsPanel_->width();
  unitsPanel_->setGeometry(spinButton_->x() - pw, spinButton_->y(), pw, spinButton_->height());
  SetTextArea();
}

void TCustomSpin::SetTextArea() {
  // Text stops short of the arrows and, when it shows, the units panel.
  const int right =
      spinButton_->width() + kTextGap + (unitsPanel_->isVisibleTo(this) ? unitsPanel_->width() : 0);
  setTextMargins(0, 0, right, 0);
}

void TCustomSpin::resizeEvent(QResizeEvent* event) {
  TCustomEditEx::resizeEvent(event);
  Layout();
}

void TCustomSpin::changeEvent(QEvent* event) {
  TCustomEditEx::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    unitsPanel_->SetFontColor(isEnabled() ? kUnitsEnabled : kUnitsDisabled);
    spinButton_->setEnabled(isEnabled());
    unitsPanel_->setEnabled(isEnabled());
  } else if (event->type() == QEvent::FontChange) {
    Layout();
  }
}

void TCustomSpin::NotifyWrap(TWrapMode mode) {
  if (OnWrap) OnWrap(this, mode);
}

void TCustomSpin::Change() {
  if (!blockChangeEvent_) TCustomEditEx::Change();
}

void TCustomSpin::DoEnter() {
  // Entering by an arrow click keeps the selection where the click leaves it.
  if (AutoSelect() && !QGuiApplication::mouseButtons().testFlag(Qt::LeftButton)) selectAll();
  TCustomEditEx::DoEnter();
}

void TCustomSpin::KeyDown(int& key, Qt::KeyboardModifiers shift) {
  if (key == Qt::Key_Up)
    StepUp();
  else if (key == Qt::Key_Down)
    StepDown();
  TCustomEditEx::KeyDown(key, shift);
}

void TCustomSpin::KeyPress(QChar& key) {
  if (!KeyAllowed(key)) {
    key = QChar();
    framework::Beep();
    return;
  }
  TCustomEditEx::KeyPress(key);
}

void TCustomSpin::keyPressEvent(QKeyEvent* event) {
  const bool deleteKey = event->matches(QKeySequence::Delete);
  if (!TextEditable() && (deleteKey || IsTextCommand(event))) {
    // With the editor disabled Delete is refused as the key filter refuses Backspace, with a
    // beep; the other commands that change the text are ignored, as pasting and cutting.
    if (deleteKey && !editorEnabled_) framework::Beep();
    event->accept();
    return;
  }
  TCustomEditEx::keyPressEvent(event);
  // The single-line edit has no use for Up and Down; they stepped the spin and must not go on
  // to scroll or move the focus in the window around it.
  if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) event->accept();
}

void TCustomSpin::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  if (!TextEditable()) {
    for (QAction* action : menu->actions()) {
      const QString name = action->objectName();
      if (name == "edit-paste" || name == "edit-cut" || name == "edit-delete" ||
          name == "edit-undo" || name == "edit-redo")
        action->setEnabled(false);
    }
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void TCustomSpin::mouseReleaseEvent(QMouseEvent* event) {
  // The middle button pastes the selection on X11.
  if (event->button() == Qt::MiddleButton && !TextEditable()) {
    event->accept();
    return;
  }
  TCustomEditEx::mouseReleaseEvent(event);
}

void TCustomSpin::dropEvent(QDropEvent* event) {
  if (!TextEditable()) {
    event->ignore();
    return;
  }
  TCustomEditEx::dropEvent(event);
}

}  // namespace components
