#include "components/StatsLib.h"

#include <algorithm>
#include <cmath>

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

double ArraySum(const THugeDouble& array) {
  return ArraySumRange(array, 0, array.Count() - 1);
}

double ArraySumRange(const THugeDouble& array, int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, array.Count() - 1);
  double sum = 0.0;
  for (int i = first; i <= last; ++i) sum += array.Get(i);
  return sum;
}

double ArrayMeanRange(const THugeDouble& array, int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, array.Count() - 1);
  if (last < first) return 0.0;
  return ArraySumRange(array, first, last) / (last - first + 1);
}

double ArrayMean(const THugeDouble& array) {
  if (array.Count() < 1) return 0.0;
  return ArraySum(array) / array.Count();
}

double ArrayVariance(const THugeDouble& array) {
  if (array.Count() < 1) return 0.0;
  const double mean = ArrayMean(array);
  double sum = 0.0;
  for (int i = 0; i < array.Count(); ++i) {
    const double deviation = array.Get(i) - mean;
    sum += deviation * deviation;
  }
  return sum / array.Count();
}

double ArrayStdDev(const THugeDouble& array) {
  return std::sqrt(ArrayVariance(array));
}

}  // namespace components
