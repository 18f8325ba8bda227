#pragma once
// TRealSpin: the spin editor of a double, kept in a field that follows the text and shown in
// one of four number formats.
#include <functional>

#include "components/SpinButtons.h"

namespace components {

enum TNumberFormat { nfStandard, nfScientific, nfFixed, nfThousands };

class TRealSpin : public TCustomSpin {
  Q_OBJECT
  Q_PROPERTY(double Value READ Value WRITE SetValue)
  Q_PROPERTY(double MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(double MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(double Increment READ Increment WRITE SetIncrement)
  Q_PROPERTY(int Digits READ Digits WRITE SetDigits)
  Q_PROPERTY(int NumFormat READ NumFormatValue WRITE SetNumFormatValue)
  Q_PROPERTY(bool OwnerIncrement READ OwnerIncrement WRITE SetOwnerIncrement)
 public:
  explicit TRealSpin(QWidget* owner = nullptr);

  // The field: set from the text at every text change, and by every write.
  double Value() const { return value_; }
  // Writes the limited value and shows it in the current format; afterwards the field is the
  // shown number whenever the text changed.
  void SetValue(double x);
  // The same write, told to the owner or not as the policy says.
  void SetValue(double x, TEmitPolicy policy);
  double MinValue() const { return minValue_; }
  void SetMinValue(double m);
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double m);
  double Increment() const { return increment_; }
  void SetIncrement(double step) { increment_ = step; }
  // Digits of the number format; negative values are ignored.
  int Digits() const { return digits_; }
  void SetDigits(int digits);
  // Takes effect at the next time the value is shown.
  TNumberFormat NumFormat() const { return numFormat_; }
  void SetNumFormat(TNumberFormat format) { numFormat_ = format; }
  bool OwnerIncrement() const { return ownerIncrement_; }
  void SetOwnerIncrement(bool on) { ownerIncrement_ = on; }

  double LastGoodValue() const { return lastGoodValue_; }

  // The value after the limits in force, as the integer spin limits (double arithmetic).
  double ClampValue(double x);
  // The text a value is shown with: limited, in the current format and separators.
  QString FormatValue(double x);

  void StepUp() override;
  void StepDown() override;
  bool KeyAllowed(QChar key) override;

  // Asked for the stepped value when OwnerIncrement is on; Inc is true for up.
  std::function<void(QObject* Sender, bool Inc, double& Value)> OnIncrement;

 protected:
  void Change() override;
  // A point typed where the locale writes a decimal comma is taken as the decimal separator.
  void KeyPress(QChar& key) override;
  void DoExit() override;
  void changeEvent(QEvent* event) override;

 private:
  double ParseText();
  void ShowValue(double x);
  void Step(bool up);
  void RegionalSettingsChanged();
  int NumFormatValue() const { return numFormat_; }
  void SetNumFormatValue(int format) { numFormat_ = static_cast<TNumberFormat>(format); }

  double value_ = 0;
  double minValue_ = 0;
  double maxValue_ = 0;
  double increment_ = 1.0;
  int digits_ = 5;
  TNumberFormat numFormat_ = nfStandard;
  bool ownerIncrement_ = false;
  double lastGoodValue_ = 0;
};

}  // namespace components
