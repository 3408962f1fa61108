// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StatusWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include "core/PrinterResolution.h"
#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/DataTransfer.h"
#include "link/HexConversions.h"
#include "link/LinkState.h"
#include "link/ReceiveThread.h"
#include "portset/CommandSet.h"
#include "widgets/Ui.h"

namespace tw {
namespace {

constexpr char kSection[] = "Status";

QString StatusText(std::string_view key, const std::string& english) {
  const QString text = Msg(kSection, key);
  return text.isEmpty() ? QString::fromStdString(english) : text;
}

QStyle::StandardPixmap IconOf(status::Severity severity) {
  switch (severity) {
    case status::Severity::Error: return QStyle::SP_MessageBoxCritical;
    case status::Severity::Warning: return QStyle::SP_MessageBoxWarning;
    case status::Severity::Info: break;
  }
  return QStyle::SP_MessageBoxInformation;
}

template <typename T>
T* Named(T* object, const char* name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

}  // namespace

TFormStatus::TFormStatus(QWidget* parent, Hooks hooks) : QDialog(parent), hooks_(std::move(hooks)) {
  setObjectName("FormStatus");
  setWindowTitle("打印机状态");
  lblConditions = Named(new QLabel("状态：", this), "lblConditions");
  lvConditions = Named(new QListWidget(this), "lvConditions");
  lvConditions->setIconSize(QSize(20, 20));
  lvConditions->setMinimumSize(440, 150);
  lvConditions->setWordWrap(true);
  lblIdentity = Named(new QLabel(this), "lblIdentity");
  lblIdentity->setWordWrap(true);
  lblTime = Named(new QLabel(this), "lblTime");
  lblNotes = Named(new QLabel(this), "lblNotes");
  lblNotes->setWordWrap(true);
  lblNotes->setForegroundRole(QPalette::PlaceholderText);
  cbWatch = Named(new QCheckBox("监视", this), "cbWatch");
  btnCopy = Named(new QPushButton("复制", this), "btnCopy");
  btnRefresh = Named(new QPushButton("刷新", this), "btnRefresh");
  btnClose = Named(new QPushButton("关闭", this), "btnClose");
  watchTimer = Named(new QTimer(this), "watchTimer");
  watchTimer->setInterval(kWatchIntervalMs);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbWatch);
  buttons->addStretch(1);
  for (QPushButton* button : {btnCopy, btnRefresh, btnClose}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblConditions);
  layout->addWidget(lvConditions, 1);
  for (QLabel* label : {lblNotes, lblIdentity, lblTime}) layout->addWidget(label);
  layout->addLayout(buttons);

  connect(btnRefresh, &QPushButton::clicked, this, &TFormStatus::Refresh);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
  connect(btnCopy, &QPushButton::clicked, this, [this] {
    QGuiApplication::clipboard()->setText(QString::fromStdString(BytesToSpacedHex(report_.raw)));
  });
  connect(watchTimer, &QTimer::timeout, this, &TFormStatus::WatchTick);
  connect(cbWatch, &QCheckBox::toggled, this, [this](bool on) {
    if (on) {
      watchTimer->start();
      ShowReport();
    } else {
      watchTimer->stop();
      if (hooks_.showWorst) hooks_.showWorst(QString());
    }
  });
  btnCopy->setEnabled(false);
  Relabel();
}

TFormStatus::~TFormStatus() {
  watchTimer->stop();
  // A reading still running ends with its queries and gives the link back. The owner is being
  // destroyed too (the window is its child): nothing is handed to it any more.
  if (worker_.joinable()) {
    worker_.join();
    ReleaseLinkExchange();
  }
}

void TFormStatus::Relabel() {
  TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QStringLiteral("FormStatus"));
  LoadCatalogSection(kSection);
}

void TFormStatus::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  Relabel();
  ShowReport();
}

// A language chosen in the main window while this window is open: relabelled when it is next
// activated, as the editors are.
void TFormStatus::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if ((event->type() == QEvent::ActivationChange && isActiveWindow()) || event->type() == QEvent::LanguageChange) {
    Relabel();
    ShowReport();
  }
}

void TFormStatus::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (event->spontaneous()) return;
  cbWatch->setChecked(false);  // watching only while the window is open
}

bool TFormStatus::Refresh() {
  if (!Link().open) {
    ShowMessageQ(Tip("PortNotOpen"), windowTitle());
    return false;
  }
  if (Reading()) return true;
  if (LinkExchangeClaimed()) {
    ShowMessageQ(Msg(kSection, "LinkBusy"), windowTitle());
    return false;
  }
  return StartReading();
}

