#include "components/StatsLib.h"

#include <algorithm>
#include <span>

#include "components/ErrorStatistics.h"

namespace components {

TRunningAverage::TRunningAverage() : THugeDouble(10) {}

void TRunningAverage::SetSize(int size) {
  // With a window of none, Add would delete from an empty store for ever.
  size = std::max(size, 1);
  if (size == size_) return;
  size_ = size;
  if (size_ < Count()) TruncateTo(size_);
}

int TRunningAverage::Add(double value) {
  while (Count() >= size_) Delete(0);
  return THugeDouble::Add(value);
}

double TRunningAverage::Average() const {
  return ArrayMean(*this);
}

namespace {

// Items first … last, clamped to the items held; empty when nothing is left.
std::span<const double> Range(const THugeDouble& array, int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, array.Count() - 1);
  if (last < first) return {};
  return std::span<const double>(array.Data() + first, std::size_t(last - first + 1));
}

std::span<const double> All(const THugeDouble& array) {
  return Range(array, 0, array.Count() - 1);
}

}  // namespace

double ArraySum(const THugeDouble& array) {
  return SumInOrder(All(array));
}

double ArraySumRange(const THugeDouble& array, int first, int last) {
  return SumInOrder(Range(array, first, last));
}

double ArrayMeanRange(const THugeDouble& array, int first, int last) {
  return MeanInOrder(Range(array, first, last));
}

double ArrayMean(const THugeDouble& array) {
  return MeanInOrder(All(array));
}

double ArrayVariance(const THugeDouble& array) {
  return PopulationVariance(All(array));
}

double ArrayStdDev(const THugeDouble& array) {
  return PopulationStdDev(All(array));
}

}  // namespace components
