// SPDX-License-Identifier: GPL-3.0-or-later
#include "params/EepromSetNormalUser.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <optional>
#include <span>
#include <vector>

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

constexpr const char* kDumpFilter = "Eep Files(*.eep)|*.eep|All Files(*.*)|*.*";

// The radio groups of the choice page stand in rows of this many.
constexpr int kChoiceColumns = 5;
// The line between the parts of the number page: longer than any page is wide, cut at its edge.
constexpr int kDividerUnderscores = 240;

// ---- Values ----

QString Hex4(unsigned value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper(); }
std::string Hex4Text(unsigned value) { return Hex4(value).toStdString(); }

// An edit's number: up to four hexadecimal digits (completed with zeros on the left), or up to five
// decimal digits; nullopt for an empty edit or any other character.
std::optional<unsigned> EditNumber(const QString& text, bool hex) {
  if (hex) {
    const std::optional<std::string> completed = SlotValueText(text.toStdString());
    if (!completed) return std::nullopt;
    return static_cast<unsigned>(ParseSlotValue(*completed));
  }
  if (text.isEmpty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= u'0' && c <= u'9';
      })) {
    return std::nullopt;
  }
  return text.toUInt();
}

// The value a radio group writes: its item index at its bits, or the value of its item where the
// items write values of their own; nothing selected writes 0.
unsigned ChoiceValue(const ControlSpec& control, int index) {
  if (index < 0) return 0;
  if (control.itemValues.empty()) return static_cast<unsigned>(index) << control.bits.first;
  // A relabelled list longer than the designed one writes the last designed value.
  return control.itemValues[std::min(static_cast<std::size_t>(index), control.itemValues.size() - 1)];
}

UserEditorDesign ZDesign() {
  return {"FormEepromNormalUser", &ZUserRows(), ZUserRows().size(), {350, 160, 150},
          /*dumpInReadOnceMode=*/true, /*pagesInParts=*/false};
}

}  // namespace

TUserParamEditor::TUserParamEditor(QWidget* parent, ResetCommand reset, const UserEditorDesign& design)
    : QWidget(parent, Qt::Window), EditorFrame(this, design.formName), design_(design), reset_(std::move(reset)) {
  setWindowTitle(QStringLiteral("打印机参数设置"));
  BuildControls();
  SetDefaults(Rows().size());
  FormCreate();
}

TFormEepromNormalUser::TFormEepromNormalUser(QWidget* parent, ResetCommand reset)
    : TUserParamEditor(parent, std::move(reset), ZDesign()) {}

void TUserParamEditor::BuildControls() {
  BuildPages();
  BuildChoicePage();
  BuildNumberPage();
  BuildFileDialogs(kDumpFilter);
  SaveEEpRomDialog->defaultSuffix = QStringLiteral("eep");
  TimerReadEep = new QTimer(this);
  TimerReadEep->setObjectName(QStringLiteral("TimerReadEep"));
  TimerReadEep->setInterval(pace::kDumpTimerTick.ms);
  connect(TimerReadEep, &QTimer::timeout, this, &TUserParamEditor::TimerReadEepTimer);
  BuildStatusBar(design_.statusPanelWidths);
  BuildFormLayout();
  connect(btnReadPrint, &QPushButton::clicked, this, &TUserParamEditor::btnReadPrintClick);  // each editor's own
  connect(btnSetPrint, &QPushButton::clicked, this, &TUserParamEditor::btnSetPrintClick);
  connect(btnReadFile, &QPushButton::clicked, this, &TUserParamEditor::btnReadFileClick);
  connect(btnWrintFile, &QPushButton::clicked, this, &TUserParamEditor::btnWrintFileClick);
}

std::vector<std::vector<const SettingRow*>> TUserParamEditor::PageParts(Page page) const {
  const std::vector<Part> order = design_.pagesInParts ? std::vector<Part>{Part::Shared, Part::Epl, Part::Network}
                                                       : std::vector<Part>{};
  std::vector<std::vector<const SettingRow*>> parts(std::max<std::size_t>(order.size(), 1));
  for (const SettingRow& row : Rows()) {
    if (row.page != page) continue;
    const auto at = std::find(order.begin(), order.end(), row.part);
    parts[at == order.end() ? 0 : static_cast<std::size_t>(at - order.begin())].push_back(&row);
  }
  std::erase_if(parts, [](const auto& part) { return part.empty(); });
  return parts;
}

