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

TFormPasswordSet::TFormPasswordSet(QWidget* parent, TFormEepromNormalUser* zEditor)
    : QDialog(parent), zEditor_(zEditor) {
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
  if (QWidget* owner = parentWidget()) {
    move(owner->window()->frameGeometry().center() - (frameGeometry().center() - pos()));
  }
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
    ShowNotAvailable("FactoryEditorNotAvailable", "本版本尚未提供工厂参数设置窗口。");
  } else if (!CommandSetIsZ()) {
    ShowNotAvailable("EplEditorNotAvailable", "本版本尚未提供WVLE指令集的用户参数设置窗口。");
  } else if (zEditor_) {
    zEditor_->show();
    zEditor_->raise();
    zEditor_->activateWindow();
  }
  accept();
}

void TFormPasswordSet::btncancelClick() { reject(); }

void TFormPasswordSet::ShowNotAvailable(const char* tipKey, const char* designed) {
  // The catalog loads only the keys it lists, so this text is read from the Tips section itself.
  const QString text =
      LanguageText(LoadLanguageFile(CurrentLanguageFile()), "Tips", tipKey, QString::fromUtf8(designed));
  ShowMessageQ(text, windowTitle(), MsgIcon::Information);
}

}  // namespace tw
