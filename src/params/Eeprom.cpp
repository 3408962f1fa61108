// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/Eeprom.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/Ini.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/ExchangeSteps.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "params/ParamProtocol.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/JobPanel.h"
#include "widgets/RadioGroup.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

using factory::Control;
using factory::Kind;
using factory::Slots;

constexpr const char* kFormName = "FormEeprom";
constexpr const char* kIniFilter = "Ini Files(*.ini)|*.ini|All Files(*.*)|*.*";
constexpr std::array<int, 3> kStatusPanelWidths{350, 160, 150};
constexpr int kChoiceColumns = 6;
constexpr int kChoiceRowSpacing = 2;
constexpr int kEditDigits = 4;

QString AddressHint(int slot) {
  return QStringLiteral("地址:0x") + QStringLiteral("%1").arg(slot, 2, 16, QLatin1Char('0')).toUpper();
}

// Where each column begins when blocks of these heights are stacked in order into at most `columns`
// columns, with the tallest column as short as it can be.
std::vector<std::size_t> ColumnStarts(const std::vector<int>& heights, int columns) {
  if (heights.empty()) return {};
  for (int budget = *std::max_element(heights.begin(), heights.end());; ++budget) {
    std::vector<std::size_t> starts{0};
    int filled = 0;
    for (std::size_t i = 0; i < heights.size(); ++i) {
      if (filled + heights[i] > budget) {
        starts.push_back(i);
        filled = 0;
      }
      filled += heights[i];
    }
    if (static_cast<int>(starts.size()) <= columns) return starts;
  }
}

}  // namespace

TFormEeprom::TFormEeprom(QWidget* parent) : QDialog(parent), EditorFrame(this, kFormName) {
  setWindowTitle(QStringLiteral("工厂参数设置"));
  setModal(true);
  BuildControls();
  FormCreate();
}

void TFormEeprom::BuildControls() {
  BuildPages();
  BuildChoicePage();
  BuildNumberPage();
  BuildFileDialogs(kIniFilter);
  BuildStatusBar(kStatusPanelWidths);
  BuildFormLayout();
  connect(btnReadPrint, &QPushButton::clicked, this, &TFormEeprom::btnReadPrintClick);
  connect(btnSetPrint, &QPushButton::clicked, this, &TFormEeprom::btnSetPrintClick);
  connect(btnReadFile, &QPushButton::clicked, this, &TFormEeprom::btnReadFileClick);
  connect(btnWrintFile, &QPushButton::clicked, this, &TFormEeprom::btnWrintFileClick);
  btnSetPrint->setEnabled(false);
  btnWrintFile->setEnabled(false);
}

void TFormEeprom::BuildChoicePage() {
  // The radio groups stacked in columns in table order; hidden ones take no place.
  std::vector<TRadioGroup*> shown;
  std::vector<int> heights;  // in entry rows, the title counted as one
  for (const factory::Slot& slot : Slots()) {
    for (const Control& control : slot.controls) {
      if (control.kind != Kind::Choice) continue;
      TRadioGroup* group = AddRadioGroup(TabSheet3, control.name, control.caption, control.items, control.columns);
      group->setItemIndex(0);
      group->setToolTip(AddressHint(slot.number));
      group->setEnabled(!control.disabled);
      static_cast<QGridLayout*>(group->layout())->setVerticalSpacing(kChoiceRowSpacing);
      // Choosing an entry gives up the bits that a printer read held for the group.
      const std::string name = control.name;
      connect(group, &TRadioGroup::clicked, this, [this, name] { values_.held.erase(name); });
      if (control.hidden) {
        group->hide();
        continue;
      }
      shown.push_back(group);
      heights.push_back((control.ItemCount() + control.columns - 1) / control.columns + 1);
    }
  }
  const std::vector<std::size_t> starts = ColumnStarts(heights, kChoiceColumns);
  auto* row = new QHBoxLayout(TabSheet3);
  QVBoxLayout* column = nullptr;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (std::find(starts.begin(), starts.end(), i) != starts.end()) {
      if (column) column->addStretch(1);
      column = new QVBoxLayout;
      row->addLayout(column);
    }
    column->addWidget(shown[i]);
  }
  if (column) column->addStretch(1);
}

