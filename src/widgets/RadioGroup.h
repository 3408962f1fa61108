// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A radio group: a titled box of radio buttons built from a list of entries, in one or more columns,
// with one selected position. The relabelling replaces its entries from ".Items" and keeps the
// selected position (the last entry when the position is beyond the new list).
#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace tw {

class TRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit TRadioGroup(QWidget* parent = nullptr, int columns = 1);
  QStringList items() const { return items_; }
  void setItems(const QStringList& items);
  int itemIndex() const;           // -1 when none is selected
  void setItemIndex(int index);    // emits clicked() like a user's click; -1 clears the selection
  int columns() const { return columns_; }

 signals:
  void clicked();

 private:
  QStringList items_;
  QButtonGroup* group_;
  int columns_;
};

}  // namespace tw
