#pragma once
// What the visual components share of the framework's control classes beyond Qt's own: the
// text alignment values and the state of being read from a window description.

namespace framework {

// Horizontal alignment of a control's text.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// The loading state of a visual control: while a window description applies its stored
// properties, controls postpone work that depends on the whole set, and run it in Loaded.
class TControlLoading {
 public:
  virtual ~TControlLoading() = default;
  bool Loading() const { return loading_; }
  void BeginLoading() { loading_ = true; }
  void EndLoading() {
    loading_ = false;
    Loaded();
  }

 protected:
  virtual void Loaded() {}

 private:
  bool loading_ = false;
};

}  // namespace framework