void TFormEeprom::BuildNumberPage() {
  // The edits in two columns of label and field, in table order, the first half on the left.
  auto* grid = new QGridLayout(TabSheet12);
  std::vector<std::pair<QLabel*, QLineEdit*>> lines;
  QValidator* hexValidator = NewHexValidator();
  for (const factory::Slot& slot : Slots()) {
    for (const Control& control : slot.controls) {
      if (control.kind != Kind::HexEdit) continue;
      // Four digits at most, typed or pasted: a longer text has no place in a 16-bit word.
      QLineEdit* edit = AddEdit(TabSheet12, control.name, kEditDigits);
      edit->setValidator(hexValidator);
      edit->installEventFilter(this);
      QLabel* label = NewEditLabel(edit, control.caption, AddressHint(slot.number));
      editLabels_[edit->objectName()] = label;
      if (control.hidden) {
        edit->hide();
        label->hide();
        continue;
      }
      lines.emplace_back(label, edit);
    }
  }
  const int perColumn = static_cast<int>((lines.size() + 1) / 2);
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    const int column = (i / perColumn) * 3;
    grid->addWidget(lines[i].first, i % perColumn, column);
    grid->addWidget(lines[i].second, i % perColumn, column + 1);
  }
  grid->setColumnMinimumWidth(2, 16);
  grid->setColumnStretch(2, 1);
  grid->setColumnStretch(5, 1);
  grid->setRowStretch(perColumn, 1);
}

// ---- Life cycle ----

void TFormEeprom::FormCreate() { PageControl1->setCurrentIndex(0); }

void TFormEeprom::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;  // a window restored by the window system is not a new showing
  FormShow();
  CentreOnOwner(this);
}

void TFormEeprom::FormShow() {
  Receive_Thread::Stop();
  InitDialog();
  statusPanels[0]->setText(Tip("PortName") + OpenPortName());
  // Nothing can be read through the spooler.
  if (Link().currentKind == PortKind::Spooler) btnReadPrint->setEnabled(false);
}

void TFormEeprom::InitDialog() {
  Relabel();
  FitToTexts();
}

void TFormEeprom::keyPressEvent(QKeyEvent* event) {
  if (!HandleHelpKey(event)) QDialog::keyPressEvent(event);
}

bool TFormEeprom::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
    return !edtLABEL_LENGTHKeyPress(static_cast<QKeyEvent*>(event));
  }
  return QDialog::eventFilter(watched, event);
}

// Digits, A-F and a-f pass, any other character is dropped with a beep.
bool TFormEeprom::edtLABEL_LENGTHKeyPress(QKeyEvent* event) { return AcceptHexKey(event); }

// ---- Controls and values ----

void TFormEeprom::CollectControls() {
  for (const auto& [name, edit] : edits_) values_.texts[name.toStdString()] = edit->text().toStdString();
  for (const auto& [name, group] : groups_) values_.positions[name.toStdString()] = group->itemIndex();
}

void TFormEeprom::ShowValues() {
  for (const auto& [name, text] : values_.texts) {
    if (QLineEdit* edit = Edit(QString::fromStdString(name))) edit->setText(QString::fromStdString(text));
  }
  for (const auto& [name, position] : values_.positions) {
    if (TRadioGroup* group = Group(QString::fromStdString(name))) {
      const QSignalBlocker quiet(group);  // not the user's choice: the held bits stay
      group->setItemIndex(position);
    }
  }
}

void TFormEeprom::RefuseWrite(const factory::Refusal& refusal) {
  const QString name = QString::fromStdString(refusal.control);
  if (refusal.reason == factory::Refusal::Reason::NoChoice) {
    TRadioGroup* group = Group(name);
    ShowBox(FormText("NoChoice", QStringLiteral("请为“%1”选择一项。没有向打印机写入任何参数。"))
                .arg(group ? group->title() : name),
            MsgIcon::Error);
    PageControl1->setCurrentWidget(TabSheet3);
    return;
  }
  const QLabel* label = EditLabel(name);
  QString what = label ? label->text() : name;
  while (what.endsWith(u':') || what.endsWith(u'：')) what.chop(1);
  ShowBox(FormText("BadHexValue",
                   QStringLiteral("“%1”的值“%2”无效：请输入0到%3之间的十六进制数。没有向打印机写入任何参数。"))
              .arg(what.trimmed(), QString::fromStdString(refusal.text), QString::number(refusal.limit, 16).toUpper()),
          MsgIcon::Error);
  if (QLineEdit* edit = Edit(name); edit && !edit->isHidden()) {
    PageControl1->setCurrentWidget(TabSheet12);
    edit->setFocus();
    edit->selectAll();
  }
}

// ---- Reading and writing the printer ----

