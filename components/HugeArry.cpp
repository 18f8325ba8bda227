#include "components/HugeArry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace components {

namespace {

// The byte count of a block is kept as a 32-bit signed number.
constexpr std::int64_t kMaxBlockBytes = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void RaiseEmptyAllocation() {
  throw framework::Exception("Empty Array Allocation");
}

}  // namespace

THugeArray::THugeArray(int initialCapacity, int itemSize) : itemSize_(itemSize) {
  // A negative size cannot describe a block any more than a zero one can.
  if (initialCapacity <= 0 || itemSize <= 0) RaiseEmptyAllocation();
  SetCapacity(initialCapacity);
  initialCapacity_ = initialCapacity;
}

THugeArray::~THugeArray() {
  std::free(data_);
}

void THugeArray::Changed() {
  if (OnChange) OnChange(this);
}

int THugeArray::Add(const void* item) {
  return AddObject(item, nullptr);
}

int THugeArray::AddObject(const void* item, void* object) {
  Grow();
  const int index = count_;
  std::memcpy(ItemPtr(index), item, static_cast<std::size_t>(itemSize_));
  ++count_;
  objects_.push_back(object);
  Changed();
  return index;
}

void THugeArray::Put(const void* item, int index) {
  std::memcpy(ItemPtr(index), item, static_cast<std::size_t>(itemSize_));
  Changed();
}

void THugeArray::Insert(const void* item, int index) {
  if (index < 0 || index > count_) return;
  Grow();
  // memmove: source and destination overlap by all but one slot.
  std::memmove(ItemPtr(index + 1), ItemPtr(index),
               static_cast<std::size_t>(count_ - index) * static_cast<std::size_t>(itemSize_));
  std::memcpy(ItemPtr(index), item, static_cast<std::size_t>(itemSize_));
  ++count_;
  objects_.insert(objects_.begin() + index, nullptr);
  Changed();
}

void THugeArray::Delete(int index) {
  if (index < 0 || index >= count_) return;
  std::memmove(ItemPtr(index), ItemPtr(index + 1),
               static_cast<std::size_t>(count_ - index - 1) * static_cast<std::size_t>(itemSize_));
  --count_;
  objects_.erase(objects_.begin() + index);
  Changed();
}

void THugeArray::Exchange(int i, int j) {
  auto* first = static_cast<unsigned char*>(ItemPtr(i));
  auto* second = static_cast<unsigned char*>(ItemPtr(j));
  if (first != second) std::swap_ranges(first, first + itemSize_, second);
  std::swap(objects_[static_cast<std::size_t>(i)], objects_[static_cast<std::size_t>(j)]);
  Changed();
}

void THugeArray::Clear() {
  count_ = 0;
  SetCapacity(initialCapacity_);
  growDelta_ = 4;
  objects_.clear();
  Changed();
}

void THugeArray::Sort(const TCompareFunc& compare) {
  if (count_ > 0) QuickSort(0, count_ - 1, compare);
}

void THugeArray::SortByValue() {}

void THugeArray::QuickSort(int left, int right, const TCompareFunc& compare) {
  int i;
  do {
    i = left;
    int j = right;
    // The pivot is an address into the block, so after a swap it must follow its value.
    const void* pivot = ItemPtr(static_cast<int>((static_cast<unsigned>(left) + right) >> 1));
    do {
      while (compare(ItemPtr(i), pivot) < 0) ++i;
      while (compare(ItemPtr(j), pivot) > 0) --j;
      if (i <= j) {
        Exchange(i, j);
        if (pivot == ItemPtr(i)) {
          pivot = ItemPtr(j);
        } else if (pivot == ItemPtr(j)) {
          pivot = ItemPtr(i);
        }
        ++i;
        --j;
      }
    } while (i <= j);
    if (left < j) QuickSort(left, j, compare);
    left = i;
  } while (i < right);
}

void THugeArray::Grow() {
  if (count_ < capacity_) return;
  capacity_ = count_;
  if (count_ > 64) {
    growDelta_ = count_ / 4;
  } else if (count_ > 8) {
    growDelta_ = 16;
  } else {
    growDelta_ = 4;
  }
  const std::int64_t newCapacity = static_cast<std::int64_t>(capacity_) + growDelta_;
  if (newCapacity > std::numeric_limits<int>::max()) throw EOutOfMemory();
  SetCapacity(static_cast<int>(newCapacity));
}

void THugeArray::SetCapacity(int newCapacity) {
  if (newCapacity == 0) RaiseEmptyAllocation();
  // Computed in 64 bits: a product past the 32-bit byte count would otherwise wrap into a
  // block smaller than the items written to it.
  const std::int64_t bytes = static_cast<std::int64_t>(newCapacity) * itemSize_;
  if (newCapacity < 0 || bytes > kMaxBlockBytes) throw EOutOfMemory();
  void* block = ReallocateBlock(data_, static_cast<std::size_t>(bytes));
  if (!block) throw EOutOfMemory();  // the old block, Capacity and Count stay as they were
  data_ = static_cast<unsigned char*>(block);
  allocatedBytes_ = static_cast<int>(bytes);
  capacity_ = newCapacity;
}

void* THugeArray::ReallocateBlock(void* block, std::size_t bytes) {
  return std::realloc(block, bytes);
}

void THugeArray::TruncateTo(int count) {
  count_ = count;
  objects_.resize(static_cast<std::size_t>(count));
}

// ---------------------------------------------------------------------------------------------

THugeDouble::THugeDouble(int initialCapacity) : THugeArray(initialCapacity, sizeof(double)) {}

int THugeDouble::Add(double value) {
  return THugeArray::Add(&value);
}

int THugeDouble::AddObject(double value, void* object) {
  return THugeArray::AddObject(&value, object);
}

void THugeDouble::Put(int index, double value) {
  THugeArray::Put(&value, index);
}

void THugeDouble::Insert(int index, double value) {
  THugeArray::Insert(&value, index);
}

namespace {

int SignOf(double difference) {
  if (difference > 0.0) return 1;
  if (difference < 0.0) return -1;
  return 0;
}

int CompareAscending(const void* first, const void* second) {
  double a;
  double b;
  std::memcpy(&a, first, sizeof a);
  std::memcpy(&b, second, sizeof b);
  return SignOf(a - b);
}

int CompareDescending(const void* first, const void* second) {
  return CompareAscending(second, first);
}

}  // namespace

void THugeDouble::SortByValue() {
  THugeArray::SortByValue();
  Sort(Ascending() ? TCompareFunc(CompareAscending) : TCompareFunc(CompareDescending));
}

}  // namespace components
