#include "components/HugeArry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

using components::EOutOfMemory;
using components::THugeArray;
using components::THugeDouble;

namespace {

std::vector<double> Items(const THugeDouble& array) {
  std::vector<double> items;
  for (int i = 0; i < array.Count(); ++i) items.push_back(array.Get(i));
  return items;
}

// Counts notifications and checks that the sender is the array itself.
struct ChangeCounter {
  explicit ChangeCounter(THugeArray& array) {
    array.OnChange = [this, &array](THugeArray* sender) {
      EXPECT_EQ(sender, &array);
      ++count;
    };
  }
  int count = 0;
};

// A store whose allocations can be refused, to see what a failed growth leaves behind.
class TStarvedDouble : public THugeDouble {
 public:
  using THugeDouble::THugeDouble;
  bool refuse = false;

 protected:
  void* ReallocateBlock(void* block, std::size_t bytes) override {
    return refuse ? nullptr : THugeDouble::ReallocateBlock(block, bytes);
  }
};

}  // namespace

// ---- creation --------------------------------------------------------------------------------

TEST(HugeArrayCreate, StartsEmptyWithTheGivenCapacity) {
  THugeArray array(7, 12);
  EXPECT_EQ(array.Count(), 0);
  EXPECT_EQ(array.Capacity(), 7);
  EXPECT_EQ(array.InitialCapacity(), 7);
  EXPECT_EQ(array.ItemSize(), 12);
  EXPECT_EQ(array.AllocatedBytes(), 84);
  EXPECT_EQ(array.GrowDelta(), 4);
  EXPECT_TRUE(array.Ascending());
  EXPECT_TRUE(array.Objects().empty());
}

TEST(HugeArrayCreate, ZeroCapacityOrItemSizeIsAnEmptyAllocation) {
  for (auto [capacity, size] : {std::pair{0, 8}, std::pair{5, 0}, std::pair{-3, 8}}) {
    try {
      THugeArray array(capacity, size);
      ADD_FAILURE() << "created with capacity " << capacity << ", item size " << size;
    } catch (const framework::Exception& e) {
      EXPECT_EQ(e.Message(), "Empty Array Allocation");
      EXPECT_EQ(dynamic_cast<const EOutOfMemory*>(&e), nullptr);
    }
  }
}

TEST(HugeArrayCreate, ABlockPastTheByteCountIsOutOfMemoryNotAWrappedSize) {
  // 2^20 * 2^12 bytes is 2^32, which a 32-bit product would wrap to 0.
  EXPECT_THROW(THugeArray(1 << 20, 1 << 12), EOutOfMemory);
  EXPECT_THROW(THugeArray(3, 1 << 30), EOutOfMemory);
}

// ---- growth and Clear ------------------------------------------------------------------------

TEST(HugeArrayGrowth, FollowsFourSixteenAndAQuarterOfCount) {
  THugeDouble array(5);
  std::vector<int> capacities{array.Capacity()};
  for (int i = 0; i < 100; ++i) {
    array.Add(i);
    if (array.Capacity() != capacities.back()) capacities.push_back(array.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{5, 9, 25, 41, 57, 73, 91, 113}));
  EXPECT_EQ(array.GrowDelta(), 22);  // 91 div 4
  EXPECT_EQ(array.AllocatedBytes(), 113 * 8);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(array.Get(i), i) << "item " << i << " lost in growth";
}

TEST(HugeArrayGrowth, SixValuesInCapacityFiveGiveNineAndClearGivesFiveBack) {
  THugeDouble array(5);
  ChangeCounter changes(array);
  for (int i = 1; i <= 6; ++i) array.Add(i);
  EXPECT_EQ(array.Capacity(), 9);
  EXPECT_EQ(array.Count(), 6);
  EXPECT_EQ(changes.count, 6);

  array.Clear();
  EXPECT_EQ(array.Capacity(), 5);
  EXPECT_EQ(array.AllocatedBytes(), 40);
  EXPECT_EQ(array.Count(), 0);
  EXPECT_TRUE(array.Objects().empty());
  EXPECT_EQ(changes.count, 7);

  // Usable again from the start, growing the same way.
  for (int i = 1; i <= 6; ++i) array.Add(i * 10);
  EXPECT_EQ(array.Capacity(), 9);
  EXPECT_EQ(Items(array), (std::vector<double>{10, 20, 30, 40, 50, 60}));
}

TEST(HugeArrayGrowth, ClearKeepsDirectionAndHandler) {
  THugeDouble array(2);
  ChangeCounter changes(array);
  array.SetAscending(false);
  array.Add(1);
  array.Clear();
  EXPECT_FALSE(array.Ascending());
  array.Add(2);
  EXPECT_EQ(changes.count, 3);
}

