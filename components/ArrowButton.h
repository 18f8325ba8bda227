#pragma once
// TArrowButton: the auto-repeat button of the spin editors' arrow pair, which paints a small
// triangle pointing up or down and, while its pair has the focus, a focus rectangle.
#include "components/Autobttn.h"

namespace components {

// An auto-repeat button that paints a small triangle pointing up or down.
class TArrowButton : public TAutoButton {
  Q_OBJECT
  Q_PROPERTY(bool UpArrow READ UpArrow WRITE SetUpArrow)
 public:
  explicit TArrowButton(QWidget* owner = nullptr) : TAutoButton(owner) {}

  bool UpArrow() const { return upArrow_; }
  void SetUpArrow(bool up);

  // Set by the owning pair while this is its active button and the pair has the focus.
  bool FocusMark() const { return focusMark_; }
  void SetFocusMark(bool on) { focusMark_ = on; }

 protected:
  void Paint(QPainter& painter) override;

 private:
  bool upArrow_ = false;
  bool focusMark_ = false;
};

}  // namespace components
