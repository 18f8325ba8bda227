#pragma once
// Each platform area is an interface whose real implementation is used unless a test installs
// a fake for its own duration. `Api::Real()` gives the Linux stand-in of an area.

namespace platform {

template <class Api>
Api*& InstalledSlot() {
  static Api* slot = nullptr;
  return slot;
}

template <class Api>
Api& Current() {
  Api* installed = InstalledSlot<Api>();
  return installed ? *installed : Api::Real();
}

// Installs a fake area for the lifetime of this object, restoring what was there before.
template <class Api>
class ScopedOverride {
 public:
  explicit ScopedOverride(Api& fake) : previous_(InstalledSlot<Api>()) {
    InstalledSlot<Api>() = &fake;
  }
  ~ScopedOverride() { InstalledSlot<Api>() = previous_; }
  ScopedOverride(const ScopedOverride&) = delete;
  ScopedOverride& operator=(const ScopedOverride&) = delete;

 private:
  Api* previous_;
};

}  // namespace platform
