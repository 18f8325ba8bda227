#pragma once
// The component base of non-visual components: an owner that frees it (the Qt parent) and the
// loading state during which property writes are only recorded.
#include <QObject>

namespace framework {

class TComponent : public QObject {
  Q_OBJECT
 public:
  explicit TComponent(QObject* owner = nullptr) : QObject(owner) {}
  QObject* Owner() const { return parent(); }

  // True between BeginLoading and EndLoading, while a window description sets properties.
  bool Loading() const { return loading_; }
  // True while designing; this program never designs, but components honour the state.
  bool Designing() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }

  void BeginLoading() { loading_ = true; }
  // Ends loading and lets the component apply what was recorded meanwhile.
  void EndLoading() {
    loading_ = false;
    Loaded();
  }

 protected:
  virtual void Loaded() {}

 private:
  bool loading_ = false;
  bool designing_ = false;
};

}  // namespace framework
