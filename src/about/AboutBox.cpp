// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/AboutBox.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "widgets/JpegImage.h"
#include "widgets/Ui.h"

// The picture is compiled into this static library; its resources must be registered by hand.
static void InitAboutResources() { Q_INIT_RESOURCE(about); }

namespace tw {
namespace {

constexpr const char* kFormName = "AboutBox";
constexpr const char* kPicture = ":/about/about.jpg";
// The version line as designed; "%1" stands for the version number, also in the language files.
const QString kVersionLine = QStringLiteral("版本 %1");

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

QString BuildVersion() { return QStringLiteral(TW_VERSION); }

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  InitAboutResources();
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("关于"));
  setModal(true);

  ProgramIcon = Named(new QLabel(this), "ProgramIcon");
  const QImage picture = LoadJpeg(QString::fromLatin1(kPicture));
  if (!picture.isNull()) ProgramIcon->setPixmap(QPixmap::fromImage(picture));
  ProductName = Named(new QLabel(QStringLiteral("Tagwright"), this), "ProductName");
  QFont nameFont = ProductName->font();
  nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
  nameFont.setBold(true);
  ProductName->setFont(nameFont);
  Version = Named(new QLabel(kVersionLine, this), "Version");
  Comments = Named(new QLabel(QStringLiteral("热敏标签打印机配置与调试工具"), this), "Comments");
  Copyright = Named(new QLabel(QStringLiteral("版权所有 © 2026 Tagwright 开发者"), this), "Copyright");
  License = Named(new QLabel(QStringLiteral("许可证：GNU 通用公共许可证第 3 版或更高版本 (GPL-3.0-or-later)"), this),
                  "License");
  OKButton = Named(new QPushButton(QStringLiteral("确定"), this), "OKButton");
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  for (QLabel* line : {ProductName, Version, Comments, Copyright, License}) texts->addWidget(line);
  texts->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(ProgramIcon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  auto* form = new QVBoxLayout(this);
  form->addLayout(top);
  form->addLayout(buttons);
  form->setSizeConstraint(QLayout::SetFixedSize);  // fixed size, just what the texts need
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  layout()->activate();
  CentreOnOwner(this);
}

void TAboutBox::FormShow() { InitDialog(); }

void TAboutBox::InitDialog() {
  // The version line is relabelled as a pattern, then the number goes in.
  Version->setText(kVersionLine);
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
  QString line = Version->text();
  if (!line.contains(QLatin1String("%1"))) line += QStringLiteral(" %1");
  Version->setText(line.arg(BuildVersion()));
}

}  // namespace tw
