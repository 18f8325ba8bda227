#include "components/UpDownButton.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace components {

namespace {

bool IsTabStop(const QWidget* w) {
  return (w->focusPolicy() & Qt::TabFocus) != 0;
}
bool CanFocus(const QWidget* w) {
  return w->isVisible() && w->isEnabled();
}

constexpr int kMinimumPairWidth = 15;  // px: narrower arrows have no room for the triangle

}  // namespace

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

}  // namespace components
