#pragma once
// TUpDownButton: two arrow buttons stacked in one control, with the keyboard and focus handling
// of the pair. The spin editors carry one at their right edge.
#include <QPointer>
#include <QWidget>
#include <functional>

#include "components/ArrowButton.h"
#include "framework/Controls.h"

namespace components {

// Two arrow buttons stacked in one control, with keyboard and focus handling.
class TUpDownButton : public QWidget, public framework::TControlLoading {
  Q_OBJECT
  Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)
 public:
  explicit TUpDownButton(QWidget* owner = nullptr);

  // Receives the focus when an arrow is pressed with the mouse.
  QWidget* FocusControl() const { return focusControl_; }
  void SetFocusControl(QWidget* control) { focusControl_ = control; }
  // True while either arrow is held by the mouse.
  bool Pressed() const;
  bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
  // Tab reaches a tab stop; a mouse press focuses it through the arrows' own handling.
  void SetTabStop(bool on) { setFocusPolicy(on ? Qt::TabFocus : Qt::NoFocus); }

  TArrowButton* UpArrowButton() const { return upArrowButton_; }
  TArrowButton* DownArrowButton() const { return downArrowButton_; }
  // The arrow that Space acts on.
  TArrowButton* ActiveArrow() const { return activeArrow_; }

  // Places the control; a width below 15 becomes 15.
  void SetBounds(int left, int top, int width, int height);

  std::function<void(QObject* Sender)> OnUpClick;
  std::function<void(QObject* Sender)> OnDownClick;

 protected:
  void Loaded() override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool ArrangeButtons(int& width, int& height);
  void ArrangeToSize();
  void ArrowClicked(QObject* sender);
  void ArrowMouseDown(QObject* sender, Qt::MouseButton button);
  void FocusArrow(TArrowButton* button);

  TArrowButton* upArrowButton_ = nullptr;
  TArrowButton* downArrowButton_ = nullptr;
  TArrowButton* activeArrow_ = nullptr;
  QPointer<QWidget> focusControl_;
};

}  // namespace components
