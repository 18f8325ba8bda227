#pragma once
// A captioned group of radio buttons laid out in columns, one of which (ItemIndex) is chosen.
#include <QGroupBox>
#include <QStringList>
#include <functional>

class QButtonGroup;
class QGridLayout;

namespace framework {

class TRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit TRadioGroup(const QString& caption, QWidget* owner = nullptr);

  const QStringList& Items() const { return items_; }
  void SetItems(const QStringList& items);
  int Columns() const { return columns_; }
  void SetColumns(int columns);
  // The chosen item, -1 for none. Setting it does not raise OnClick.
  int ItemIndex() const;
  void SetItemIndex(int index);
  QString ItemCaption() const;

  // Raised when the user chooses an item.
  std::function<void(QObject* Sender)> OnClick;

 private:
  void Arrange();

  QStringList items_;
  int columns_ = 1;
  QButtonGroup* buttons_;
  QGridLayout* grid_;
};

}  // namespace framework