TEST(HugeArrayGrowth, RefusedMemoryKeepsTheOldBlock) {
  TStarvedDouble array(2);
  array.Add(1.5);
  array.Add(2.5);
  array.refuse = true;
  EXPECT_THROW(array.Add(3.5), EOutOfMemory);
  EXPECT_EQ(array.Count(), 2);
  EXPECT_EQ(array.Capacity(), 2);
  EXPECT_EQ(array.Objects().size(), 2u);
  EXPECT_EQ(Items(array), (std::vector<double>{1.5, 2.5}));
  array.refuse = false;
  array.Add(3.5);
  EXPECT_EQ(Items(array), (std::vector<double>{1.5, 2.5, 3.5}));
}

// ---- insert, delete, put ---------------------------------------------------------------------

TEST(HugeArrayEdit, InsertShiftsUpAndAtCountAppends) {
  THugeDouble array(3);
  int a = 0, b = 0;
  array.AddObject(1, &a);
  array.AddObject(3, &b);
  array.Insert(1, 2);
  array.Insert(3, 4);
  array.Insert(0, 0);
  EXPECT_EQ(Items(array), (std::vector<double>{0, 1, 2, 3, 4}));
  EXPECT_EQ(array.Objects(), (std::vector<void*>{nullptr, &a, nullptr, &b, nullptr}));
}

TEST(HugeArrayEdit, InsertOutsideItsRangeDoesNothingAndTellsNobody) {
  THugeDouble array(5);
  array.Add(1);
  array.Add(2);
  ChangeCounter changes(array);
  array.Insert(3, 9);  // Count + 1
  array.Insert(-1, 9);
  EXPECT_EQ(Items(array), (std::vector<double>{1, 2}));
  EXPECT_EQ(changes.count, 0);
}

TEST(HugeArrayEdit, DeleteShiftsDownAndIgnoresOutOfRange) {
  THugeDouble array(5);
  int objects[4];
  for (int i = 0; i < 4; ++i) array.AddObject(i, &objects[i]);
  ChangeCounter changes(array);
  array.Delete(-1);
  array.Delete(4);
  EXPECT_EQ(changes.count, 0);
  array.Delete(1);
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(Items(array), (std::vector<double>{0, 2, 3}));
  EXPECT_EQ(array.Objects(), (std::vector<void*>{&objects[0], &objects[2], &objects[3]}));
  EXPECT_EQ(array.Capacity(), 5);  // never shrunk by Delete
  array.Delete(2);
  EXPECT_EQ(Items(array), (std::vector<double>{0, 2}));
}

TEST(HugeArrayEdit, PutOverwritesAndNotifies) {
  THugeDouble array(5);
  array.Add(1);
  array.Add(2);
  ChangeCounter changes(array);
  array.Put(1, -7.25);
  EXPECT_EQ(Items(array), (std::vector<double>{1, -7.25}));
  EXPECT_EQ(changes.count, 1);
}

TEST(HugeArrayEdit, ItemsOfAnySizeKeepTheirBytes) {
  struct Sample {
    char tag[5];
    int value;
  };
  THugeArray array(1, sizeof(Sample));
  for (int i = 0; i < 10; ++i) {
    Sample s{{'s', char('0' + i), 0, 0, 0}, i * i};
    array.Add(&s);
  }
  Sample middle{{'m', 0, 0, 0, 0}, -1};
  array.Insert(&middle, 5);
  array.Delete(0);
  ASSERT_EQ(array.Count(), 10);
  const auto* at4 = static_cast<const Sample*>(array.ItemPtr(4));
  EXPECT_STREQ(at4->tag, "m");
  const auto* at9 = static_cast<const Sample*>(array.ItemPtr(9));
  EXPECT_STREQ(at9->tag, "s9");
  EXPECT_EQ(at9->value, 81);
}

TEST(HugeArrayEdit, DataHoldsTheItemsInOrderWhereverTheBlockMoves) {
  THugeDouble array(5);
  for (int i = 0; i < 100; ++i) {
    array.Add(i * 0.5 - 3);
    // The block moves as it grows; Data follows it and agrees with Get and ItemPtr.
    ASSERT_EQ(array.Data(), array.ItemPtr(0));
    for (int k = 0; k <= i; ++k) ASSERT_EQ(array.Data()[k], k * 0.5 - 3) << i << " " << k;
  }
  array.Insert(0, 42.0);
  array.Delete(3);
  EXPECT_EQ(array.Data()[0], 42.0);
  EXPECT_EQ(array.Data()[3], 0.5 * 3 - 3);  // item 3 moved up, then back
  for (int k = 0; k < array.Count(); ++k) EXPECT_EQ(array.Data()[k], array.Get(k));
}

