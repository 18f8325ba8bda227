#pragma once
// The building blocks of the input controls: the edit field with alignment and a focus-loss
// event, the arrow buttons and their pair, the units panel, and the base of the single-field
// spin editors.
#include <QLineEdit>
#include <QPointer>
#include <cstdint>
#include <functional>

#include "components/Autobttn.h"
#include "framework/Controls.h"
#include "framework/Panels.h"

namespace components {

// An edit field whose text can be aligned left, right or centred, and which reports each loss
// of the keyboard focus.
class TCustomEditEx : public QLineEdit, public framework::TControlLoading {
  Q_OBJECT
  Q_PROPERTY(int Alignment READ AlignmentValue WRITE SetAlignmentValue)
  Q_PROPERTY(QString Text READ Text WRITE SetText)
  Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
  Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE SetAutoSelect)
  Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
 public:
  explicit TCustomEditEx(QWidget* owner = nullptr);

  framework::TAlignment Alignment() const { return alignment_; }
  // Takes effect at once; the same value changes nothing.
  void SetAlignment(framework::TAlignment alignment);

  QString Text() const { return text(); }
  void SetText(const QString& text) { setText(text); }
  bool ReadOnly() const { return isReadOnly(); }
  void SetReadOnly(bool on) { setReadOnly(on); }
  int MaxLength() const { return maxLength(); }
  void SetMaxLength(int length) { setMaxLength(length > 0 ? length : 32767); }
  // All text is selected when the field is entered by keyboard.
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool on) { autoSelect_ = on; }
  // The height follows the font.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  // A tab stop takes the focus from Tab and from clicks; otherwise from neither.
  bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
  void SetTabStop(bool on) { setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus); }

  std::function<void(QObject* Sender)> OnChange;
  std::function<void(QObject* Sender)> OnClick;
  std::function<void(QObject* Sender)> OnDblClick;
  std::function<void(QObject* Sender)> OnEnter;
  std::function<void(QObject* Sender)> OnExit;
  std::function<void(QObject* Sender)> OnKillFocus;
  // Key is the Qt key code; setting it to 0 consumes the key.
  std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)> OnKeyDown;
  std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)> OnKeyUp;
  // Key is the typed character; setting it to 0 drops it.
  std::function<void(QObject* Sender, QChar& Key)> OnKeyPress;
  std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                     int Y)>
      OnMouseDown;
  std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)> OnMouseMove;
  std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                     int Y)>
      OnMouseUp;

 protected:
  // The text changed, by any means.
  virtual void Change();
  // The focus came from or went to another control of the window.
  virtual void DoEnter();
  virtual void DoExit();
  virtual void KeyDown(int& key, Qt::KeyboardModifiers shift);
  virtual void KeyPress(QChar& key);
  virtual void KeyUp(int& key, Qt::KeyboardModifiers shift);

  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void HandleKeyPress(QKeyEvent* event);
  int AlignmentValue() const { return alignment_; }
  void SetAlignmentValue(int value) { SetAlignment(static_cast<framework::TAlignment>(value)); }
  void AdjustHeight();

  framework::TAlignment alignment_ = framework::taLeftJustify;
  bool autoSelect_ = true;
  bool autoSize_ = true;
};

class TEditEx : public TCustomEditEx {
  Q_OBJECT
 public:
  explicit TEditEx(QWidget* owner = nullptr) : TCustomEditEx(owner) {}
};

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
