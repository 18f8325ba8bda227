#include "components/ErrorStatistics.h"

#include <bit>
#include <cmath>
#include <limits>

namespace components {

// --- whole-store sums ---------------------------------------------------------------------

double SumInOrder(std::span<const double> items) {
  double sum = 0.0;
  for (const double item : items) sum += item;
  return sum;
}

double MeanInOrder(std::span<const double> items) {
  if (items.empty()) return 0.0;
  return SumInOrder(items) / double(items.size());
}

double PopulationVariance(std::span<const double> items) {
  if (items.empty()) return 0.0;
  const double mean = MeanInOrder(items);
  double sum = 0.0;
  for (const double item : items) {
    const double deviation = item - mean;
    sum += deviation * deviation;
  }
  return sum / double(items.size());
}

double PopulationStdDev(std::span<const double> items) {
  return std::sqrt(PopulationVariance(items));
}

// --- exact sum ----------------------------------------------------------------------------

namespace {

constexpr int kMantissaBits = 53;                          // with the implicit leading 1
constexpr std::uint64_t kFractionMask = (1ull << 52) - 1;  // stored fraction bits of a double
constexpr int kExponentBias = 1075;  // biased exponent E means 2^(E - 1075) per mantissa unit

}  // namespace

void TExactSum::Clear() {
  limbs_.fill(0);
  positiveInfinities_ = 0;
  negativeInfinities_ = 0;
  nans_ = 0;
}

void TExactSum::Accumulate(double value, bool subtract) {
  // Subtract removes a value that was added: it undoes the count of a non-finite one.
  const int step = subtract ? -1 : 1;
  if (std::isnan(value)) {
    nans_ += step;
    return;
  }
  if (std::isinf(value)) {
    (value > 0 ? positiveInfinities_ : negativeInfinities_) += step;
    return;
  }
  // |value| = mantissa × 2^exponent, exactly; subnormals have no implicit bit and the
  // exponent of the smallest normals.
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const int biased = int((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & kFractionMask;
  int exponent = kLowestExponent;
  if (biased != 0) {
    mantissa |= 1ull << 52;
    exponent = biased - kExponentBias;
  }
  if (mantissa == 0) return;
  const int offset = exponent - kLowestExponent;  // bit position of the mantissa's unit
  const int limb = offset / 64;
  const int shift = offset % 64;
  const std::uint64_t low = mantissa << shift;
  const std::uint64_t high = shift == 0 ? 0 : mantissa >> (64 - shift);
  const bool negative = (value < 0) != subtract;
  if (negative) {
    SubtractAt(limb, low);
    SubtractAt(limb + 1, high);
  } else {
    AddAt(limb, low);
    AddAt(limb + 1, high);
  }
}

void TExactSum::AddAt(int limb, std::uint64_t bits) {
  for (int i = limb; bits != 0 && i < kLimbs; ++i) {
    const std::uint64_t old = limbs_[i];
    limbs_[i] = old + bits;
    bits = limbs_[i] < old ? 1 : 0;  // carry
  }
}

void TExactSum::SubtractAt(int limb, std::uint64_t bits) {
  for (int i = limb; bits != 0 && i < kLimbs; ++i) {
    const std::uint64_t old = limbs_[i];
    limbs_[i] = old - bits;
    bits = old < bits ? 1 : 0;  // borrow
  }
}

double TExactSum::Value() const {
  if (nans_ > 0 || (positiveInfinities_ > 0 && negativeInfinities_ > 0))
    return std::numeric_limits<double>::quiet_NaN();
  if (positiveInfinities_ > 0) return std::numeric_limits<double>::infinity();
  if (negativeInfinities_ > 0) return -std::numeric_limits<double>::infinity();

  std::array<std::uint64_t, kLimbs> magnitude = limbs_;
  const bool negative = (magnitude[kLimbs - 1] >> 63) != 0;
  if (negative) {
    // Two's complement: invert and add one.
    std::uint64_t carry = 1;
    for (std::uint64_t& limb : magnitude) {
      limb = ~limb + carry;
      carry = (carry != 0 && limb == 0) ? 1 : 0;
    }
  }
  int top = kLimbs - 1;
  while (top >= 0 && magnitude[top] == 0) --top;
  if (top < 0) return 0.0;
  const int highest = top * 64 + 63 - std::countl_zero(magnitude[top]);

  auto bit = [&](int position) { return (magnitude[position / 64] >> (position % 64)) & 1; };
  double result;
  if (highest < kMantissaBits) {
    // At most 53 bits above 2^-1074: a subnormal or small normal double holds it exactly.
    result = std::ldexp(double(magnitude[0]), kLowestExponent);
  } else {
    // The 53 bits from `highest` down, then round to nearest, ties to even, on the bit below
    // them and whether anything lower is set.
    int lowest = highest - (kMantissaBits - 1);
    const int limb = lowest / 64;
    const int shift = lowest % 64;
    std::uint64_t mantissa = magnitude[limb] >> shift;
    if (shift != 0 && limb + 1 < kLimbs) mantissa |= magnitude[limb + 1] << (64 - shift);
    mantissa &= (1ull << kMantissaBits) - 1;
    const int roundPosition = lowest - 1;
    bool sticky = (magnitude[roundPosition / 64] & ((1ull << (roundPosition % 64)) - 1)) != 0;
    for (int i = 0; !sticky && i < roundPosition / 64; ++i) sticky = magnitude[i] != 0;
    if (bit(roundPosition) != 0 && (sticky || (mantissa & 1) != 0)) {
      ++mantissa;
      if (mantissa == 1ull << kMantissaBits) {
        mantissa >>= 1;
        ++lowest;
      }
    }
    // Exact unless past the double range, where it becomes infinity.
    result = std::ldexp(double(mantissa), lowest + kLowestExponent);
  }
  return negative ? -result : result;
}

// --- statistics run -----------------------------------------------------------------------

void TErrorStatistics::Clear() {
  first_ = true;
  count_ = 0;
  firstLast_ = -1;
  firstSum_ = 0;
  lastFirst_ = 0;
  lastLast_ = -1;
  lastSum_.Clear();
}

void TErrorStatistics::Accept(std::span<const double> errors, double now) {
  if (errors.empty()) return;  // nothing was appended
  const double error = errors.back();
  if (first_) {
    start_ = now;
    first_ = false;
    min_ = error;
    max_ = error;
    sum_ = 0;
  }
  // Strict: an equal error leaves the extreme as it was.
  if (error < min_) min_ = error;
  if (error > max_) max_ = error;
  sum_ += error;
  FollowWindows(errors);
}

void TErrorStatistics::FollowWindows(std::span<const double> errors) {
  const int n = int(errors.size());
  if (n <= firstLast_ || n <= lastLast_) {
    // The store lost items the windows hold (emptied without Clear): start them over.
    firstLast_ = -1;
    firstSum_ = 0;
    lastFirst_ = 0;
    lastLast_ = -1;
    lastSum_.Clear();
  }
  count_ = n;
  const int b = n / 10;
  // The first window only grows at its end, so adding its new items to the running sum gives
  // the very double a fresh pass from index 0 would.
  while (firstLast_ < b) firstSum_ += errors[std::size_t(++firstLast_)];
  // The last window slides. A rounded running total cannot take an item out again (the
  // rounding of every addition stays in it), so the window is summed exactly and rounded once
  // when read: the result is the correctly rounded sum of the window, equal to the fresh
  // index-order pass for windows of up to two items and within its rounding error beyond.
  const int lastFirst = n - 1 - b;
  if (lastFirst > lastLast_) {
    // Nothing held is still in the window: start it at its new beginning.
    lastSum_.Clear();
    lastFirst_ = lastFirst;
    lastLast_ = lastFirst - 1;
  }
  while (lastLast_ < n - 1) lastSum_.Add(errors[std::size_t(++lastLast_)]);
  while (lastFirst_ < lastFirst) lastSum_.Subtract(errors[std::size_t(lastFirst_++)]);
}

double TErrorStatistics::FirstWindowMean() const {
  if (firstLast_ < 0) return 0.0;
  return firstSum_ / (firstLast_ + 1);
}

double TErrorStatistics::LastWindowMean() const {
  if (lastLast_ < lastFirst_) return 0.0;
  return lastSum_.Value() / (lastLast_ - lastFirst_ + 1);
}

TDrift TErrorStatistics::Drift(double now) const {
  const int n = count_;
  const int b = n / 10;
  TDrift drift;
  drift.Total = LastWindowMean() - FirstWindowMean();
  // Days per sample: n samples span n - 1 gaps, so an error growing by 1 s per day of wall time
  // shows a drift of 1 s per day. With one sample there is no gap, the distance is 0 and the
  // drift per day is the total, 0.
  const double dt = n >= 2 ? (now - start_) / (n - 1) : 0.0;
  // Centres of the windows 0 … b and n - 1 - b … n - 1, in days from the run's start.
  const double firstCentre = dt * (b / 2.0);
  const double lastCentre = dt * double(std::int64_t(n - 1 - b) + (n - 1)) / 2.0;
  const double distance = lastCentre - firstCentre;
  drift.PerDay = distance != 0 ? drift.Total / distance : drift.Total;
  return drift;
}

TErrorSummary TErrorStatistics::Summary(double now) const {
  TErrorSummary summary;
  summary.Count = count_;
  summary.Span = now - start_;
  summary.Drift = Drift(now);
  summary.Mean = Mean();
  summary.Min = min_;
  summary.Max = max_;
  return summary;
}

}  // namespace components
