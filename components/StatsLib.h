#pragma once
// The running mean over the newest samples and the statistics over a THugeDouble.
#include "components/HugeArry.h"

namespace components {

// Keeps at most Size of the newest samples, oldest at index 0.
class TRunningAverage : public THugeDouble {
 public:
  TRunningAverage();

  int Size() const { return size_; }
  // A smaller window than Count keeps the Size oldest samples and drops the newest, without
  // notification. A window below one sample is taken as one.
  void SetSize(int size);

  // Drops the oldest samples until there is room, then appends.
  int Add(double value) override;
  // The mean of the samples held; 0 when there is none.
  double Average() const;

 private:
  int size_ = 10;
};

// Sums add in index order starting at 0.0. Ranges are clamped to 0 .. Count - 1 and give 0 when
// nothing is left.
double ArraySum(const THugeDouble& array);
double ArraySumRange(const THugeDouble& array, int first, int last);
double ArrayMeanRange(const THugeDouble& array, int first, int last);
double ArrayMean(const THugeDouble& array);
// Population variance: divides by Count.
double ArrayVariance(const THugeDouble& array);
double ArrayStdDev(const THugeDouble& array);

}  // namespace components
