#pragma once
// The statistics run over the accepted computer errors (count, mean, minimum, maximum, time
// span, total drift, drift per day) and the whole-store sums behind them. Standard C++ only, so
// that the window and the command-line tool share one implementation.
//
// A measurement cycle accepts one error into the run at a cost that does not depend on how many
// errors the store already holds: everything the drift needs is kept as the store grows.
#include <array>
#include <cstdint>
#include <span>

namespace components {

// Sum of the items in index order, starting at 0.0 and rounding after every addition.
double SumInOrder(std::span<const double> items);
// SumInOrder / size; 0 for no items.
double MeanInOrder(std::span<const double> items);
// Population variance: the squared deviations from MeanInOrder summed in index order, divided
// by the number of items; 0 for no items.
double PopulationVariance(std::span<const double> items);
double PopulationStdDev(std::span<const double> items);

// An exact sum of doubles: values are added and subtracted without any rounding, and Value is
// the exact sum rounded once to the nearest double (ties to even). A sliding window of samples
// can therefore be kept by adding the newest and subtracting the oldest without the error
// building up that a plain running total would collect.
class TExactSum {
 public:
  void Add(double value) { Accumulate(value, false); }
  void Subtract(double value) { Accumulate(value, true); }
  void Clear();
  // The correctly rounded sum: ±infinity past the double range, NaN when a NaN or both
  // infinities are held.
  double Value() const;

 private:
  // A double is m × 2^e with e >= -1074 (the smallest subnormal step) and m below 2^53; the
  // largest finite one is below 2^1024. 2098 bits hold every finite double as an integer
  // multiple of 2^-1074; the rest of the 34 × 64 bits leave room for 2^31 items of either sign
  // in two's complement.
  static constexpr int kLimbs = 34;
  static constexpr int kLowestExponent = -1074;

  void Accumulate(double value, bool subtract);
  void AddAt(int limb, std::uint64_t bits);
  void SubtractAt(int limb, std::uint64_t bits);

  std::array<std::uint64_t, kLimbs> limbs_{};
  // Values without a finite part are counted instead of summed.
  std::int64_t positiveInfinities_ = 0;
  std::int64_t negativeInfinities_ = 0;
  std::int64_t nans_ = 0;
};

// The drift of a run: how far the mean error moved from the first tenth of the run to the last
// tenth.
struct TDrift {
  double Total = 0;   // seconds
  double PerDay = 0;  // seconds per day
};

// What the Statistics tab shows after every accepted error.
struct TErrorSummary {
  int Count = 0;    // errors in the store
  double Span = 0;  // days from the run's first accepted error to `now`
  TDrift Drift;     // seconds, seconds per day
  double Mean = 0;  // seconds
  double Min = 0;   // seconds
  double Max = 0;   // seconds
};

// The statistics run. The caller keeps the errors (oldest first, in seconds, positive when the
// computer's clock is ahead) in its store, appends each accepted error there and then hands
// the whole store to Accept; the run reads only the few items it has not seen yet.
class TErrorStatistics {
 public:
  // Forgets the run; the next accepted error starts a new one. The caller empties its store.
  void Clear();
  // Takes the store's newest item into the run. `now` is the local date-time (days) at which
  // it was accepted; the first error after Clear starts the run there.
  void Accept(std::span<const double> errors, double now);

  bool Started() const { return !first_; }
  double Start() const { return start_; }  // local date-time, days
  int Count() const { return count_; }
  double Sum() const { return sum_; }  // seconds, added in arrival order
  double Min() const { return min_; }
  double Max() const { return max_; }
  double Mean() const { return sum_ / count_; }
  // The mean of the first b + 1 and of the last b + 1 errors, b = Count div 10.
  double FirstWindowMean() const;
  double LastWindowMean() const;

  // Total drift and drift per day at local date-time `now`; needs at least one error. The
  // samples are taken as evenly spaced over the run: Count samples span Count - 1 gaps, so they
  // lie span / (Count - 1) apart (with one sample there is no gap and the drift is 0).
  TDrift Drift(double now) const;
  // Everything the Statistics tab shows, at local date-time `now`.
  TErrorSummary Summary(double now) const;

 private:
  // Brings both windows to the store's size: the first window grows at its end only, the
  // last one slides.
  void FollowWindows(std::span<const double> errors);

  bool first_ = true;
  double start_ = 0;
  double min_ = 0;
  double max_ = 0;
  double sum_ = 0;
  int count_ = 0;
  // First window: items 0 … firstLast_, summed in index order exactly as a fresh pass would.
  int firstLast_ = -1;
  double firstSum_ = 0;
  // Last window: items lastFirst_ … lastLast_, summed exactly.
  int lastFirst_ = 0;
  int lastLast_ = -1;
  TExactSum lastSum_;
};

}  // namespace components
