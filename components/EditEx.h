#pragma once
// TCustomEditEx and TEditEx: an edit field whose text can be aligned left, right or centred and
// which reports each loss of the keyboard focus. The main window's value displays are TEditEx;
// the spin editors build on TCustomEditEx.
#include <QLineEdit>
#include <functional>

#include "framework/Controls.h"

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

}  // namespace components
