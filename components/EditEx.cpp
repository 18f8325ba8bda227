#include "components/EditEx.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include "framework/Forms.h"

namespace components {

namespace {

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

}  // namespace

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

}  // namespace components
