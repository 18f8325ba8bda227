#pragma once
// The framework's panel: a rectangle with an outer and an inner bevel and a caption.
#include <QFrame>
#include <QString>

#include "framework/Controls.h"

namespace framework {

enum TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public QFrame {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
 public:
  explicit TPanel(QWidget* owner = nullptr);

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut bevel);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut bevel);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int width);
  // Caption alignment; centred by default.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  // Colour of the caption text.
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor& color);

 protected:
  // The bevels, the face and the caption.
  virtual void Paint(QPainter& painter);
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  TBevelCut bevelOuter_ = bvRaised;
  TBevelCut bevelInner_ = bvNone;
  int bevelWidth_ = 1;
  TAlignment alignment_ = taCenter;
  QColor fontColor_ = Qt::black;
};

}  // namespace framework
