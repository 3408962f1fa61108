// SPDX-License-Identifier: GPL-3.0-or-later
#include "portset/FindPrinters.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/AppPaths.h"
#include "core/Ini.h"
#include "core/Messages.h"
#include "discovery/AddressRange.h"
#include "fleet/PrinterList.h"
#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

constexpr const char* kFormName = "FindPrinters";
constexpr const char* kSettingsSection = "Discovery";
constexpr const char* kRangeKey = "Range";

template <class Widget>
Widget* Named(Widget* widget, const char* name, const char* text = nullptr) {
  widget->setObjectName(QString::fromLatin1(name));
  if constexpr (requires { widget->setText(QString()); }) {
    if (text) widget->setText(QString::fromUtf8(text));
  }
  return widget;
}

// The list's columns, in the default language; the catalog's FindColumns replaces them.
constexpr const char* kColumns[] = {"地址", "端口", "名称", "型号", "固件", "序列号", "指令集", "发现方式"};

// A catalog text, or the default when the language file lacks it.
QString Text(std::string_view key, const char* fallback) {
  const QString text = Msg("SetPort", key);
  return text.isEmpty() ? QString::fromUtf8(fallback) : text;
}

}  // namespace

std::filesystem::path TFindPrinters::SettingsPath() { return LibDir() / "Discovery.ini"; }

TFindPrinters::TFindPrinters(QWidget* parent) : QDialog(parent), run_(new discovery::Discovery(this)) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("查找打印机"));
  LblRange = Named(new QLabel(this), "LblRange", "地址范围:");
  EdRange = Named(new QLineEdit(this), "EdRange");
  BtnStart = Named(new QPushButton(this), "BtnStart", "开始");
  CbAskAll = Named(new QCheckBox(this), "CbAskAll", "询问每个打开的端口");
  LblAskAllWarning = Named(new QLabel(this), "LblAskAllWarning",
                           "警告: 该端口上的办公打印机会打印发给它的任何内容。");
  LblAskAllWarning->setWordWrap(true);
  LblAskAllWarning->setStyleSheet(QStringLiteral("color: #b00000"));
  LblAskAllWarning->setVisible(false);
  LvPrinters = Named(new QTreeWidget(this), "LvPrinters");
  LvPrinters->setRootIsDecorated(false);
  LvPrinters->setSelectionMode(QAbstractItemView::SingleSelection);
  LvPrinters->setAllColumnsShowFocus(true);
  LvPrinters->setMinimumSize(640, 220);
  PbProgress = Named(new QProgressBar(this), "PbProgress");
  LblNotes = Named(new QLabel(this), "LblNotes");
  LblNotes->setWordWrap(true);
  BtnUse = Named(new QPushButton(this), "BtnUse", "使用");
  BtnAddToList = Named(new QPushButton(this), "BtnAddToList", "加入列表");
  BtnStop = Named(new QPushButton(this), "BtnStop", "取消");
  BtnClose = Named(new QPushButton(this), "BtnClose", "关闭");

  auto* range = new QHBoxLayout;
  range->addWidget(LblRange);
  range->addWidget(EdRange, 1);
  range->addWidget(BtnStart);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(PbProgress, 1);
  buttons->addWidget(BtnStop);
  buttons->addWidget(BtnAddToList);
  buttons->addWidget(BtnUse);
  buttons->addWidget(BtnClose);
  auto* form = new QVBoxLayout(this);
  form->addLayout(range);
  form->addWidget(CbAskAll);
  form->addWidget(LblAskAllWarning);
  form->addWidget(LvPrinters, 1);
  form->addWidget(LblNotes);
  form->addLayout(buttons);

  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
  QStringList columns;
  for (const char* column : kColumns) columns << QString::fromUtf8(column);
  const QStringList relabelled = TChangeLan::ParseItems(Msg("SetPort", "FindColumns"));
  LvPrinters->setHeaderLabels(relabelled.size() == columns.size() ? relabelled : columns);
  LvPrinters->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

  QString lastRange = QString::fromStdString(ReadIniString(SettingsPath(), kSettingsSection, kRangeKey, ""));
  EdRange->setText(lastRange.isEmpty() ? discovery::DefaultRanges().join(QStringLiteral(", ")) : lastRange);
  BtnUse->setEnabled(false);
  BtnAddToList->setEnabled(false);
  ShowRunning(false);

  connect(BtnStart, &QPushButton::clicked, this, &TFindPrinters::BtnStartClick);
  connect(BtnStop, &QPushButton::clicked, run_, &discovery::Discovery::Cancel);
  connect(BtnUse, &QPushButton::clicked, this, &TFindPrinters::BtnUseClick);
  connect(BtnAddToList, &QPushButton::clicked, this, &TFindPrinters::BtnAddToListClick);
  connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(CbAskAll, &QCheckBox::toggled, LblAskAllWarning, &QLabel::setVisible);
  connect(LvPrinters, &QTreeWidget::itemSelectionChanged, this,
          [this] {
            BtnUse->setEnabled(!LvPrinters->selectedItems().isEmpty());
            BtnAddToList->setEnabled(!LvPrinters->selectedItems().isEmpty());
          });
  connect(LvPrinters, &QTreeWidget::itemDoubleClicked, this, &TFindPrinters::BtnUseClick);
  connect(run_, &discovery::Discovery::rowsChanged, this, &TFindPrinters::ShowRows);
  connect(run_, &discovery::Discovery::progress, this, [this](int done, int total) {
    PbProgress->setMaximum(std::max(total, 1));
    PbProgress->setValue(total == 0 ? 0 : done);
  });
  connect(run_, &discovery::Discovery::noteAdded, this, [this](unsigned way, const QString& reason) {
    const QString name = way == discovery::kDnsSd ? QStringLiteral("DNS-SD") : QStringLiteral("SNMP");
    const QString note = Text("FindWayNotRun", "%1 无法运行：%2。").arg(name, reason);
    LblNotes->setText(LblNotes->text().isEmpty() ? note : LblNotes->text() + QLatin1Char('\n') + note);
  });
  // The bar keeps the last progress: a search cancelled or ended at its bound did not do it all.
  connect(run_, &discovery::Discovery::finished, this, [this] { ShowRunning(false); });
}