void TFormEeprom::btnReadPrintClick() {
  if (!RequirePortOpen()) return;
  btnReadPrint->setEnabled(false);
  StopReceiving();
  CollectControls();
  // The job takes the replies into the values; the window shows them once it has ended.
  const LinkJob::Outcome outcome = RunLinkJob(this, LinkJob::Kind::Read, [&](LinkJob&) {
    DiscardPendingInput();  // stale input would be taken for the first slot's reply
    const int total = static_cast<int>(Slots().size());
    for (int i = 0; i < total; ++i) {
      if (!ExchangeStep(i, total)) return false;
      const factory::Slot& slot = Slots()[i];
      const std::optional<std::string> reply = ReadParameterSlot(slot.readAddress);
      if (!reply || !factory::TakeSlotReply(slot, *reply, values_)) return false;
    }
    return true;
  });
  ShowValues();  // the slots read so far keep their new values
  switch (outcome) {
    case LinkJob::Outcome::Done: ShowReadFinished(); break;
    case LinkJob::Outcome::Failed: ShowFail(1); break;
    default: btnReadPrint->setEnabled(true); break;
  }
}

bool TFormEeprom::CloseCommedCheck(bool flag) {
  DiscardPendingInput();
  if (flag) SendToPrinter(kCheckModeSetup);
  SendToPrinter(flag ? kCheckModeOn : kCheckModeOff);
  return true;
}

void TFormEeprom::btnSetPrintClick() {
  // Every value is built before anything is sent: a refused entry must not leave the printer
  // half written or in check mode.
  CollectControls();
  std::vector<std::string> words;
  for (const factory::Slot& slot : Slots()) {
    auto built = factory::SlotValueToWrite(slot, values_);
    if (const auto* refusal = std::get_if<factory::Refusal>(&built)) {
      RefuseWrite(*refusal);
      return;
    }
    words.push_back(std::get<std::string>(std::move(built)));
  }

  StopReceiving();
  btnSetPrint->setEnabled(false);
  // Check mode, the words, the store command and the end of check mode: once begun, to the end.
  const LinkJob::Outcome outcome = RunLinkJob(this, LinkJob::Kind::CheckedWrite, [&](LinkJob&) {
    CloseCommedCheck(true);
    for (std::size_t i = 0; i < words.size(); ++i) {
      ExchangeStep(static_cast<int>(i), static_cast<int>(words.size()));
      if (!WriteParameterSlot(Slots()[i].writeAddress, words[i])) return false;
    }
    if (!SendToPrinter(kStoreParameters)) return false;
    CloseCommedCheck(false);
    Pause(pace::kAfterFactoryWrite);
    return true;
  });
  if (outcome == LinkJob::Outcome::Failed) {
    ShowFail(2);
    return;
  }
  if (outcome == LinkJob::Outcome::Done) ShowBox(Tip("UpdateFinish"));
  btnSetPrint->setEnabled(true);
}

// ---- Parameter files ----

void TFormEeprom::btnReadFileClick() {
  if (!RequirePortOpen()) return;
  const QString path = OpenEEPRomDialog->Execute(this);
  if (path.isEmpty()) return;
  CollectControls();
  const factory::IniLoadReport report = factory::LoadParameterFile(LocalFilePath(path), values_);
  switch (report.status) {
    case factory::IniLoadReport::Status::CannotOpen:
      ShowBox(Tip("NotOpenFileMessageBox") + u'"' + path + u'"', MsgIcon::Error);
      return;
    case factory::IniLoadReport::Status::NoParameters:
      ShowBox(FormText("IniNoParameters", QStringLiteral("文件“%1”中没有任何参数，未读入。")).arg(path),
              MsgIcon::Warning);
      return;
    case factory::IniLoadReport::Status::Loaded: break;
  }
  ShowValues();
  btnSetPrint->setEnabled(true);
  btnWrintFile->setEnabled(true);
  if (!report.rejectedKeys.empty()) {
    QStringList keys;
    for (const std::string& key : report.rejectedKeys) keys << QString::fromStdString(key);
    ShowBox(FormText("IniBadValues", QStringLiteral("文件中以下参数的值无效，这些参数保持不变：%1"))
                .arg(keys.join(QStringLiteral(", "))),
            MsgIcon::Warning);
  }
}

void TFormEeprom::btnWrintFileClick() {
  int filterIndex = 1;
  const QString chosen = SaveEEpRomDialog->Execute(this, &filterIndex);
  if (chosen.isEmpty()) return;
  const QString path = QString::fromStdString(factory::ParameterFileName(chosen.toStdString(), filterIndex));
  CollectControls();
  try {
    factory::SaveParameterFile(LocalFilePath(path), values_);
  } catch (const IniWriteError&) {
    ShowBox(Tip("FileWriteFail") + u'"' + path + u'"', MsgIcon::Error);
  }
}

}  // namespace tw