void TUserParamEditor::BuildChoicePage() {
  // The radio groups in rows of five, in table order; each part starts a new row.
  auto* grid = new QGridLayout(TabSheet3);
  int gridRow = 0;
  for (const std::vector<const SettingRow*>& part : PageParts(Page::Choices)) {
    int placed = 0;
    for (const SettingRow* row : part) {
      for (const ControlSpec& control : row->controls) {
        TRadioGroup* group = AddRadioGroup(TabSheet3, control.name, control.caption, control.items, control.columns);
        if (row->hint) group->setToolTip(QString::fromUtf8(row->hint));
        grid->addWidget(group, gridRow + placed / kChoiceColumns, placed % kChoiceColumns, Qt::AlignTop);
        ++placed;
      }
    }
    gridRow += (placed + kChoiceColumns - 1) / kChoiceColumns;
  }
  grid->setRowStretch(grid->rowCount(), 1);
}

void TUserParamEditor::BuildNumberPage() {
  // The edits in two columns of label and field, in table order, the first half of each part on the
  // left; the parts divided by a line of underscores.
  auto* grid = new QGridLayout(TabSheet12);
  QValidator* hexValidator = NewHexValidator();
  int nextRow = 0;
  for (const std::vector<const SettingRow*>& part : PageParts(Page::Numbers)) {
    if (nextRow > 0) {
      auto* divider = new QLabel(QString(kDividerUnderscores, u'_'), TabSheet12);
      divider->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);  // as wide as the page, no wider
      grid->addWidget(divider, nextRow++, 0, 1, 4);
    }
    nextRow += AddEditLines(grid, nextRow, part, hexValidator);
  }
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(nextRow, 1);
}

int TUserParamEditor::AddEditLines(QGridLayout* grid, int top, const std::vector<const SettingRow*>& rows,
                                   QValidator* hexValidator) {
  std::vector<std::pair<QLabel*, QLayout*>> lines;
  for (const SettingRow* row : rows) {
    QLabel* label = nullptr;
    auto* fields = new QHBoxLayout;
    for (const ControlSpec& control : row->controls) {
      const bool octet = control.kind == ControlKind::DecimalEdit && control.bits.Width() == 8;
      QLineEdit* edit = AddEdit(TabSheet12, control.name, control.kind == ControlKind::HexEdit ? 4 : octet ? 3 : 5);
      if (control.kind == ControlKind::HexEdit) {
        edit->setValidator(hexValidator);  // pasted text too
        edit->installEventFilter(this);
      }
      if (control.caption) {
        label = NewEditLabel(edit, control.caption, QString::fromUtf8(row->hint));
      } else {
        fields->addWidget(new QLabel(QStringLiteral("."), TabSheet12));  // between the octets
      }
      editLabels_[edit->objectName()] = label;  // the octets of an address share their row's label
      fields->addWidget(edit);
    }
    fields->addStretch(1);
    lines.emplace_back(label, fields);
  }
  const int perColumn = static_cast<int>((lines.size() + 1) / 2);
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    const int column = (i / perColumn) * 2;
    grid->addWidget(lines[i].first, top + i % perColumn, column);
    grid->addLayout(lines[i].second, top + i % perColumn, column + 1);
  }
  return perColumn;
}

// ---- Life cycle ----

void TUserParamEditor::FormCreate() {
  PageControl1->setCurrentIndex(0);
  Receive_Thread::Stop();
}

void TUserParamEditor::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // a window restored by the window system is not a new showing
  FormShow();
  CentreOnOwner(this);
}

void TUserParamEditor::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TUserParamEditor::FormShow() {
  Receive_Thread::Stop();
  btnReadPrint->setEnabled(true);
  btnReadFile->setEnabled(true);
  btnWrintFile->setEnabled(true);
  btnSetPrint->setEnabled(false);
  InitDialog();
  FillStatusPanels();
  // Nothing can be read through the spooler; loading and saving stay available.
  if (Link().currentKind == PortKind::Spooler) btnReadPrint->setEnabled(false);
}

void TUserParamEditor::FillStatusPanels() { statusPanels[0]->setText(Tip("PortName") + OpenPortName()); }

void TUserParamEditor::FormActivate() {
  Receive_Thread::Stop();
  Relabel();
  FitToTexts();
  FillStatusPanels();  // back from a write whose reset closed the link, or from the port dialog
}

void TUserParamEditor::InitDialog() {
  PageControl1->setCurrentIndex(0);
  Relabel();
  btnSetPrint->setEnabled(false);
  SetDefaults(design_.rowsResetOnShow);
  FitToTexts();
}

