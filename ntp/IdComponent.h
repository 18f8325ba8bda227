#pragma once
#include <QString>
#include <functional>

#include "ntp/IdBaseComponent.h"

namespace ntp {

using TIdStatusEvent = std::function<void(QObject* Sender, int Status, const QString& Text)>;

// A socket component. The first one alive brings up the process-wide socket stack, the last
// one to go takes it down.
class TIdComponent : public TIdBaseComponent {
  Q_OBJECT
 public:
  explicit TIdComponent(QObject* owner = nullptr);
  ~TIdComponent() override;

  TIdStatusEvent OnStatus;

  // Live components in the process.
  static int LiveCount();
};

}  // namespace ntp
