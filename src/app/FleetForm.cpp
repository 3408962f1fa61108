// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FleetForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

constexpr char kFormName[] = "FleetForm";
constexpr int kRefreshMs = 100;

enum Column { kName, kAddress, kState, kProgress, kResult, kMessage, kColumnCount };
constexpr std::string_view kColumnKeys[kColumnCount] = {"FleetName",     "FleetAddress", "FleetState",
                                                        "FleetProgress", "FleetResult",  "FleetMessage"};
// The texts of fleet::JobStep, in its order (None has none).
constexpr std::string_view kStepKeys[] = {"",
                                          "FleetStepConnecting",
                                          "FleetStepAsking",
                                          "FleetStepReadingParameters",
                                          "FleetStepReading",
                                          "FleetStepWriting",
                                          "FleetStepResetting",
                                          "FleetStepReadingBack",
                                          "FleetStepSending"};
// The jobs in the order of the job list.
constexpr fleet::JobKind kJobs[] = {fleet::JobKind::Inventory, fleet::JobKind::Backup, fleet::JobKind::Apply,
                                    fleet::JobKind::Send};

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

TFleetForm::TFleetForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QStringLiteral("打印机列表"));
  BuildControls();
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QString::fromLatin1(kFormName));
  QStringList headers;
  for (std::string_view key : kColumnKeys) headers << Tip(key);
  gridPrinters->setHorizontalHeaderLabels(headers);
  resize(1100, 640);
  SetListFile(QString::fromStdString(fleet::DefaultPrinterListPath().string()));
  JobChanged();
}

TFleetForm::~TFleetForm() {
  if (run_) run_->Cut();
  run_.reset();  // joins the workers, whose waits the cut has ended
}

void TFleetForm::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  grid->addWidget(Named(new QLabel(QStringLiteral("打印机列表文件:")), "lblList"), 0, 0);
  edtList = Named(new QLineEdit, "edtList");
  grid->addWidget(edtList, 0, 1);
  btnList = Named(new QPushButton(QStringLiteral("...")), "btnList");
  grid->addWidget(btnList, 0, 2);
  grid->addWidget(Named(new QLabel(QStringLiteral("任务:")), "lblJob"), 1, 0);
  auto* jobRow = new QHBoxLayout;
  cbJob = Named(new QComboBox, "cbJob");
  cbJob->addItems({QStringLiteral("清点"), QStringLiteral("备份参数"), QStringLiteral("应用参数文件"),
                   QStringLiteral("发送文件")});
  jobRow->addWidget(cbJob);
  cbSet = Named(new QComboBox, "cbSet");
  cbSet->addItems({QStringLiteral("WVLZ"), QStringLiteral("WVLE")});
  jobRow->addWidget(cbSet);
  chkDryRun = Named(new QCheckBox(QStringLiteral("只比较, 不写入")), "chkDryRun");
  jobRow->addWidget(chkDryRun);
  jobRow->addWidget(Named(new QLabel(QStringLiteral("参数槽:")), "lblSlots"));
  edtSlots = Named(new QLineEdit, "edtSlots");
  edtSlots->setPlaceholderText(QStringLiteral("user"));
  jobRow->addWidget(edtSlots);
  jobRow->addStretch();
  jobRow->addWidget(Named(new QLabel(QStringLiteral("同时处理:")), "lblJobs"));
  spnJobs = Named(new QSpinBox, "spnJobs");
  spnJobs->setRange(1, 1000);
  spnJobs->setValue(fleet::kDefaultJobs);
  jobRow->addWidget(spnJobs);
  grid->addLayout(jobRow, 1, 1, 1, 2);
  grid->addWidget(Named(new QLabel(QStringLiteral("文件或文件夹:")), "lblTarget"), 2, 0);
  edtTarget = Named(new QLineEdit, "edtTarget");
  grid->addWidget(edtTarget, 2, 1);
  btnTarget = Named(new QPushButton(QStringLiteral("...")), "btnTarget");
  grid->addWidget(btnTarget, 2, 2);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);

  gridPrinters = Named(new QTableWidget(0, kColumnCount), "gridPrinters");
  gridPrinters->setEditTriggers(QAbstractItemView::NoEditTriggers);
  gridPrinters->setSelectionBehavior(QAbstractItemView::SelectRows);
  gridPrinters->verticalHeader()->setVisible(false);
  gridPrinters->setWordWrap(false);
  gridPrinters->horizontalHeader()->setSectionResizeMode(kMessage, QHeaderView::Stretch);
  layout->addWidget(gridPrinters, 1);

  auto* buttons = new QHBoxLayout;
  lblSummary = Named(new QLabel, "lblSummary");
  buttons->addWidget(lblSummary, 1);
  btnStart = Named(new QPushButton(QStringLiteral("开始")), "btnStart");
  btnStop = Named(new QPushButton(QStringLiteral("停止")), "btnStop");
  btnStop->setEnabled(false);
  buttons->addWidget(btnStart);
  buttons->addWidget(btnStop);
  layout->addLayout(buttons);

  dlgList = new TFileDialog(this, QStringLiteral("dlgList"), TFileDialog::Mode::Open,
                            QStringLiteral("Text文件(*.txt)|*.txt|所有文件(*.*)|*.*"));
  dlgTarget = new TFileDialog(this, QStringLiteral("dlgTarget"), TFileDialog::Mode::Open,
                              QStringLiteral("EEPROM文件(*.EEP)|*.eep|所有文件(*.*)|*.*"));
  dlgBackupFolder = new TFileDialog(this, QStringLiteral("dlgBackupFolder"), TFileDialog::Mode::Folder, QString());
  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshMs);

  connect(btnList, &QPushButton::clicked, this, &TFleetForm::ChooseList);
  connect(btnTarget, &QPushButton::clicked, this, &TFleetForm::ChooseTarget);
  connect(edtList, &QLineEdit::editingFinished, this, &TFleetForm::LoadList);
  connect(cbJob, &QComboBox::currentIndexChanged, this, &TFleetForm::JobChanged);
  connect(btnStart, &QPushButton::clicked, this, &TFleetForm::btnStartClick);
  connect(btnStop, &QPushButton::clicked, this, &TFleetForm::btnStopClick);
  connect(refresh_, &QTimer::timeout, this, &TFleetForm::ShowSnapshot);
}

