#include "framework/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

#include "framework/Forms.h"

namespace framework {

TRadioGroup::TRadioGroup(const QString& caption, QWidget* owner)
    : QGroupBox(caption, owner), buttons_(new QButtonGroup(this)), grid_(new QGridLayout(this)) {
  buttons_->setExclusive(true);
  grid_->setContentsMargins(6, 2, 6, 2);
  grid_->setVerticalSpacing(0);
  connect(buttons_, &QButtonGroup::idClicked, this, [this](int) {
    if (OnClick) RunGuarded([this] { OnClick(this); });
  });
}

void TRadioGroup::SetItems(const QStringList& items) {
  if (items == items_) return;
  items_ = items;
  Arrange();
}

void TRadioGroup::SetColumns(int columns) {
  columns = std::max(1, columns);
  if (columns == columns_) return;
  columns_ = columns;
  Arrange();
}

void TRadioGroup::Arrange() {
  const int chosen = ItemIndex();
  for (QAbstractButton* button : buttons_->buttons()) {
    buttons_->removeButton(button);
    delete button;
  }
  for (int i = 0; i < items_.size(); ++i) {
    auto* button = new QRadioButton(items_[i], this);
    buttons_->addButton(button, i);
    grid_->addWidget(button, i / columns_, i % columns_);
  }
  SetItemIndex(chosen);
}

int TRadioGroup::ItemIndex() const {
  return buttons_->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
  if (QAbstractButton* button = buttons_->button(index)) {
    button->setChecked(true);
  } else if (QAbstractButton* checked = buttons_->checkedButton()) {
    buttons_->setExclusive(false);
    checked->setChecked(false);
    buttons_->setExclusive(true);
  }
}

QString TRadioGroup::ItemCaption() const {
  const int index = ItemIndex();
  return index >= 0 ? items_.value(index) : QString();
}

}  // namespace framework
