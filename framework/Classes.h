#pragma once
// The component base of non-visual components: an owner that frees it, and the loading state
// during which property writes are only recorded. Standard C++ only; a component owned by a
// window is handed to it with framework::OwnedBy (framework/Forms.h).
#include <vector>

#include "framework/Controls.h"

namespace framework {

class TComponent : public TControlLoading {
 public:
  // An owner frees the components it owns when it goes; a component that goes first leaves
  // its owner's list.
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index); }

  // True while designing; this program never designs, but components honour the state.
  bool Designing() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }

 private:
  TComponent* owner_;
  std::vector<TComponent*> components_;
  bool designing_ = false;
};

}  // namespace framework
