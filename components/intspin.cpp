#include "components/intspin.h"

#include "framework/FormatSettings.h"
#include "framework/KeyboardState.h"
#include "framework/Sound.h"

namespace components {

TIntegerSpin::TIntegerSpin(QWidget* owner) : TCustomSpin(owner) {
  lastGoodValue_ = Value();
}

int64_t TIntegerSpin::ClampValue(int64_t v) {
  return LimitValue(v, minValue_, maxValue_);
}

int64_t TIntegerSpin::Value() {
  int64_t number = 0;
  const QString text = hexMode_ ? "$" + Text() : Text();
  if (!framework::TryStrToInt64(text, number)) return lastGoodValue_;
  lastGoodValue_ = ClampValue(number);
  return lastGoodValue_;
}

void TIntegerSpin::SetValue(int64_t v) {
  lastGoodValue_ = v;
  const int64_t shown = ClampValue(v);
  if (hexMode_) {
    // Negative values show their 64-bit two's complement.
    const QString digits = QString::number(static_cast<uint64_t>(shown), 16).toUpper();
    SetText(digits.rightJustified(std::max(hexDigits_, 0), '0'));
  } else {
    SetText(QString::number(shown));
  }
}

void TIntegerSpin::SetValue(int64_t v, TEmitPolicy policy) {
  const TEmitGuard<TIntegerSpin> guard(*this, policy);
  SetValue(v);
}

void TIntegerSpin::SetMaxValue(int64_t m) {
  if (m == maxValue_) return;
  if (Value() > m) SetValue(m);
  maxValue_ = m;
}

void TIntegerSpin::SetMinValue(int64_t m) {
  if (m == minValue_) return;
  if (Value() < m) SetValue(m);
  minValue_ = m;
}

void TIntegerSpin::SetHexMode(bool on) {
  if (on == hexMode_) return;
  const int64_t v = Value();
  hexMode_ = on;
  SetValue(v);
}

void TIntegerSpin::SetHexDigits(int digits) {
  if (digits == hexDigits_) return;
  const int64_t v = Value();
  hexDigits_ = digits;
  SetValue(v);
}

void TIntegerSpin::StepUp() {
  Step(true);
}
void TIntegerSpin::StepDown() {
  Step(false);
}

void TIntegerSpin::Step(bool up) {
  const int64_t factor = framework::CtrlKeyDown() ? 10 : 1;
  if (ReadOnly()) {
    framework::Beep();
    return;
  }
  if (ownerIncrement_) {
    int64_t v = Value();
    if (OnIncrement) OnIncrement(this, up, v);
    SetValue(v);
    return;
  }
  // Plain two's-complement arithmetic, wrapping at the 64-bit ends as documented.
  const uint64_t step = static_cast<uint64_t>(increment_) * static_cast<uint64_t>(factor);
  const uint64_t current = static_cast<uint64_t>(Value());
  SetValue(static_cast<int64_t>(up ? current + step : current - step));
}

bool TIntegerSpin::KeyAllowed(QChar key) {
  const char16_t c = key.unicode();
  bool allowed;
  if (hexMode_) {
    allowed = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') ||
              (c < 32 && c != 13);
  } else {
    allowed = c == '+' || c == '-' || (c >= '0' && c <= '9') ||
              key == framework::DecimalSeparator() || (c < 32 && c != 13);
  }
  if (!EditorEnabled() && (c >= 32 || c == 8)) allowed = false;
  return allowed;
}

void TIntegerSpin::DoExit() {
  TCustomSpin::DoExit();
  if (Text().isEmpty()) SetValue(lastGoodValue_);
  SetValue(Value());
}

}  // namespace components
