#include "ntp/IdComponent.h"

#include "ntp/IdStack.h"

namespace ntp {

namespace {
int live_components = 0;
}

TIdComponent::TIdComponent(framework::TComponent* owner) : TIdBaseComponent(owner) {
  // Raises when the socket library cannot be brought up; then this component never lived.
  if (live_components == 0) CreateSocketStack();
  ++live_components;
}

TIdComponent::~TIdComponent() {
  if (--live_components == 0) DestroySocketStack();
}

int TIdComponent::LiveCount() {
  return live_components;
}

}  // namespace ntp
