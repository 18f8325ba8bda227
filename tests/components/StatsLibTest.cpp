#include "components/StatsLib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace components;

namespace {

std::vector<double> Items(const THugeDouble& array) {
  std::vector<double> items;
  for (int i = 0; i < array.Count(); ++i) items.push_back(array.Get(i));
  return items;
}

void Fill(THugeDouble& array, std::initializer_list<double> values) {
  for (double v : values) array.Add(v);
}

}  // namespace

// ---- running average -------------------------------------------------------------------------

TEST(RunningAverage, StartsEmptyWithAWindowOfTen) {
  TRunningAverage average;
  EXPECT_EQ(average.Size(), 10);
  EXPECT_EQ(average.Capacity(), 10);
  EXPECT_EQ(average.Count(), 0);
  EXPECT_EQ(average.Average(), 0.0);
}

TEST(RunningAverage, BeforeTheWindowIsFullAveragesWhatItHas) {
  TRunningAverage average;
  average.SetSize(3);
  average.Add(1);
  EXPECT_EQ(average.Average(), 1.0);
  average.Add(2);
  EXPECT_EQ(average.Average(), 1.5);
}

TEST(RunningAverage, DropsTheOldestOnceFull) {
  TRunningAverage average;
  average.SetSize(3);
  Fill(average, {1, 2, 3, 4});
  EXPECT_EQ(Items(average), (std::vector<double>{2, 3, 4}));
  EXPECT_EQ(average.Average(), 3.0);
  EXPECT_EQ(average.Objects().size(), 3u);
}

TEST(RunningAverage, ShrinkingTheWindowKeepsTheOldestAndTellsNobody) {
  TRunningAverage average;
  for (int i = 1; i <= 10; ++i) average.Add(i);
  int changes = 0;
  average.OnChange = [&](THugeArray*) { ++changes; };
  average.SetSize(3);
  EXPECT_EQ(Items(average), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(average.Objects().size(), 3u);  // object pointers stay in step with the items
  average.Add(11);
  EXPECT_EQ(Items(average), (std::vector<double>{2, 3, 11}));
  EXPECT_EQ(average.Average(), 16.0 / 3.0);
}

TEST(RunningAverage, GrowingTheWindowKeepsEverySample) {
  TRunningAverage average;
  average.SetSize(2);
  Fill(average, {1, 2, 3});
  average.SetSize(4);
  Fill(average, {4, 5, 6});
  EXPECT_EQ(Items(average), (std::vector<double>{3, 4, 5, 6}));
  EXPECT_EQ(average.Average(), 4.5);
}

TEST(RunningAverage, AWindowBelowOneHoldsOneSampleInsteadOfHanging) {
  TRunningAverage average;
  Fill(average, {1, 2, 3});
  average.SetSize(0);
  EXPECT_EQ(average.Size(), 1);
  EXPECT_EQ(Items(average), (std::vector<double>{1}));
  average.Add(9);
  EXPECT_EQ(Items(average), (std::vector<double>{9}));
  average.SetSize(-5);
  EXPECT_EQ(average.Size(), 1);
}

TEST(RunningAverage, WorksThroughAStoreReference) {
  TRunningAverage average;
  average.SetSize(2);
  THugeDouble& store = average;
  Fill(store, {1, 2, 3});
  EXPECT_EQ(Items(average), (std::vector<double>{2, 3}));
}

TEST(RunningAverage, IsRecomputedAndDoesNotDrift) {
  // A running total would keep the rounding residue of 1e16 after it left the window.
  TRunningAverage average;
  average.SetSize(2);
  Fill(average, {1e16, 1, 1, 1});
  EXPECT_EQ(average.Average(), 1.0);
}

// ---- statistics ------------------------------------------------------------------------------

TEST(Statistics, EmptyArrayGivesZeros) {
  THugeDouble array(5);
  EXPECT_EQ(ArraySum(array), 0.0);
  EXPECT_EQ(ArrayMean(array), 0.0);
  EXPECT_EQ(ArrayVariance(array), 0.0);
  EXPECT_EQ(ArrayStdDev(array), 0.0);
  EXPECT_EQ(ArraySumRange(array, 0, 5), 0.0);
  EXPECT_EQ(ArrayMeanRange(array, 0, 5), 0.0);
}

TEST(Statistics, VarianceIsOverCount) {
  THugeDouble array(5);
  Fill(array, {1, 3});
  EXPECT_EQ(ArraySum(array), 4.0);
  EXPECT_EQ(ArrayMean(array), 2.0);
  EXPECT_EQ(ArrayVariance(array), 1.0);
  EXPECT_EQ(ArrayStdDev(array), 1.0);
}

TEST(Statistics, SpreadOfSeveralValues) {
  THugeDouble array(5);
  Fill(array, {2, 4, 4, 4, 5, 5, 7, 9});
  EXPECT_EQ(ArrayMean(array), 5.0);
  EXPECT_EQ(ArrayVariance(array), 4.0);
  EXPECT_EQ(ArrayStdDev(array), 2.0);
}

TEST(Statistics, RangesAreClampedToTheItems) {
  THugeDouble array(5);
  for (int i = 0; i < 10; ++i) array.Add(i * 10);
  EXPECT_EQ(ArrayMeanRange(array, 8, 20), 85.0);  // items 8 and 9
  EXPECT_EQ(ArraySumRange(array, 8, 20), 170.0);
  EXPECT_EQ(ArraySumRange(array, -4, 1), 10.0);
  EXPECT_EQ(ArrayMeanRange(array, -4, 1), 5.0);
  EXPECT_EQ(ArrayMeanRange(array, 3, 3), 30.0);
  EXPECT_EQ(ArrayMeanRange(array, 5, 4), 0.0);
  EXPECT_EQ(ArraySumRange(array, 5, 4), 0.0);
  EXPECT_EQ(ArrayMeanRange(array, 12, 20), 0.0);
}

TEST(Statistics, SumsRunInIndexOrder) {
  // 1e16 + 1 + 1 rounds each step back to 1e16; summing the ones first would give 1e16 + 2.
  THugeDouble array(5);
  Fill(array, {1e16, 1, 1});
  EXPECT_EQ(ArraySum(array), 1e16);
  THugeDouble reversed(5);
  Fill(reversed, {1, 1, 1e16});
  EXPECT_EQ(ArraySum(reversed), 1e16 + 2);
}

TEST(Statistics, SecondsOfClockErrorGiveTheirSpread) {
  THugeDouble errors(5);
  Fill(errors, {0.012, -0.004, 0.007, 0.001, -0.010, 0.015});
  const double mean = ArrayMean(errors);
  EXPECT_NEAR(mean, 0.0035, 1e-15);
  double squares = 0.0;
  for (double e : Items(errors)) squares += (e - mean) * (e - mean);
  EXPECT_DOUBLE_EQ(ArrayVariance(errors), squares / 6);
  EXPECT_DOUBLE_EQ(ArrayStdDev(errors), std::sqrt(squares / 6));
}
