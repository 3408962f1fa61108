// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/Password.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/ReceiveThread.h"
#include "params/Eeprom.h"
#include "params/EepromSetNormalUser.h"
#include "portset/CommandSet.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

constexpr const char* kFormName = "FormPasswordSet";
// Compared as whole texts, letter case included, nothing trimmed.
constexpr const char* kUserEditorCode = "kelp";
constexpr const char* kFactoryEditorCode = "harbourlinen";

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

TFormPasswordSet::TFormPasswordSet(QWidget* parent, TUserParamEditor* zEditor, TUserParamEditor* eEditor)
    : QDialog(parent), zEditor_(zEditor), eEditor_(eEditor) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("Authorization"));
  lblpwd = Named(new QLabel(QStringLiteral("Please input the authorization code"), this), "lblpwd");
  lblpwdtip = Named(new QLabel(QStringLiteral("Authorization code:"), this), "lblpwdtip");
  edtpwd = Named(new QLineEdit(this), "edtpwd");
  edtpwd->setEchoMode(QLineEdit::Password);
  btnok = Named(new QPushButton(QStringLiteral("OK"), this), "btnok");
  btnok->setDefault(true);
  btncancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "btncancel");
  connect(btnok, &QPushButton::clicked, this, &TFormPasswordSet::btnokClick);
  connect(btncancel, &QPushButton::clicked, this, &TFormPasswordSet::btncancelClick);

  auto* field = new QHBoxLayout;
  field->addWidget(lblpwdtip);
  field->addWidget(edtpwd, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnok);
  buttons->addWidget(btncancel);
  auto* form = new QVBoxLayout(this);
  form->addWidget(lblpwd);
  form->addLayout(field);
  form->addLayout(buttons);
  form->setSizeConstraint(QLayout::SetFixedSize);  // fixed size, just what the texts need
}

void TFormPasswordSet::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  layout()->activate();
  CentreOnOwner(this);
}

void TFormPasswordSet::FormShow() {
  Receive_Thread::Stop();
  InitDialog();
}

void TFormPasswordSet::InitDialog() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
}

void TFormPasswordSet::btnokClick() {
  const QString code = edtpwd->text();
  if (code.isEmpty()) {
    edtpwd->setFocus();
    return;
  }
  if (code != QLatin1String(kUserEditorCode) && code != QLatin1String(kFactoryEditorCode)) {
    ShowMessageQ(Tip("MiMaCuoWu"), Tip("MiMaCuoWuCaption"));
    edtpwd->clear();
    edtpwd->setFocus();
    return;
  }
  if (code == QLatin1String(kFactoryEditorCode)) {
    hide();
    TFormEeprom editor(parentWidget());  // modal, centred on the main window, gone when closed
    editor.exec();
  } else if (TUserParamEditor* editor = CommandSetIsZ() ? zEditor_ : eEditor_) {
    editor->show();
    editor->raise();
    editor->activateWindow();
  }
  accept();
}

void TFormPasswordSet::btncancelClick() { reject(); }

}  // namespace tw
