// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/RadioGroup.h"

#include <QGridLayout>
#include <QRadioButton>

namespace tw {

TRadioGroup::TRadioGroup(QWidget* parent, int columns)
    : QGroupBox(parent), group_(new QButtonGroup(this)), columns_(columns < 1 ? 1 : columns) {
  group_->setExclusive(true);
  new QGridLayout(this);
  connect(group_, &QButtonGroup::idClicked, this, [this](int) { emit clicked(); });
}

void TRadioGroup::setItems(const QStringList& items) {
  const int kept = itemIndex();
  for (QAbstractButton* button : group_->buttons()) {
    group_->removeButton(button);
    delete button;
  }
  items_ = items;
  auto* grid = static_cast<QGridLayout*>(layout());
  const int rows = (static_cast<int>(items.size()) + columns_ - 1) / columns_;
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    grid->addWidget(button, rows > 0 ? i % rows : 0, rows > 0 ? i / rows : 0);
    // Shown at once (with the group, if it is hidden), so that the window's size hint counts it now
    // rather than after the next turn of the event loop.
    button->show();
  }
  // The selected position stays; beyond the new list the last entry is selected.
  if (kept >= 0 && !items.isEmpty()) {
    QAbstractButton* button = group_->button(kept < items.size() ? kept : static_cast<int>(items.size()) - 1);
    button->setChecked(true);
  }
}

int TRadioGroup::itemIndex() const { return group_->checkedId(); }

void TRadioGroup::setItemIndex(int index) {
  if (QAbstractButton* button = group_->button(index)) {
    button->setChecked(true);
  } else if (QAbstractButton* checked = group_->checkedButton()) {
    group_->setExclusive(false);
    checked->setChecked(false);
    group_->setExclusive(true);
  }
  emit clicked();
}

}  // namespace tw
