#pragma once
// The base of the single-field spin editors, the units panel they show, and the one bounding
// path of every spin. The edit field (EditEx.h) and the arrow pair (UpDownButton.h) that the
// spins are built from have rooms of their own and come with this header, so that a spin sees
// the whole family through it.
#include <cstdint>
#include <functional>

#include "components/EditEx.h"
#include "components/UpDownButton.h"
#include "framework/Panels.h"

namespace components {

// The panel that spin editors show their units text in.
class TDisPanel : public framework::TPanel {
  Q_OBJECT
 public:
  explicit TDisPanel(QWidget* owner = nullptr) : framework::TPanel(owner) {}
};

enum TWrapMode { wmUpper, wmLower };

// Which limit a value reached or passed.
enum TLimitSide { lsNone, lsUpper, lsLower };

// A value after the limits, with the side it reached or passed and whether it wrapped.
template <class T>
struct TBounded {
  T value;
  TLimitSide side = lsNone;
  bool wrapped = false;
};

// The one bounding path of the spin editors, for 64-bit whole numbers and for doubles.
// Reaching the maximum counts as passing it. Without wrap a value at or above the maximum
// becomes the maximum and one below the minimum the minimum. With wrap the maximum is taken
// off until the value is below it and the minimum is added (so the maximum itself never
// shows), and a value below the minimum is reflected at it and counted down from the maximum:
// with limits 0 .. 60, 60 gives 0, 61 gives 1, -1 gives 59. Where that would not end or would
// leave the range (limits not straddling 0), the value wraps by the span instead:
// min + (v - min) mod (max - min). Equal or crossed limits leave nothing to wrap around and
// clamp (crossed ones to the minimum). With ordered limits the result always lies within them;
// a NaN passes unchanged.
template <class T>
TBounded<T> BoundSpinValue(T v, T min, T max, bool wrap);
extern template TBounded<int64_t> BoundSpinValue(int64_t, int64_t, int64_t, bool);
extern template TBounded<double> BoundSpinValue(double, double, double, bool);

// Whether a value the program writes is told to the owner, as Qt's spin boxes choose between
// emitting when the value changed and never emitting. NeverEmit is for a write the owner does
// not want to hear of: a start value set before the owner takes its part from it, or a value
// the owner has already taken in.
enum class TEmitPolicy { EmitIfChanged, NeverEmit };

// The one way a write is kept from the owner: for the guard's lifetime, with NeverEmit, the
// control's BlockChangeEvent is on, so the write runs its whole path (limits, text, the value
// following the text) but OnChange does not fire, nor the hours spin's OnLimit. Afterwards
// BlockChangeEvent is what it was, also when the write throws. Serves every control that has
// BlockChangeEvent: the single-field spins and the hours-and-degrees spin.
template <class Control>
class TEmitGuard {
 public:
  TEmitGuard(Control& control, TEmitPolicy policy)
      : control_(control), blocked_(control.BlockChangeEvent()) {
    if (policy == TEmitPolicy::NeverEmit) control_.SetBlockChangeEvent(true);
  }
  ~TEmitGuard() { control_.SetBlockChangeEvent(blocked_); }
  TEmitGuard(const TEmitGuard&) = delete;
  TEmitGuard& operator=(const TEmitGuard&) = delete;

 private:
  Control& control_;
  bool blocked_;
};

// Base of the single-field spin editors: an edit with an arrow pair at its right edge and a
// units panel left of it.
class TCustomSpin : public TCustomEditEx {
  Q_OBJECT
  Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)
  Q_PROPERTY(bool UseLimit READ UseLimit WRITE SetUseLimit)
  Q_PROPERTY(QString UnitsString READ UnitsString WRITE SetUnitsString)
  Q_PROPERTY(int PanelWidth READ PanelWidth WRITE SetPanelWidth)
  Q_PROPERTY(bool BlockChangeEvent READ BlockChangeEvent WRITE SetBlockChangeEvent)
  Q_PROPERTY(bool Wrap READ Wrap WRITE SetWrap)
 public:
  explicit TCustomSpin(QWidget* owner = nullptr);

  // When false the text cannot be typed into, pasted or cut; arrows and keys still step.
  bool EditorEnabled() const { return editorEnabled_; }
  void SetEditorEnabled(bool on) { editorEnabled_ = on; }
  bool UseLimit() const { return useLimit_; }
  void SetUseLimit(bool on) { useLimit_ = on; }
  // The units panel's caption; the panel shows exactly when it is not empty.
  QString UnitsString() const;
  void SetUnitsString(const QString& units);
  // Width of the units panel in pixels; 0 fits the text.
  int PanelWidth() const { return panelWidth_; }
  void SetPanelWidth(int width);
  // Suppresses OnChange entirely.
  bool BlockChangeEvent() const { return blockChangeEvent_; }
  void SetBlockChangeEvent(bool on) { blockChangeEvent_ = on; }
  bool Wrap() const { return wrap_; }
  void SetWrap(bool on) { wrap_ = on; }

  TUpDownButton* SpinButton() const { return spinButton_; }
  TDisPanel* UnitsPanel() const { return unitsPanel_; }

  // One step up or down, as an arrow click or the Up and Down keys give.
  virtual void StepUp() = 0;
  virtual void StepDown() = 0;
  // Whether a typed character may enter the text.
  virtual bool KeyAllowed(QChar key) = 0;

  std::function<void(QObject* Sender, TWrapMode WrapMode)> OnWrap;

 protected:
  void NotifyWrap(TWrapMode mode);
  // The value after the limits in force: unchanged without UseLimit, else bounded, and a wrap
  // reported through OnWrap.
  template <class T>
  T LimitValue(T v, T min, T max) {
    if (!useLimit_) return v;
    const TBounded<T> bounded = BoundSpinValue(v, min, max, wrap_);
    if (bounded.wrapped) NotifyWrap(bounded.side == lsUpper ? wmUpper : wmLower);
    return bounded.value;
  }
  void Change() override;
  void DoEnter() override;
  void KeyDown(int& key, Qt::KeyboardModifiers shift) override;
  void KeyPress(QChar& key) override;
  // Pasting and cutting change the text only when it may be edited.
  bool TextEditable() const { return editorEnabled_ && !isReadOnly(); }

  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void UpdateUnitsPanel();
  void Layout();
  void SetTextArea();

  TUpDownButton* spinButton_ = nullptr;
  TDisPanel* unitsPanel_ = nullptr;
  bool editorEnabled_ = true;
  bool useLimit_ = false;
  int panelWidth_ = 0;
  bool blockChangeEvent_ = false;
  bool wrap_ = false;
};

}  // namespace components