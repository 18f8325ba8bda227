#pragma once
// The component base of non-visual components: an owner that frees it (the Qt parent) and the
// loading state during which property writes are only recorded.
#include <QObject>

#include "framework/Controls.h"

namespace framework {

class TComponent : public QObject, public TControlLoading {
  Q_OBJECT
 public:
  explicit TComponent(QObject* owner = nullptr) : QObject(owner) {}
  QObject* Owner() const { return parent(); }

  // True while designing; this program never designs, but components honour the state.
  bool Designing() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }

 private:
  bool designing_ = false;
};

}  // namespace framework