void TFindPrinters::done(int result) {
  run_->Cancel();
  QDialog::done(result);
}

void TFindPrinters::ShowRunning(bool running) {
  BtnStart->setEnabled(!running);
  EdRange->setEnabled(!running);
  CbAskAll->setEnabled(!running);
  BtnStop->setEnabled(running);
}

void TFindPrinters::BtnStartClick() {
  // An empty range field searches by DNS-SD alone, as the CLI does without --range.
  QString error;
  auto addresses = EdRange->text().trimmed().isEmpty() ? std::vector<uint32_t>{}
                                                       : discovery::ParseAddressRanges(EdRange->text(), &error);
  if (!addresses) {
    ShowMessage(Text("FindBadRange", "%1 不是地址范围。").arg(EdRange->text()).toStdString(),
                windowTitle().toStdString(), MsgIcon::Warning);
    return;
  }
  if (addresses->size() > discovery::kConfirmAbove &&
      ShowMessage(Text("FindRangeLarge", "该范围有 %1 个地址。全部查找吗?").arg(addresses->size()).toStdString(),
                  windowTitle().toStdString(), MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes) {
    return;
  }
  try {
    WriteIniString(SettingsPath(), kSettingsSection, kRangeKey, EdRange->text().toStdString());
  } catch (const std::exception&) {
    // The search runs all the same; only the range is not remembered.
  }
  discovery::DiscoveryOptions options = baseOptions;
  options.addresses = std::move(*addresses);
  options.askAll = CbAskAll->isChecked();
  LblNotes->clear();
  chosen_.reset();
  ShowRunning(true);
  run_->Start(options);
}

void TFindPrinters::ShowRows() {
  const QList<QTreeWidgetItem*> selected = LvPrinters->selectedItems();
  const QString selectedAddress = selected.isEmpty() ? QString() : selected.first()->text(0);
  LvPrinters->clear();
  for (const discovery::PrinterRow& row : run_->Rows()) {
    auto* item = new QTreeWidgetItem(
        LvPrinters, {row.address, QString::number(row.port), row.name, row.model, row.firmware, row.serial,
                     row.commandSet.isNull() ? QString() : QString(row.commandSet.toUpper()),
                     discovery::WayNames(row.foundBy).join(QStringLiteral(", "))});
    if (row.address == selectedAddress) item->setSelected(true);
  }
}

const discovery::PrinterRow* TFindPrinters::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = LvPrinters->selectedItems();
  if (selected.isEmpty()) return nullptr;
  const int index = LvPrinters->indexOfTopLevelItem(selected.first());
  if (index < 0 || index >= static_cast<int>(run_->Rows().size())) return nullptr;
  return &run_->Rows()[static_cast<std::size_t>(index)];
}

void TFindPrinters::BtnUseClick() {
  const discovery::PrinterRow* row = SelectedRow();
  if (!row) return;
  chosen_ = *row;
  run_->Cancel();
  accept();
}

void TFindPrinters::BtnAddToListClick() {
  const discovery::PrinterRow* row = SelectedRow();
  if (!row) return;
  fleet::PrinterEntry entry;
  // A list name may hold letters, digits, '.', '_' and '-' only (it names backup files); the found
  // name is kept as far as it fits, else the address names the printer.
  for (const QChar c : row->name) {
    entry.name += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'.' || c == u'_' || c == u'-'
                      ? static_cast<char>(c.unicode())
                      : '_';
  }
  if (entry.name.empty()) entry.name = row->address.toStdString();
  entry.address = row->address.toStdString();
  entry.port = row->port;
  entry.set = row->commandSet == QStringLiteral("e") ? fleet::CommandSet::E : fleet::CommandSet::Z;
  const std::filesystem::path list = fleet::DefaultPrinterListPath();
  std::string error;
  if (fleet::AppendPrinter(list, entry, &error)) {
    ShowMessage(Text("FindAddedToList", "已将 %1 加入打印机列表 %2。")
                    .arg(QString::fromStdString(entry.name), QString::fromStdString(list.string()))
                    .toStdString(),
                windowTitle().toStdString(), MsgIcon::Information);
  } else {
    ShowMessage(Text("FindAddToListFail", "无法将打印机加入列表 %1: %2")
                    .arg(QString::fromStdString(list.string()), QString::fromStdString(error))
                    .toStdString(),
                windowTitle().toStdString(), MsgIcon::Warning);
  }
}

}  // namespace tw
