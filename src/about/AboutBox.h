// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The about box: the product name, the version of this build, the copyright and licence lines and a
// picture.
// Modal, opened from the help menu's about item, created anew for each use.
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace tw {

// The version of this build (the project's version, given by the build).
QString BuildVersion();

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  void FormShow();    // relabels and fills in the version
  void InitDialog();  // relabels from the current language file

  QLabel *ProgramIcon, *ProductName, *Version, *Comments, *Copyright, *License;
  QPushButton* OKButton;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace tw