void TFleetForm::SetListFile(const QString& path) {
  edtList->setText(path);
  LoadList();
}

void TFleetForm::LoadList() {
  if (run_) return;
  std::string error;
  list_ = fleet::LoadPrinterList(LocalFilePath(edtList->text()), &error);
  gridPrinters->setRowCount(0);
  lblSummary->setText(list_ ? QString() : FromUtf8(error));
  if (!list_) return;
  gridPrinters->setRowCount(static_cast<int>(list_->printers.size()));
  for (int row = 0; row < gridPrinters->rowCount(); ++row) {
    const fleet::PrinterEntry& printer = list_->printers[static_cast<std::size_t>(row)];
    for (int column = 0; column < kColumnCount; ++column) gridPrinters->setItem(row, column, new QTableWidgetItem);
    gridPrinters->item(row, kName)->setText(FromUtf8(printer.name));
    gridPrinters->item(row, kAddress)->setText(FromUtf8(printer.address) + ':' + QString::number(printer.port));
    auto* bar = new QProgressBar;
    bar->setRange(0, 100);
    bar->setValue(0);
    gridPrinters->setCellWidget(row, kProgress, bar);
  }
  // Names and addresses fit their texts; the state, progress and result columns have room for what
  // a job writes there, the message takes the rest (the whole text is its tool tip).
  for (int column : {kName, kAddress}) gridPrinters->resizeColumnToContents(column);
  gridPrinters->setColumnWidth(kState, 220);
  gridPrinters->setColumnWidth(kProgress, 90);
  gridPrinters->setColumnWidth(kResult, 260);
}

void TFleetForm::JobChanged() {
  const fleet::JobKind kind = kJobs[std::max(cbJob->currentIndex(), 0)];
  edtTarget->setEnabled(kind != fleet::JobKind::Inventory);
  btnTarget->setEnabled(kind != fleet::JobKind::Inventory);
  chkDryRun->setEnabled(kind == fleet::JobKind::Apply);
  edtSlots->setEnabled(kind == fleet::JobKind::Apply);
  cbSet->setEnabled(kind == fleet::JobKind::Apply);
}

void TFleetForm::ChooseList() {
  const QString path = dlgList->Execute(this);
  if (!path.isEmpty()) SetListFile(path);
}

void TFleetForm::ChooseTarget() {
  if (kJobs[cbJob->currentIndex()] == fleet::JobKind::Backup) {
    const QString folder = dlgBackupFolder->Execute(this);
    if (!folder.isEmpty()) edtTarget->setText(folder);
    return;
  }
  const QString path = dlgTarget->Execute(this);
  if (!path.isEmpty()) edtTarget->setText(path);
}

