#pragma once
// A small panel that shows a two-state flag as a coloured box with a word in it, and that the
// user may toggle with the left mouse button.
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "framework/Graphics.h"

namespace components {

// Colours as the framework keeps them: red in the low byte.
using TColor = framework::TColor;

class TOnOffBox : public QWidget {
  Q_OBJECT
  Q_PROPERTY(bool BoxOn READ BoxOn WRITE SetBoxOn)
  Q_PROPERTY(QString OnString READ OnString WRITE SetOnString)
  Q_PROPERTY(QString OffString READ OffString WRITE SetOffString)
  Q_PROPERTY(uint OnColor READ OnColor WRITE SetOnColor)
  Q_PROPERTY(uint OffColor READ OffColor WRITE SetOffColor)
  Q_PROPERTY(bool UserChangeable READ UserChangeable WRITE SetUserChangeable)
  Q_PROPERTY(TPanelBevel BevelInner READ BevelInner WRITE SetBevelInner)
  Q_PROPERTY(TPanelBevel BevelOuter READ BevelOuter WRITE SetBevelOuter)
  Q_PROPERTY(int BevelWidth READ BevelWidth WRITE SetBevelWidth)
  Q_PROPERTY(int BorderWidth READ BorderWidth WRITE SetBorderWidth)
  Q_PROPERTY(bool Locked READ Locked WRITE SetLocked)

 public:
  // The panel's edges: none, sunk or raised.
  enum TPanelBevel { bvNone, bvLowered, bvRaised };
  Q_ENUM(TPanelBevel)

  using TNotifyEvent = std::function<void(QObject* Sender)>;
  // Button, the keyboard modifiers held, and the position in the box's pixels.
  using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                         Qt::KeyboardModifiers Shift, int X, int Y)>;
  using TMouseMoveEvent =
      std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;

  static constexpr TColor clLime = 0x00FF00;
  static constexpr TColor clRed = 0x0000FF;
  static constexpr TColor clSilver = 0xC0C0C0;

  explicit TOnOffBox(QWidget* owner = nullptr);

  bool BoxOn() const { return boxOn_; }
  // Redraws even when the state is unchanged; fires no event.
  void SetBoxOn(bool on);
  const QString& OnString() const { return onString_; }
  void SetOnString(const QString& text);
  const QString& OffString() const { return offString_; }
  void SetOffString(const QString& text);
  TColor OnColor() const { return onColor_; }
  void SetOnColor(TColor color);
  TColor OffColor() const { return offColor_; }
  void SetOffColor(TColor color);
  bool UserChangeable() const { return userChangeable_; }
  void SetUserChangeable(bool changeable);

  // The panel's own look.
  TPanelBevel BevelInner() const { return bevelInner_; }
  void SetBevelInner(TPanelBevel bevel);
  TPanelBevel BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TPanelBevel bevel);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int pixels);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int pixels);
  // Kept for window descriptions; it has no effect on the box.
  bool Locked() const { return locked_; }
  void SetLocked(bool locked) { locked_ = locked; }

  // What the box shows now; both are managed by the box itself.
  const QString& Caption() const { return caption_; }
  TColor Color() const { return color_; }

  QSize sizeHint() const override { return QSize(26, 26); }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TNotifyEvent OnResize;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

 protected:
  // The panel's own handling (OnMouseDown) first, then the left button toggles the state.
  virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void UpdateLook();

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool boxOn_ = true;
  QString onString_ = QStringLiteral("On");
  QString offString_ = QStringLiteral("Off");
  TColor onColor_ = clLime;
  TColor offColor_ = clRed;
  bool userChangeable_ = true;
  TPanelBevel bevelInner_ = bvNone;
  TPanelBevel bevelOuter_ = bvLowered;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
  bool locked_ = false;
  QString caption_;
  TColor color_ = clLime;
  // Set by a left press inside the box; a release inside it then is a click.
  bool clickPending_ = false;
};

}  // namespace components
