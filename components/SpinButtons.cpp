#include "components/SpinButtons.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <cmath>
#include <optional>

#include "framework/Forms.h"
#include "framework/Sound.h"

namespace components {

namespace {

// The arrow triangle's colours: black, or grey (0x808080) when disabled.
const QColor kArrowEnabled(0, 0, 0);
const QColor kArrowDisabled(0x80, 0x80, 0x80);

// Whether a focus change came from moving between the window's controls, as opposed to the
// window itself losing or regaining the focus or a popup opening.
bool BetweenControls(const QFocusEvent* event) {
  return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

// Texts that X11 and Wayland attach to editing keys without their typing a character: Delete
// carries U+007F, and the C1 controls (U+0080 to U+009F) are never typed either. Such a key is
// an editing command for the edit, not a character for the key-press stage.
bool IsCommandText(QChar c) {
  return c.unicode() >= 0x7F && c.unicode() < 0xA0;
}

// The focus reasons on which the line edit would select all text by itself.
bool IsKeyboardEntry(Qt::FocusReason reason) {
  return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
         reason == Qt::ShortcutFocusReason;
}

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

bool IsTabStop(const QWidget* w) {
  return (w->focusPolicy() & Qt::TabFocus) != 0;
}
bool CanFocus(const QWidget* w) {
  return w->isVisible() && w->isEnabled();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCustomEditEx

TCustomEditEx::TCustomEditEx(QWidget* owner) : QLineEdit(owner) {
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  resize(121, height());
  AdjustHeight();
  // The text changes from Qt's own key handling as well as from code: the handlers it runs must
  // not unwind into the toolkit.
  connect(this, &QLineEdit::textChanged, this,
          [this] { framework::RunGuarded([this] { Change(); }); });
}

void TCustomEditEx::SetAlignment(framework::TAlignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  const Qt::Alignment horizontal = alignment == framework::taRightJustify ? Qt::AlignRight
                                   : alignment == framework::taCenter     ? Qt::AlignHCenter
                                                                          : Qt::AlignLeft;
  setAlignment(horizontal | Qt::AlignVCenter);
}

void TCustomEditEx::SetAutoSize(bool on) {
  if (on == autoSize_) return;
  autoSize_ = on;
  AdjustHeight();
}

void TCustomEditEx::AdjustHeight() {
  if (autoSize_) resize(width(), sizeHint().height());
}

void TCustomEditEx::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEditEx::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TCustomEditEx::DoExit() {
  if (OnExit) OnExit(this);
}

void TCustomEditEx::KeyDown(int& key, Qt::KeyboardModifiers shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TCustomEditEx::KeyPress(QChar& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

void TCustomEditEx::KeyUp(int& key, Qt::KeyboardModifiers shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TCustomEditEx::keyPressEvent(QKeyEvent* event) {
  framework::RunGuarded([&] { HandleKeyPress(event); });
}

void TCustomEditEx::HandleKeyPress(QKeyEvent* event) {
  // The key itself first, then the character it types, as the two stages of a key press.
  int key = event->key();
  KeyDown(key, event->modifiers());
  if (key == 0) {
    event->accept();
    return;
  }
  const QString text = event->text();
  if (text.size() == 1 && !IsCommandText(text[0])) {
    QChar character = text[0];
    // Ctrl with a letter types its control character (Ctrl+V is 22), whichever way the window
    // system spelled the text.
    if (event->modifiers().testFlag(Qt::ControlModifier) && character.unicode() < 128 &&
        character.isLetter())
      character = QChar(character.toUpper().unicode() - 'A' + 1);
    KeyPress(character);
    if (character.isNull()) {
      event->accept();
      return;
    }
    if (character != text[0] && character.unicode() >= 32) {
      QKeyEvent replaced(event->type(), event->key(), event->modifiers(), QString(character),
                         event->isAutoRepeat(), static_cast<quint16>(event->count()));
      QLineEdit::keyPressEvent(&replaced);
      event->setAccepted(replaced.isAccepted());
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

void TCustomEditEx::keyReleaseEvent(QKeyEvent* event) {
  framework::RunGuarded([&] {
    int key = event->key();
    KeyUp(key, event->modifiers());
    if (key == 0) {
      event->accept();
      return;
    }
    QLineEdit::keyReleaseEvent(event);
  });
}

void TCustomEditEx::focusInEvent(QFocusEvent* event) {
  framework::RunGuarded([&] {
    // The line edit selects all by itself when entered from the keyboard; whether to is
    // AutoSelect's choice.
    if (!autoSelect_ && IsKeyboardEntry(event->reason())) {
      QFocusEvent plain(event->type(), Qt::OtherFocusReason);
      QLineEdit::focusInEvent(&plain);
    } else {
      QLineEdit::focusInEvent(event);
    }
    if (!BetweenControls(event)) return;
    if (autoSelect_ && event->reason() != Qt::MouseFocusReason) selectAll();
    DoEnter();
  });
}

void TCustomEditEx::focusOutEvent(QFocusEvent* event) {
  framework::RunGuarded([&] {
    if (BetweenControls(event)) DoExit();
  });
  QLineEdit::focusOutEvent(event);
  framework::RunGuarded([&] {
    if (OnKillFocus) OnKillFocus(this);
  });
}

void TCustomEditEx::mousePressEvent(QMouseEvent* event) {
  QLineEdit::mousePressEvent(event);
  const QPoint p = event->position().toPoint();
  framework::RunGuarded([&] {
    if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
  });
}

void TCustomEditEx::mouseMoveEvent(QMouseEvent* event) {
  QLineEdit::mouseMoveEvent(event);
  const QPoint p = event->position().toPoint();
  framework::RunGuarded([&] {
    if (OnMouseMove) OnMouseMove(this, event->modifiers(), p.x(), p.y());
  });
}

void TCustomEditEx::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  const QPoint p = event->position().toPoint();
  framework::RunGuarded([&] {
    if (event->button() == Qt::LeftButton && rect().contains(p) && OnClick) OnClick(this);
    if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
  });
}

void TCustomEditEx::mouseDoubleClickEvent(QMouseEvent* event) {
  QLineEdit::mouseDoubleClickEvent(event);
  framework::RunGuarded([&] {
    if (OnDblClick) OnDblClick(this);
  });
}

void TCustomEditEx::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) AdjustHeight();
}

// ---------------------------------------------------------------------------------------------
// TArrowButton

void TArrowButton::SetUpArrow(bool up) {
  if (up == upArrow_) return;
  upArrow_ = up;
  update();
}

void TArrowButton::Paint(QPainter& painter) {
  TAutoButton::Paint(painter);
  const QColor colour = isEnabled() ? kArrowEnabled : kArrowDisabled;
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(colour, 0));
  painter.setBrush(colour);
  const int w = width();
  const int h = height();
  // A triangle 7 px wide and 4 rows high, centred; integer division truncates toward zero.
  const int left = (w - 7) / 2;
  if (upArrow_) {
    const int point = (h - 3) / 2 - 1;
    const QPoint corners[] = {{left, point + 3}, {left + 6, point + 3}, {left + 3, point}};
    painter.drawPolygon(corners, 3);
  } else {
    const int top = (h - 3) / 2;
    const QPoint corners[] = {{left, top}, {left + 6, top}, {left + 3, top + 3}};
    painter.drawPolygon(corners, 3);
  }
  if (!focusMark_) return;
  // The focus rectangle: the face shrunk by 3 px, following the face by (1, 1) when latched.
  QRect r = rect().adjusted(3, 3, -3, -3);
  if (Down()) r.translate(1, 1);
  // Dotted black on the white focus brush.
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::black, 0, Qt::DotLine));
  painter.drawRect(r.adjusted(0, 0, -1, -1));
}

// ---------------------------------------------------------------------------------------------
// TUpDownButton

namespace {
constexpr int kMinimumPairWidth = 15;  // px: narrower arrows have no room for the triangle
}

TUpDownButton::TUpDownButton(QWidget* owner) : QWidget(owner) {
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::NoFocus);
  setMinimumWidth(kMinimumPairWidth);
  auto makeArrow = [this](bool up) {
    auto* arrow = new TArrowButton(this);
    arrow->OnClick = [this](QObject* sender) { ArrowClicked(sender); };
    arrow->OnMouseDown = [this](QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers, int,
                                int) { ArrowMouseDown(sender, button); };
    arrow->SetDoRepeat(true);
    arrow->SetUpArrow(up);
    arrow->setVisible(true);
    return arrow;
  };
  upArrowButton_ = makeArrow(true);
  downArrowButton_ = makeArrow(false);
  activeArrow_ = upArrowButton_;
  resize(17, 23);
  ArrangeToSize();
}

bool TUpDownButton::Pressed() const {
  return upArrowButton_->MouseIsDown() || downArrowButton_->MouseIsDown();
}

bool TUpDownButton::ArrangeButtons(int& width, int& height) {
  if (!upArrowButton_ || !downArrowButton_ || Loading()) return false;
  if (width < kMinimumPairWidth) width = kMinimumPairWidth;
  upArrowButton_->setGeometry(0, 0, width, height / 2);
  // The lower button starts one row higher, so the two borders share a line.
  const int upperHeight = upArrowButton_->height();
  downArrowButton_->setGeometry(0, upperHeight - 1, width, height - upperHeight + 1);
  return true;
}

void TUpDownButton::SetBounds(int left, int top, int width, int height) {
  ArrangeButtons(width, height);
  setGeometry(left, top, width, height);
}

void TUpDownButton::ArrangeToSize() {
  int w = width();
  int h = height();
  if (ArrangeButtons(w, h) && (w != width() || h != height())) SetBounds(x(), y(), w, h);
}

void TUpDownButton::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ArrangeToSize();
}

void TUpDownButton::Loaded() {
  ArrangeToSize();
}

void TUpDownButton::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    upArrowButton_->setEnabled(isEnabled());
    downArrowButton_->setEnabled(isEnabled());
  }
}