void TFleetForm::btnStartClick() {
  if (run_) return;
  LoadList();
  if (!list_) return;
  fleet::JobOptions options;
  options.kind = kJobs[cbJob->currentIndex()];
  options.target = LocalFilePath(edtTarget->text());
  options.dryRun = chkDryRun->isChecked();
  options.set = cbSet->currentIndex() == 1 ? fleet::CommandSet::E : fleet::CommandSet::Z;
  options.jobs = spnJobs->value();
  // The slot list as the command line takes it; empty: the user editor's slots.
  if (options.kind == fleet::JobKind::Apply && !edtSlots->text().trimmed().isEmpty()) {
    std::string error;
    options.slotList = fleet::ParseSlotList(edtSlots->text().trimmed().toStdString(), options.set, &error);
    if (!options.slotList) {
      ShowMessageQ(FromUtf8(error), windowTitle(), MsgIcon::Warning);
      return;
    }
  }
  auto run = std::make_unique<fleet::FleetRun>(*list_, options);
  if (auto failure = run->Prepare()) {
    ShowMessageQ(FromUtf8(*failure), windowTitle(), MsgIcon::Warning);
    return;
  }
  run_ = std::move(run);
  run_->Start();
  for (QWidget* control : std::initializer_list<QWidget*>{edtList, btnList, cbJob, cbSet, edtTarget, btnTarget,
                                                          chkDryRun, edtSlots, spnJobs, btnStart}) {
    control->setEnabled(false);
  }
  btnStop->setEnabled(true);
  refresh_->start();
  ShowSnapshot();
}

void TFleetForm::btnStopClick() {
  if (run_) run_->Stop();  // a second press cuts at once
}

QString TFleetForm::StateText(const fleet::PrinterResult& result) const {
  switch (result.state) {
    case fleet::PrinterState::Waiting: return Tip("FleetWaiting");
    case fleet::PrinterState::Running: {
      const QString step = Tip(kStepKeys[static_cast<int>(result.step)]);
      return Tip("FleetRunning") + (step.isEmpty() ? QString() : ": " + step);
    }
    case fleet::PrinterState::Done: return Tip("FleetDone");
    case fleet::PrinterState::Failed: return Tip("FleetFailed");
    case fleet::PrinterState::Skipped: return Tip("FleetSkipped");
    case fleet::PrinterState::NotStarted: return Tip("FleetNotStarted");
    case fleet::PrinterState::Interrupted:
      if (result.changes.empty()) return Tip("FleetInterrupted");
      switch (result.writtenKnown) {
        case fleet::PrinterResult::Known::ReadBack:
          return Tip("FleetInterruptedSlots").arg(result.slotsWritten).arg(result.changes.size());
        case fleet::PrinterResult::Known::Acknowledged:
          return Tip("FleetInterruptedDelivered").arg(result.slotsWritten).arg(result.changes.size());
        case fleet::PrinterResult::Known::Unknown: return Tip("FleetInterruptedUnknown").arg(result.changes.size());
      }
      return Tip("FleetInterrupted");
  }
  return {};
}

void TFleetForm::ShowSnapshot() {
  if (!run_) return;
  const bool done = run_->Finished();  // asked first: the snapshot then holds every final state
  const std::vector<fleet::PrinterResult> results = run_->Snapshot();
  int finished = 0, failed = 0;
  for (int row = 0; row < gridPrinters->rowCount() && row < static_cast<int>(results.size()); ++row) {
    const fleet::PrinterResult& r = results[static_cast<std::size_t>(row)];
    const bool over = r.state != fleet::PrinterState::Waiting && r.state != fleet::PrinterState::Running;
    finished += over;
    failed += r.state == fleet::PrinterState::Failed;
    QString result = FromUtf8(r.result);
    for (const fleet::SlotChange& change : r.changes) {
      result += QStringLiteral(" %1:%2->%3").arg(change.slot, 2, 16, QChar('0')).arg(change.from, 4, 16, QChar('0'))
                    .arg(change.to, 4, 16, QChar('0')).toUpper();
    }
    const QString texts[] = {StateText(r), result, FromUtf8(r.error)};
    const int columns[] = {kState, kResult, kMessage};
    for (int i = 0; i < 3; ++i) {
      QTableWidgetItem* item = gridPrinters->item(row, columns[i]);
      if (item->text() == texts[i]) continue;
      item->setText(texts[i]);
      item->setToolTip(texts[i]);
    }
    if (auto* bar = qobject_cast<QProgressBar*>(gridPrinters->cellWidget(row, kProgress))) bar->setValue(r.progress);
  }
  lblSummary->setText(Tip("FleetSummary").arg(finished).arg(results.size()).arg(failed));
  if (!done) return;
  refresh_->stop();
  run_->Wait();
  run_.reset();
  for (QWidget* control : std::initializer_list<QWidget*>{edtList, btnList, cbJob, spnJobs, btnStart}) {
    control->setEnabled(true);
  }
  btnStop->setEnabled(false);
  JobChanged();
  if (closeWhenFinished_) {
    closeWhenFinished_ = false;
    close();
  }
}

// Closing while a job runs stops it as the stop button does (writes in progress finish) and closes
// the window once the job has ended; the window stays responsive meanwhile. Closing again cuts.
void TFleetForm::closeEvent(QCloseEvent* event) {
  if (run_) {
    run_->Stop();
    closeWhenFinished_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TFleetForm::reject() {
  if (run_) {
    close();
    return;
  }
  QDialog::reject();
}

}  // namespace tw