TEST(HugeArrayEdit, ExchangeSwapsItemsAndObjects) {
  THugeDouble array(4);
  int x = 0, y = 0;
  array.AddObject(1, &x);
  array.AddObject(2, &y);
  ChangeCounter changes(array);
  array.Exchange(0, 1);
  EXPECT_EQ(Items(array), (std::vector<double>{2, 1}));
  EXPECT_EQ(array.Objects(), (std::vector<void*>{&y, &x}));
  array.Exchange(1, 1);
  EXPECT_EQ(Items(array), (std::vector<double>{2, 1}));
  EXPECT_EQ(changes.count, 2);
}

// ---- sorting ---------------------------------------------------------------------------------

TEST(HugeArraySort, ByValueBothWaysWithANotificationPerSwap) {
  THugeDouble array(5);
  for (double v : {3.0, 1.0, 2.0}) array.Add(v);
  ChangeCounter changes(array);
  array.SortByValue();
  EXPECT_EQ(Items(array), (std::vector<double>{1, 2, 3}));
  const int ascendingSwaps = changes.count;
  EXPECT_GE(ascendingSwaps, 1);

  array.SetAscending(false);
  array.SortByValue();
  EXPECT_EQ(Items(array), (std::vector<double>{3, 2, 1}));
  EXPECT_GT(changes.count, ascendingSwaps);
}

TEST(HugeArraySort, EverySwapIsSeenThroughTheOverridableExchange) {
  struct CountingDouble : THugeDouble {
    using THugeDouble::THugeDouble;
    int exchanges = 0;
    void Exchange(int i, int j) override {
      ++exchanges;
      THugeDouble::Exchange(i, j);
    }
  };
  CountingDouble array(5);
  for (double v : {3.0, 1.0, 2.0}) array.Add(v);
  ChangeCounter changes(array);
  array.SortByValue();
  EXPECT_GT(array.exchanges, 0);
  EXPECT_EQ(changes.count, array.exchanges);
}

TEST(HugeArraySort, ObjectsFollowTheirItems) {
  THugeDouble array(4);
  const std::vector<double> values{5, -1, 9, 0, 7, 7, 3, -4, 12, 2, 8, 1};
  std::vector<double> tags(values);  // each object points at a copy of its own value
  for (std::size_t i = 0; i < values.size(); ++i) array.AddObject(values[i], &tags[i]);
  array.SortByValue();
  std::vector<double> sorted(values);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(Items(array), sorted);
  for (int i = 0; i < array.Count(); ++i)
    EXPECT_EQ(*static_cast<double*>(array.Objects()[static_cast<std::size_t>(i)]), array.Get(i))
        << "object " << i << " left its item";
}

TEST(HugeArraySort, PivotFollowsItsValueWhenSwapped) {
  // Here the middle item (the pivot, 1) is swapped away in the first pass; a pivot left at the
  // old address would compare against 5 and leave the array unsorted.
  THugeDouble array(5);
  for (double v : {5.0, 4.0, 1.0, 3.0, 2.0}) array.Add(v);
  array.SortByValue();
  EXPECT_EQ(Items(array), (std::vector<double>{1, 2, 3, 4, 5}));
}

TEST(HugeArraySort, ManyOrdersAndDuplicatesComeOutSorted) {
  unsigned seed = 12345;
  for (int round = 0; round < 50; ++round) {
    THugeDouble array(5);
    std::vector<double> values;
    const int n = 1 + round * 7 % 97;
    for (int i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      values.push_back(static_cast<double>((seed >> 16) % 20) - 10.0);
      array.Add(values.back());
    }
    array.SetAscending(round % 2 == 0);
    array.SortByValue();
    std::sort(values.begin(), values.end());
    if (round % 2 != 0) std::reverse(values.begin(), values.end());
    ASSERT_EQ(Items(array), values) << "round " << round;
  }
}

TEST(HugeArraySort, CustomComparisonAndEmptyArray) {
  THugeDouble array(5);
  ChangeCounter changes(array);
  array.Sort([](const void*, const void*) { return 0; });
  EXPECT_EQ(changes.count, 0);

  for (double v : {-3.0, 2.0, -1.0}) array.Add(v);
  array.Sort([](const void* a, const void* b) {  // by magnitude
    double x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    return (std::abs(x) > std::abs(y)) - (std::abs(x) < std::abs(y));
  });
  EXPECT_EQ(Items(array), (std::vector<double>{-1, 2, -3}));
}

TEST(HugeArraySort, PlainArraySortByValueLeavesOrder) {
  THugeArray array(3, 4);
  const int items[] = {3, 1, 2};
  for (const int& item : items) array.Add(&item);
  ChangeCounter changes(array);
  array.SortByValue();
  EXPECT_EQ(*static_cast<int*>(array.ItemPtr(0)), 3);
  EXPECT_EQ(changes.count, 0);
}