void TUpDownButton::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  activeArrow_->SetFocusMark(true);
  activeArrow_->update();
}

void TUpDownButton::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  activeArrow_->SetFocusMark(false);
  activeArrow_->update();
}

void TUpDownButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
      activeArrow_->Click();
      break;
    case Qt::Key_Up:
      FocusArrow(upArrowButton_);
      upArrowButton_->Click();
      break;
    case Qt::Key_Down:
      FocusArrow(downArrowButton_);
      downArrowButton_->Click();
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void TUpDownButton::ArrowClicked(QObject* sender) {
  if (sender == upArrowButton_) {
    if (OnUpClick) OnUpClick(this);
  } else if (OnDownClick) {
    OnDownClick(this);
  }
}

void TUpDownButton::ArrowMouseDown(QObject* sender, Qt::MouseButton button) {
  if (button != Qt::LeftButton) return;
  FocusArrow(static_cast<TArrowButton*>(sender));
  QWidget* target = focusControl_;
  if (target && IsTabStop(target) && CanFocus(target) && !target->hasFocus()) {
    target->setFocus(Qt::MouseFocusReason);
  } else if (TabStop() && !hasFocus() && CanFocus(this)) {
    setFocus(Qt::MouseFocusReason);
  }
}

void TUpDownButton::FocusArrow(TArrowButton* button) {
  if (!TabStop() || !CanFocus(this) || button == activeArrow_) return;
  activeArrow_->SetFocusMark(false);
  activeArrow_->update();
  activeArrow_ = button;
  if (hasFocus()) {
    activeArrow_->SetFocusMark(true);
    update();
    activeArrow_->update();
  }
}

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
