#pragma once
#include <functional>
#include <string>

#include "ntp/IdBaseComponent.h"

namespace ntp {

using TIdStatusEvent =
    std::function<void(framework::TComponent* Sender, int Status, const std::string& Text)>;

// A socket component. The first one alive brings up the process-wide socket stack, the last
// one to go takes it down.
class TIdComponent : public TIdBaseComponent {
 public:
  explicit TIdComponent(framework::TComponent* owner = nullptr);
  ~TIdComponent() override;

  TIdStatusEvent OnStatus;

  // Live components in the process.
  static int LiveCount();
};

}  // namespace ntp
