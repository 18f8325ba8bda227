#pragma once
// Growable arrays of fixed-size items kept in one contiguous block, with one object pointer per
// item and a change notification. THugeDouble holds one double per item.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "framework/SysUtils.h"

namespace components {

// Raised when a block cannot be allocated or would exceed the 32-bit byte count an array keeps.
class EOutOfMemory : public framework::Exception {
 public:
  EOutOfMemory() : framework::Exception("Out of memory") {}
};

class THugeArray {
 public:
  // Compares the items at the two addresses: negative, zero or positive.
  using TCompareFunc = std::function<int(const void* first, const void* second)>;

  // Raises framework::Exception "Empty Array Allocation" when the block would hold no bytes,
  // EOutOfMemory when it cannot be had.
  THugeArray(int initialCapacity, int itemSize);
  virtual ~THugeArray();
  THugeArray(const THugeArray&) = delete;
  THugeArray& operator=(const THugeArray&) = delete;

  int ItemSize() const { return itemSize_; }
  int AllocatedBytes() const { return allocatedBytes_; }
  int GrowDelta() const { return growDelta_; }
  int InitialCapacity() const { return initialCapacity_; }
  int Capacity() const { return capacity_; }
  int Count() const { return count_; }
  bool Ascending() const { return ascending_; }
  void SetAscending(bool ascending) { ascending_ = ascending; }
  // One pointer per item, in item order; the array never owns what they point to.
  const std::vector<void*>& Objects() const { return objects_; }

  // Called after every change of content or order.
  std::function<void(THugeArray* Sender)> OnChange;

  // Address of the item's bytes; the caller keeps 0 <= index < Capacity.
  void* ItemPtr(int index) const { return data_ + static_cast<std::ptrdiff_t>(index) * itemSize_; }

  virtual void Changed();
  // Appends ItemSize bytes from `item`; returns the new item's index.
  virtual int Add(const void* item);
  // Does nothing when index is outside 0 .. Count - 1.
  virtual void Delete(int index);
  // Swaps items i and j and their object pointers; both must be below Count.
  virtual void Exchange(int i, int j);
  virtual void Sort(const TCompareFunc& compare);
  virtual void SortByValue();
  // Empties the array and shrinks the block back to the initial capacity.
  virtual void Clear();

  int AddObject(const void* item, void* object);
  // Overwrites item `index`; the caller keeps 0 <= index < Count.
  void Put(const void* item, int index);
  // Does nothing when index < 0 or index > Count; index == Count appends.
  void Insert(const void* item, int index);

 protected:
  // Makes room for one more item, growing by 4, 16 or a quarter of Count slots.
  void Grow();
  // Reallocates the block to `newCapacity` items keeping its contents; Count is untouched.
  void SetCapacity(int newCapacity);
  // Resizes a block as std::realloc does; returns null when the memory cannot be had.
  virtual void* ReallocateBlock(void* block, std::size_t bytes);
  // Lets a derived store drop its newest items without notification.
  void TruncateTo(int count);

 private:
  void QuickSort(int left, int right, const TCompareFunc& compare);

  int itemSize_ = 0;
  int allocatedBytes_ = 0;
  unsigned char* data_ = nullptr;
  int growDelta_ = 4;
  int initialCapacity_ = 0;
  int capacity_ = 0;
  bool ascending_ = true;
  int count_ = 0;
  std::vector<void*> objects_;
};

class THugeDouble : public THugeArray {
 public:
  explicit THugeDouble(int initialCapacity);

  // Appends through the overridable Add, so OnChange fires.
  virtual int Add(double value);
  int AddObject(double value, void* object);
  // No bounds check: the caller keeps 0 <= index < Count. Inline, so that loops over the
  // items read the block directly.
  double Get(int index) const { return Data()[index]; }
  // Items 0 … Count - 1 in order, one double each; valid until the block
  // moves (an append, insert or Clear).
  const double* Data() const { return static_cast<const double*>(ItemPtr(0)); }
  void Put(int index, double value);
  void Insert(int index, double value);
  // Sorts by value, ascending or descending as Ascending says.
  void SortByValue() override;
};

}  // namespace components
