#pragma once
// TIntegerSpin: the spin editor of a 64-bit whole number, in decimal or hexadecimal.
#include <cstdint>
#include <functional>

#include "components/SpinButtons.h"

namespace components {

class TIntegerSpin : public TCustomSpin {
  Q_OBJECT
  Q_PROPERTY(qint64 Value READ Value WRITE SetValue)
  Q_PROPERTY(qint64 MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(qint64 MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(qint64 Increment READ Increment WRITE SetIncrement)
  Q_PROPERTY(bool OwnerIncrement READ OwnerIncrement WRITE SetOwnerIncrement)
  Q_PROPERTY(bool HexMode READ HexMode WRITE SetHexMode)
  Q_PROPERTY(int HexDigits READ HexDigits WRITE SetHexDigits)
 public:
  explicit TIntegerSpin(QWidget* owner = nullptr);

  // Read from the text each time: text that does not convert gives LastGoodValue. Reading
  // updates LastGoodValue and, with Wrap, may report a wrap.
  int64_t Value();
  // Writes the limited value as text; LastGoodValue keeps v itself.
  void SetValue(int64_t v);
  // The same write, told to the owner or not as the policy says.
  void SetValue(int64_t v, TEmitPolicy policy);
  int64_t MinValue() const { return minValue_; }
  void SetMinValue(int64_t m);
  int64_t MaxValue() const { return maxValue_; }
  void SetMaxValue(int64_t m);
  int64_t Increment() const { return increment_; }
  void SetIncrement(int64_t step) { increment_ = step; }
  bool OwnerIncrement() const { return ownerIncrement_; }
  void SetOwnerIncrement(bool on) { ownerIncrement_ = on; }
  bool HexMode() const { return hexMode_; }
  void SetHexMode(bool on);
  // Least number of hexadecimal digits shown.
  int HexDigits() const { return hexDigits_; }
  void SetHexDigits(int digits);

  int64_t LastGoodValue() const { return lastGoodValue_; }

  // The value after the limits in force: unchanged without UseLimit, else clamped to
  // MinValue..MaxValue or, with Wrap, wrapped into MinValue..below MaxValue.
  int64_t ClampValue(int64_t v);

  void StepUp() override;
  void StepDown() override;
  bool KeyAllowed(QChar key) override;

  // Asked for the stepped value when OwnerIncrement is on; Inc is true for up.
  std::function<void(QObject* Sender, bool Inc, int64_t& Value)> OnIncrement;

 protected:
  void DoExit() override;

 private:
  void Step(bool up);

  int64_t minValue_ = 0;
  int64_t maxValue_ = 0;
  int64_t increment_ = 1;
  bool ownerIncrement_ = false;
  bool hexMode_ = false;
  int hexDigits_ = 4;
  int64_t lastGoodValue_ = 0;
};

}  // namespace components