void TFormStatus::WatchTick() {
  // Only while the link is free: no other exchange claims it, no window that reads replies itself
  // is open (they stop the receive thread while they are), no modal window is up.
  if (Reading() || !Link().open || !Receive_Thread::Running() || LinkExchangeClaimed() ||
      QApplication::activeModalWidget()) {
    return;
  }
  StartReading();
}

bool TFormStatus::StartReading() {
  if (!ClaimLinkExchange()) return false;
  resumeAfter_ = Receive_Thread::Running();
  // What the receive thread has read is already queued for the receive area; it ends at once.
  Receive_Thread::Stop();
  Receive_Thread::Join();
  const status::CommandSet set = CommandSetIsZ() ? status::CommandSet::Z : status::CommandSet::E;
  btnRefresh->setEnabled(false);
  lblTime->setText(Msg(kSection, "Reading"));
  worker_ = std::thread([this, set] {
    status::Report report = status::QueryStatus(set);
    {
      std::lock_guard lock(resultMutex_);
      result_ = std::move(report);
    }
    QMetaObject::invokeMethod(this, &TFormStatus::FinishReading, Qt::QueuedConnection);
  });
  return true;
}

void TFormStatus::EndReading() {
  cbWatch->setChecked(false);
  watchTimer->stop();
  FinishReading();
}

void TFormStatus::FinishReading() {
  if (!worker_.joinable()) return;  // finished already (the queued call after EndReading)
  worker_.join();
  {
    std::lock_guard lock(resultMutex_);
    report_ = std::move(result_);
  }
  ReleaseLinkExchange();
  // Queued behind the chunks the receive thread handed on before it stopped: the order holds.
  if (!report_.outside.empty() && hooks_.passOn) {
    hooks_.passOn(QByteArray(report_.outside.data(), static_cast<qsizetype>(report_.outside.size())));
  }
  if (resumeAfter_ && hooks_.resumeReceiving) hooks_.resumeReceiving();
  readAt_ = QTime::currentTime().toString("hh:mm:ss");
  btnRefresh->setEnabled(true);
  btnCopy->setEnabled(!report_.raw.empty());
  ShowReport();
  emit readingFinished();
}

QString TFormStatus::ConditionText(const status::Condition& condition) {
  if (condition.id == "unknown") return StatusText("unknown", "Unknown: %1").arg(QString::fromStdString(condition.field));
  return StatusText(condition.id, condition.text);
}

QString TFormStatus::NoteText(const status::Note& note) {
  const QString text = Msg(kSection, note.key);
  return text.isEmpty() ? QString::fromStdString(note.text) : text.arg(QString::fromStdString(note.argument));
}

void TFormStatus::ShowReport() {
  lvConditions->clear();
  const bool read = !readAt_.isEmpty();
  const auto add = [this](status::Severity severity, const QString& text, const QString& tip) {
    auto* item = new QListWidgetItem(style()->standardIcon(IconOf(severity)), text, lvConditions);
    item->setToolTip(tip);
  };
  for (const status::Condition& c : report_.conditions) {
    add(c.severity, ConditionText(c), QString::fromStdString(c.field));
  }
  if (read && !report_.answered) {
    add(status::Severity::Warning, Msg(kSection, "NoAnswer"), QString());
  } else if (read && !report_.Worst()) {
    add(status::Severity::Info, Msg(kSection, "NoProblem"), QString());
  }
  QStringList notes;
  for (const status::Note& note : report_.notes) notes << NoteText(note);
  lblNotes->setText(notes.join("\n"));
  lblNotes->setVisible(!notes.isEmpty());
  if (const auto& id = report_.identity) {
    SetLastReadDotsPerMm(id->dotsPerMm);  // the label preview draws at the printer's resolution
    lblIdentity->setText(Msg(kSection, "Identity")
                             .arg(QString::fromStdString(id->model), QString::fromStdString(id->firmware),
                                  QString::fromStdString(id->dotsPerMm), QString::fromStdString(id->memory)));
  } else {
    lblIdentity->setText(Msg(kSection, "NoIdentity"));
  }
  lblIdentity->setVisible(read);
  lblTime->setText(read ? Msg(kSection, "ReadAt").arg(readAt_) : QString());

  if (!cbWatch->isChecked() || !hooks_.showWorst || !read) return;
  // The worst condition for the status bar; the first of equal ones.
  const status::Condition* worst = nullptr;
  for (const status::Condition& c : report_.conditions) {
    if (!worst || c.severity > worst->severity) worst = &c;
  }
  const QString what = !report_.answered          ? Msg(kSection, "WatchNoAnswer")
                       : worst && worst->severity > status::Severity::Info ? ConditionText(*worst)
                                                                            : Msg(kSection, "WatchOk");
  hooks_.showWorst(Msg(kSection, "WatchWorst").arg(what));
}

}  // namespace tw
