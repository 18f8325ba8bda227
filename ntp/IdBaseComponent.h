#pragma once
#include "framework/Classes.h"

namespace ntp {

// Root of the socket components.
class TIdBaseComponent : public framework::TComponent {
 public:
  using framework::TComponent::TComponent;
};

}  // namespace ntp
