#pragma once
// TDegreeSpin: one signed quantity edited as whole units (degrees or hours), minutes and
// seconds, each field with its own arrows. The value is a count of ticks of 10^-5 s, so what is
// typed or stepped in one field carries into the others by arithmetic.
#include <QFont>
#include <QLabel>
#include <cstdint>
#include <functional>

#include "components/SpinButtons.h"
#include "framework/Panels.h"

namespace components {

class TDegreeSpin : public framework::TPanel, public framework::TControlLoading {
  Q_OBJECT
  Q_PROPERTY(double Degrees READ Degrees WRITE SetDegrees)
  Q_PROPERTY(int Digits READ Digits WRITE SetDigits)
  Q_PROPERTY(double MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(double MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(bool UseLimit READ UseLimit WRITE SetUseLimit)
  Q_PROPERTY(bool Wrap READ Wrap WRITE SetWrap)
  Q_PROPERTY(bool AutoCorrect READ AutoCorrect WRITE SetAutoCorrect)
  Q_PROPERTY(bool BlockChangeEvent READ BlockChangeEvent WRITE SetBlockChangeEvent)
  Q_PROPERTY(double SecInc READ SecInc WRITE SetSecInc)
  Q_PROPERTY(QString UnitsString READ UnitsString WRITE SetUnitsString)
 public:
  static constexpr int64_t TicksPerSecond = 100000;  // ticks of 10^-5 s
  static constexpr int64_t TicksPerMinute = 60 * TicksPerSecond;
  static constexpr int64_t TicksPerUnit = 3600 * TicksPerSecond;

  enum TLimitKind { lkNone, lkUpper, lkLower };

  explicit TDegreeSpin(QWidget* owner = nullptr);

  int64_t Ticks() const { return ticks_; }
  // The whole value in units.
  double Degrees() const { return static_cast<double>(ticks_) / TicksPerUnit; }
  void SetDegrees(double units);
  // The same write, told to the owner (OnChange, OnLimit) or not as the policy says.
  void SetDegrees(double units, TEmitPolicy policy);
  // The numbers the three fields show; writing one combines it with what the others show.
  int Hours() const;
  void SetHours(int units);
  int Minutes() const;
  void SetMinutes(int minutes);
  double Seconds() const;
  void SetSeconds(double seconds);

  // Decimals of the seconds, 0 to 5: the resolution of the value and the field widths.
  int Digits() const { return digits_; }
  void SetDigits(int digits);
  double MinValue() const { return minValue_; }
  void SetMinValue(double units);
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double units);
  bool UseLimit() const { return useLimit_; }
  void SetUseLimit(bool on) { useLimit_ = on; }
  bool Wrap() const { return wrap_; }
  void SetWrap(bool on) { wrap_ = on; }
  // On: minutes and seconds beyond their range are taken and carried. Off: such an entry is
  // left standing and not taken.
  bool AutoCorrect() const { return autoCorrect_; }
  void SetAutoCorrect(bool on) { autoCorrect_ = on; }
  // Suppresses OnChange and OnLimit.
  bool BlockChangeEvent() const { return blockChangeEvent_; }
  void SetBlockChangeEvent(bool on) { blockChangeEvent_ = on; }
  // Seconds per click of the seconds arrows.
  double SecInc() const { return secInc_; }
  void SetSecInc(double seconds) { secInc_ = seconds; }
  // The caption under the units field.
  QString UnitsString() const { return unitsLabel_->text(); }
  void SetUnitsString(const QString& units) { unitsLabel_->setText(units); }
  framework::TAlignment Alignment() const { return alignment_; }
  void SetAlignment(framework::TAlignment alignment);
  QFont SpinFont() const { return spinFont_; }
  void SetSpinFont(const QFont& font);
  QFont LabelFont() const { return labelFont_; }
  void SetLabelFont(const QFont& font);

  TEditEx* UnitsField() const { return unitsField_; }
  TEditEx* MinutesField() const { return minutesField_; }
  TEditEx* SecondsField() const { return secondsField_; }
  TUpDownButton* UnitsArrows() const { return unitsArrows_; }
  TUpDownButton* MinutesArrows() const { return minutesArrows_; }
  TUpDownButton* SecondsArrows() const { return secondsArrows_; }
  QLabel* UnitsLabel() const { return unitsLabel_; }
  QLabel* MinutesLabel() const { return minutesLabel_; }
  QLabel* SecondsLabel() const { return secondsLabel_; }

  // The three texts a tick count is shown with.
  void SplitTicks(int64_t ticks, QString& units, QString& minutes, QString& seconds) const;

  std::function<void(QObject* Sender)> OnChange;
  // After a change that reached or passed a limit; Upper is true for the maximum.
  std::function<void(QObject* Sender, bool Upper)> OnLimit;

 protected:
  // The value after the limits; sets Ticks to a multiple of the resolution.
  TLimitKind SetTicksLimited(int64_t n);
  void NotifyChange(TLimitKind kind);
  void ShowTicks(int64_t ticks);
  void FieldsChanged();
  void ArrangeFields();

  void Paint(QPainter& painter) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ArrowStep(int64_t delta);
  int64_t SecondsStep() const;

  int64_t ticks_ = 0;
  int digits_ = 1;
  double minValue_ = 0;
  double maxValue_ = 0;
  bool useLimit_ = false;
  bool wrap_ = false;
  bool autoCorrect_ = true;
  bool blockChangeEvent_ = false;
  double secInc_ = 1.0;
  framework::TAlignment alignment_ = framework::taLeftJustify;
  QFont spinFont_;
  QFont labelFont_;
  bool updating_ = false;

  TEditEx* unitsField_ = nullptr;
  TEditEx* minutesField_ = nullptr;
  TEditEx* secondsField_ = nullptr;
  TUpDownButton* unitsArrows_ = nullptr;
  TUpDownButton* minutesArrows_ = nullptr;
  TUpDownButton* secondsArrows_ = nullptr;
  QLabel* unitsLabel_ = nullptr;
  QLabel* minutesLabel_ = nullptr;
  QLabel* secondsLabel_ = nullptr;
};

}  // namespace components