void TUserParamEditor::SetDefaults(std::size_t rowCount) {
  for (const SettingRow& row : std::span(Rows()).first(rowCount)) {
    for (const ControlSpec& control : row.controls) {
      if (control.kind == ControlKind::Choice) {
        Group(QString::fromLatin1(control.name))->setItemIndex(control.defaultIndex);
      } else {
        Edit(QString::fromLatin1(control.name))->clear();
      }
    }
  }
}

void TUserParamEditor::keyPressEvent(QKeyEvent* event) {
  if (!HandleHelpKey(event)) QWidget::keyPressEvent(event);
}

// The hexadecimal edits drop any character but digits, A-F and a-f, with a beep.
bool TUserParamEditor::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched) &&
      !AcceptHexKey(static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

// ---- Showing and taking values ----

void TUserParamEditor::ShowSlotValue(std::size_t rowIndex, std::size_t slotIndex, uint16_t value) {
  const SettingRow& row = Rows()[rowIndex];
  for (const ControlSpec& control : row.controls) {
    if (control.slot != slotIndex) continue;
    const unsigned part = (value >> control.bits.first) & control.bits.Mask();
    const QString name = QString::fromLatin1(control.name);
    switch (control.kind) {
      case ControlKind::HexEdit: Edit(name)->setText(Hex4(part)); break;
      case ControlKind::DecimalEdit: Edit(name)->setText(QString::number(part)); break;
      case ControlKind::Choice: {
        // A value at or beyond the item count selects the last item.
        TRadioGroup* group = Group(name);
        const int count = static_cast<int>(group->items().size());
        group->setItemIndex(std::min(static_cast<int>(part), count - 1));
        break;
      }
    }
  }
}

void TUserParamEditor::RememberPrinterRead(std::size_t row, std::size_t slot, uint16_t value) {
  const SlotSpec& slotSpec = Rows()[row].slotSpecs[slot];
  knownWords_[SlotNumber(slotSpec.address)] = slotSpec.readBits ? std::nullopt : std::optional<uint16_t>(value);
}

bool TUserParamEditor::SlotWordToWrite(std::size_t rowIndex, std::size_t slotIndex, uint16_t* word) {
  const SettingRow& row = Rows()[rowIndex];
  unsigned composed = 0;
  for (const ControlSpec& control : row.controls) {
    if (control.slot != slotIndex) continue;
    const QString name = QString::fromLatin1(control.name);
    const unsigned limit = control.bits.Mask();
    unsigned part = 0;
    if (control.kind == ControlKind::Choice) {
      composed |= ChoiceValue(control, Group(name)->itemIndex());
      continue;
    } else {
      // A value wider than its place would spill into the neighbouring bits: it is refused.
      QLineEdit* edit = Edit(name);
      const bool hex = control.kind == ControlKind::HexEdit;
      const std::optional<unsigned> number = EditNumber(edit->text(), hex);
      if (!number || *number > limit) {
        RefuseEdit(edit, hex ? "BadHexValue" : "BadDecimalValue",
                   hex ? QString::number(limit, 16).toUpper() : QString::number(limit));
        return false;
      }
      part = *number;
    }
    composed |= part << control.bits.first;
  }
  *word = static_cast<uint16_t>(composed);
  return true;
}

void TUserParamEditor::RefuseEdit(QLineEdit* edit, const char* messageKey, const QString& limit) {
  const bool hex = std::string_view(messageKey) == "BadHexValue";
  const QString designed =
      hex ? QStringLiteral("“%1”的值“%2”无效：请输入0到%3之间的十六进制数。没有向打印机写入任何参数。")
          : QStringLiteral("“%1”的值“%2”无效：请输入0到%3之间的十进制数。没有向打印机写入任何参数。");
  const QLabel* label = EditLabel(edit->objectName());
  QString what = label ? label->text() : edit->objectName();
  while (what.endsWith(u':') || what.endsWith(u'：')) what.chop(1);
  ShowBox(FormText(messageKey, designed).arg(what, edit->text(), limit), MsgIcon::Error);
  PageControl1->setCurrentWidget(TabSheet12);
  edit->setFocus();
  edit->selectAll();
}

bool TUserParamEditor::WriteSlot(std::size_t rowIndex, std::size_t slotIndex, uint16_t word) {
  const SettingRow& row = Rows()[rowIndex];
  const SlotSpec& slot = row.slotSpecs[slotIndex];
  if (slot.writeBits) {
    return WriteParameterField(slot.address, Hex4Text(word), BitNumber(slot.writeBits->first),
                               BitNumber(slot.writeBits->last));
  }
  const std::optional<uint16_t> known = knownWords_[SlotNumber(slot.address)];
  if (!known && slot.readBits) {
    // Only the field is known: written as that field, the printer keeps the rest of the word.
    return WriteParameterField(slot.address, Hex4Text((word >> slot.readBits->first) & slot.readBits->Mask()),
                               BitNumber(slot.readBits->first), BitNumber(slot.readBits->last));
  }
  const uint16_t shown = ShownBits(row, slotIndex);
  const uint16_t whole = static_cast<uint16_t>((word & shown) | (known.value_or(0) & ~shown));
  return WriteParameterSlot(slot.address, Hex4Text(whole));
}

// ---- Reading and writing the printer ----

void TFormEepromNormalUser::btnReadPrintClick() {
  if (!RequirePortOpen()) return;
  StopReceiving();
  btnReadPrint->setEnabled(false);
  // The job reads; the window shows what came once it has ended.
  const std::vector<RowSlot> reads = RowSlots(Rows());
  std::vector<uint16_t> values;
  const LinkJob::Outcome outcome = RunLinkJob(this, LinkJob::Kind::Read, [&](LinkJob&) {
    Link().readOnce = true;
    DiscardPendingInput();
    bool complete = true;
    for (std::size_t i = 0; i < reads.size() && complete; ++i) {
      const SlotSpec& slot = Rows()[reads[i].row].slotSpecs[reads[i].slot];
      complete = ExchangeStep(static_cast<int>(i), static_cast<int>(reads.size()));  // false: cancelled
      if (!complete) break;
      const std::optional<std::string> reply =
          slot.readBits
              ? ReadParameterField(slot.address, BitNumber(slot.readBits->first), BitNumber(slot.readBits->last))
              : ReadParameterSlot(slot.address);
      const std::optional<uint16_t> value = reply ? FourHexDigits(*reply) : std::nullopt;
      if (value) values.push_back(*value);
      complete = value.has_value();
    }
    Link().readOnce = false;
    return complete;
  });
  for (std::size_t i = 0; i < values.size(); ++i) {
    ShowSlotValue(reads[i].row, reads[i].slot, values[i]);
    RememberPrinterRead(reads[i].row, reads[i].slot, values[i]);
  }
  EndPrinterRead(outcome);
}

void TUserParamEditor::EndPrinterRead(LinkJob::Outcome outcome) {
  switch (outcome) {
    case LinkJob::Outcome::Done: ShowReadFinished(); break;
    case LinkJob::Outcome::Failed: ShowFail(1); break;
    case LinkJob::Outcome::Cancelled:
    case LinkJob::Outcome::Busy: btnReadPrint->setEnabled(true); break;
  }
}

void TUserParamEditor::btnSetPrintClick() {
  // Every word is built before anything is sent: an edit that does not fit is refused with the
  // printer untouched, never after some of its slots were written.
  std::vector<std::pair<RowSlot, uint16_t>> words;
  for (const RowSlot& write : RowSlots(Rows())) {
    uint16_t word = 0;
    if (!SlotWordToWrite(write.row, write.slot, &word)) return;  // the user corrects the edit and writes again
    words.emplace_back(write, word);
  }
  btnSetPrint->setEnabled(false);
  StopReceiving();
  // Slot by slot in table order, the slots of a row in the order listed; once begun, to the end.
  const LinkJob::Outcome outcome = RunLinkJob(this, LinkJob::Kind::CheckedWrite, [&](LinkJob&) {
    for (std::size_t i = 0; i < words.size(); ++i) {
      ExchangeStep(static_cast<int>(i), static_cast<int>(words.size()));
      if (!WriteSlot(words[i].first.row, words[i].first.slot, words[i].second)) return false;
    }
    Pause(pace::kAfterParameterWrite);
    return true;
  });
  if (outcome == LinkJob::Outcome::Failed) {
    ShowFail(2);
    return;
  }
  if (outcome == LinkJob::Outcome::Done && reset_) reset_("UpdateFinish");
  btnSetPrint->setEnabled(true);
}

// ---- Dump files ----

void TUserParamEditor::btnReadFileClick() {
  if (!RequirePortOpen()) return;
  const QString directory = QDir::currentPath();
  const QString path = OpenEEPRomDialog->Execute(this);
  QDir::setCurrent(directory);
  if (path.isEmpty()) {
    btnWrintFile->setEnabled(true);
    return;
  }
  const std::optional<DumpFile> file = DumpFile::Open(LocalFilePath(path));
  if (!file) {
    ShowBox(Tip("NotOpenFileMessageBox") + u'"' + QDir::toNativeSeparators(path) + u'"', MsgIcon::Error);
    btnWrintFile->setEnabled(true);
    return;
  }
  if (ReadEep(*file)) {
    btnSetPrint->setEnabled(true);
    btnWrintFile->setEnabled(true);
  } else {
    btnSetPrint->setEnabled(false);
  }
}

bool TUserParamEditor::ReadEep(const DumpFile& file) {
  // Slots in table order, each looked up once (a slot may serve several rows, as 01 and 1C do).
  std::map<std::string, uint16_t> words;
  for (const RowSlot& read : RowSlots(Rows())) {
    const SlotSpec& slot = Rows()[read.row].slotSpecs[read.slot];
    if (!words.count(slot.address)) {
      const std::optional<std::string> found = file.FindSlot(slot.address);
      if (!found) {
        ShowBox(QStringLiteral("缺少0x") + QLatin1String(slot.address) + QStringLiteral("地址位"));
        ShowFail(1);
        return false;
      }
      // A value that is not four hexadecimal digits would show as a wrong value: the file is bad.
      const std::optional<uint16_t> word = FourHexDigits(*found);
      if (!word) {
        ShowFail(1);
        return false;
      }
      words[slot.address] = *word;
      knownWords_[SlotNumber(slot.address)] = *word;
    }
    const Bits part = slot.fileBits.value_or(slot.readBits.value_or(kWholeWord));
    ShowSlotValue(read.row, read.slot, static_cast<uint16_t>((words[slot.address] >> part.first) & part.Mask()));
  }
  return true;
}

void TUserParamEditor::btnWrintFileClick() {
  if (!RequirePortOpen()) return;
  const QString directory = QDir::currentPath();
  const QString path = SaveEEpRomDialog->Execute(this);
  QDir::setCurrent(directory);
  if (path.isEmpty()) return;
  // The dump goes to a temporary file beside the chosen one (renamed to it once complete), so that a
  // failed dump leaves an earlier file as it was: that is the file that must be possible to make.
  const std::filesystem::path partial = PartialDumpPath(LocalFilePath(path));
  const bool writable = static_cast<bool>(std::ofstream(partial, std::ios::binary | std::ios::trunc));
  std::error_code ignored;
  std::filesystem::remove(partial, ignored);
  if (!writable) {
    ShowBox(Tip("NotOpenFileMessageBox") + u'"' + QDir::toNativeSeparators(path) + QStringLiteral("\"!"),
            MsgIcon::Error);
    return;
  }
  dumpFile_ = LocalFilePath(path);
  btnWrintFile->setEnabled(false);  // until the dump has ended
  TimerReadEep->setInterval(TimeoutMs(pace::kDumpTimerTick));
  TimerReadEep->start();
}

void TUserParamEditor::TimerReadEepTimer() {
  if (dumpFile_.empty()) {
    TimerReadEep->stop();
    return;
  }
  // A download is using the link: the dump waits for a later tick instead of mixing its requests
  // into the file's bytes.
  if (LinkExchangeClaimed()) return;
  TimerReadEep->stop();
  StopReceiving();
  std::vector<std::string> unanswered;
  const LinkJob::Outcome outcome = RunLinkJob(
      this, LinkJob::Kind::Read,
      [&](LinkJob&) { return SaveParameterDump(dumpFile_, design_.dumpInReadOnceMode, &unanswered); },
      /*quietWhenBusy=*/true);
  if (outcome == LinkJob::Outcome::Busy) {
    TimerReadEep->start();
    return;
  }
  btnWrintFile->setEnabled(true);
  if (outcome == LinkJob::Outcome::Cancelled) return;  // the temporary file is gone, an earlier one kept
  if (outcome == LinkJob::Outcome::Done) {
    QString text = Tip("SaveEepSucc");
    // Entries the printer does not hold are left out of the file; the user learns which.
    if (!unanswered.empty()) {
      QStringList keys;
      for (const std::string& key : unanswered) keys << QString::fromStdString(key);
      text += u'\n' + Tip("DumpEntriesUnanswered") + keys.join(QStringLiteral(", "));
    }
    ShowBox(text);
  } else {
    ShowFail(1);
  }
}

}  // namespace tw
