#include "components/intspin.h"

#include "framework/FormatSettings.h"
#include "framework/KeyboardState.h"
#include "framework/Sound.h"

namespace {

// Floored remainder of a 64-bit difference by a positive span, without overflow.
uint64_t FlooredRemainder(int64_t value, int64_t base, uint64_t span) {
  // value - base as an unsigned 64-bit offset is exact modulo 2^64; the sign tells whether it is
  // above or below base.
  const uint64_t offset = static_cast<uint64_t>(value) - static_cast<uint64_t>(base);
  if (value >= base) return offset % span;
  const uint64_t below = (0 - offset) % span;  // distance below base, reduced
  return below == 0 ? 0 : span - below;
}

}  // namespace

TIntegerSpin::TIntegerSpin(QWidget* owner) : TCustomSpin(owner) {
  lastGoodValue_ = Value();
}

int64_t TIntegerSpin::ClampValue(int64_t v) {
  if (!UseLimit()) return v;
  // Equal or crossed limits leave nothing to wrap around: the value is clamped.
  const bool wrap = Wrap() && minValue_ < maxValue_;
  const uint64_t span = static_cast<uint64_t>(maxValue_) - static_cast<uint64_t>(minValue_);
  // Where the usual wrap would not end or would leave the range, the value wraps by the span:
  // MinValue + (v - MinValue) mod (MaxValue - MinValue).
  auto wrapBySpan = [&] {
    return static_cast<int64_t>(static_cast<uint64_t>(minValue_) +
                                FlooredRemainder(v, minValue_, span));
  };
  int64_t r = v;
  if (v >= maxValue_) {
    if (wrap) {
      // MaxValue is taken off until below it, then MinValue added: the maximum itself never
      // shows.
      r = maxValue_ > 0 ? v % maxValue_ + minValue_ : maxValue_;
      if (maxValue_ <= 0 || r >= maxValue_) r = wrapBySpan();
      NotifyWrap(wmUpper);
    } else {
      r = maxValue_;
    }
  }
  if (v < minValue_) {
    if (wrap) {
      // Reflected at the minimum, then counted down from the maximum.
      bool inRange = false;
      if (minValue_ <= 0) {
        // v < MinValue <= 0, so MinValue - v is positive and fits in 64 unsigned bits.
        const uint64_t reflected = static_cast<uint64_t>(minValue_) - static_cast<uint64_t>(v);
        if (reflected <= span) {
          r = static_cast<int64_t>(static_cast<uint64_t>(maxValue_) - reflected);
          inRange = true;
        }
      }
      if (!inRange) r = wrapBySpan();
      NotifyWrap(wmLower);
    } else {
      r = minValue_;
    }
  }
  return r;
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
