// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LabelPreviewWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTextBlock>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/MemoText.h"
#include "core/PrinterResolution.h"
#include "lang/ChangeLan.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/HexConversions.h"
#include "preview/LabelExport.h"
#include "widgets/FileDialogSpec.h"

namespace tw {
namespace {

constexpr int kResolutions[] = {6, 8, 12, 24};
constexpr int kZooms[] = {25, 50, 100, 200, 400};

template <typename T>
T* Named(T* object, const char* name) {
  object->setObjectName(QString::fromLatin1(name));
  return object;
}

// The place of a resolution in the list; 8 dots/mm for none.
int ResolutionIndex(int dotsPerMm) {
  const auto* at = std::find(std::begin(kResolutions), std::end(kResolutions), dotsPerMm);
  return at == std::end(kResolutions) ? 1 : static_cast<int>(at - std::begin(kResolutions));
}

}  // namespace

LabelPreviewWindow::LabelPreviewWindow(QPlainTextEdit* sendMemo, const QCheckBox* hexForm, QWidget* parent)
    : QWidget(parent, Qt::Window), sendMemo_(sendMemo), hexForm_(hexForm) {
  setObjectName("LabelPreview");
  setWindowTitle("Label Preview");
  auto* controls = new QHBoxLayout;
  const auto addLabelled = [&](const char* name, const char* text, QWidget* control) {
    auto* label = Named(new QLabel(text, this), name);
    label->setBuddy(control);
    controls->addWidget(label);
    controls->addWidget(control);
  };
  setBox_ = Named(new QComboBox(this), "SetBox");
  setBox_->addItems({"Automatic", "Z", "E"});
  addLabelled("SetLabel", "Command &set:", setBox_);
  dpmmBox_ = Named(new QComboBox(this), "DpmmBox");
  dpmmBox_->addItems({"6 dots/mm (152 dpi)", "8 dots/mm (203 dpi)", "12 dots/mm (300 dpi)", "24 dots/mm (600 dpi)"});
  dpmmBox_->setCurrentIndex(ResolutionIndex(LastReadDotsPerMm()));
  appliedReading_ = LastReadDotsPerMm();
  addLabelled("DpmmLabel", "&Resolution:", dpmmBox_);
  zoomBox_ = Named(new QComboBox(this), "ZoomBox");
  for (int zoom : kZooms) zoomBox_->addItem(QString("%1 %").arg(zoom));
  zoomBox_->setCurrentIndex(2);
  addLabelled("ZoomLabel", "&Zoom:", zoomBox_);
  labelBox_ = Named(new QSpinBox(this), "LabelBox");
  labelBox_->setRange(1, 1);
  addLabelled("PageLabel", "&Label:", labelBox_);
  labelCount_ = Named(new QLabel(this), "LabelCount");
  controls->addWidget(labelCount_);
  controls->addStretch();
  exportPng_ = Named(new QPushButton("Export &PNG...", this), "ExportPng");
  exportPdf_ = Named(new QPushButton("Export P&DF...", this), "ExportPdf");
  // Named dialogs: they open in the folder last used for their kind of file, as the others do.
  pngDialog_ = new TFileDialog(this, "PngSaveDialog", TFileDialog::Mode::Save, "PNG(*.png)|*.png");
  pngDialog_->defaultSuffix = "png";
  pdfDialog_ = new TFileDialog(this, "PdfSaveDialog", TFileDialog::Mode::Save, "PDF(*.pdf)|*.pdf");
  pdfDialog_->defaultSuffix = "pdf";
  controls->addWidget(exportPng_);
  controls->addWidget(exportPdf_);

  picture_ = Named(new QLabel(this), "Picture");
  picture_->setAlignment(Qt::AlignCenter);
  scroll_ = Named(new QScrollArea(this), "PictureArea");
  scroll_->setWidget(picture_);
  scroll_->setWidgetResizable(true);
  scroll_->setBackgroundRole(QPalette::Dark);

  auto* listPane = new QWidget(this);
  auto* listLayout = new QVBoxLayout(listPane);
  listLayout->setContentsMargins(0, 0, 0, 0);
  status_ = Named(new QLabel(this), "NotDrawnLabel");
  status_->setText("Not drawn (click an entry to select it in the send area):");
  notDrawn_ = Named(new QListWidget(this), "NotDrawnList");
  listLayout->addWidget(status_);
  listLayout->addWidget(notDrawn_);

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(scroll_);
  split->addWidget(listPane);
  split->setStretchFactor(0, 4);
  split->setStretchFactor(1, 1);
  split->setSizes({560, 110});
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(split);
  resize(760, 720);

  redrawTimer_ = new QTimer(this);
  redrawTimer_->setSingleShot(true);
  redrawTimer_->setInterval(kRedrawDelayMs);
  connect(redrawTimer_, &QTimer::timeout, this, &LabelPreviewWindow::Redraw);
  connect(sendMemo_, &QPlainTextEdit::textChanged, this, &LabelPreviewWindow::ScheduleRedraw);
  connect(setBox_, &QComboBox::currentIndexChanged, this, &LabelPreviewWindow::Redraw);
  connect(dpmmBox_, &QComboBox::currentIndexChanged, this, &LabelPreviewWindow::Redraw);
  connect(zoomBox_, &QComboBox::currentIndexChanged, this, &LabelPreviewWindow::ShowLabel);
  connect(labelBox_, &QSpinBox::valueChanged, this, &LabelPreviewWindow::ShowLabel);
  connect(notDrawn_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { SelectInSendArea(notDrawn_->row(item)); });
  connect(exportPng_, &QPushButton::clicked, this, [this] { Export(*pngDialog_); });
  connect(exportPdf_, &QPushButton::clicked, this, [this] { Export(*pdfDialog_); });
  Relabel();
  Redraw();
}

void LabelPreviewWindow::Relabel() {
  // New item texts keep the choices made.
  const int set = setBox_->currentIndex(), dpmm = dpmmBox_->currentIndex();
  {
    const QSignalBlocker blockSet(setBox_), blockDpmm(dpmmBox_);
    TChangeLan().Relabel(this, CurrentLanguageFile(), QStringLiteral("None"), QStringLiteral("LabelPreview"));
    setBox_->setCurrentIndex(set);
    dpmmBox_->setCurrentIndex(dpmm);
  }
  ShowLabel();
}

int LabelPreviewWindow::DotsPerMm() const { return kResolutions[std::clamp(dpmmBox_->currentIndex(), 0, 3)]; }

std::optional<preview::CommandSet> LabelPreviewWindow::ChosenSet(const QByteArray& data) const {
  if (setBox_->currentIndex() == 1) return preview::CommandSet::Z;
  if (setBox_->currentIndex() == 2) return preview::CommandSet::E;
  return preview::DetectCommandSet(std::string_view(data.constData(), data.size()));
}

void LabelPreviewWindow::showEvent(QShowEvent* event) {
  // A resolution read from the printer since the window was last shown is taken; a choice made in
  // the window stays until a new reading comes.
  if (const int reading = LastReadDotsPerMm(); reading != appliedReading_) {
    appliedReading_ = reading;
    dpmmBox_->setCurrentIndex(ResolutionIndex(reading));
  }
  QWidget::showEvent(event);
}

void LabelPreviewWindow::ScheduleRedraw() {
  if (isVisible()) redrawTimer_->start();
}

void LabelPreviewWindow::Redraw() {
  redrawTimer_->stop();
  if (drawing_) {  // one drawing at a time; the newest page is drawn when this one ends
    again_ = true;
    return;
  }
  const QByteArray data = PageBytes();
  const std::optional<preview::CommandSet> set = ChosenSet(data);
  const preview::Options options{DotsPerMm(), 0, 0};
  const quint64 generation = ++generation_;
  drawing_ = true;
  QThreadPool::globalInstance()->start([guard = QPointer<LabelPreviewWindow>(this), data, set, options, generation] {
    preview::Result result;
    if (set) result = preview::Render(std::string_view(data.constData(), data.size()), *set, options);
    // Shown in the window's thread; nothing is shown when the window has gone meanwhile.
    QMetaObject::invokeMethod(qApp, [guard, generation, data, result = std::move(result)]() mutable {
      if (guard) guard->ShowResult(generation, data, std::move(result));
    });
  });
}

QByteArray LabelPreviewWindow::PageBytes() const {
  const std::string form = MemoToTextForm(sendMemo_->toPlainText());
  std::string bytes;
  if (hexForm_ && hexForm_->isChecked()) {
    const NormalizedHex hex = NormalizeHexInput(form);
    if (hex.result >= 0) bytes = HexPairsToBytes(hex.text);
  } else {
    bytes = DecodeEscapes(form);
  }
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void LabelPreviewWindow::ShowResult(quint64 generation, const QByteArray& data, preview::Result result) {
  drawing_ = false;
  if (again_) {
    again_ = false;
    Redraw();
  }
  if (generation != generation_ && drawing_) return;  // a newer page is being drawn
  result_ = std::move(result);
  drawnData_ = data;
  drawnDotsPerMm_ = DotsPerMm();
  const int labels = static_cast<int>(result_.labels.size());
  labelBox_->setRange(1, std::max(1, labels));
  labelBox_->setEnabled(labels > 1);
  const bool anyDrawn = std::any_of(result_.labels.begin(), result_.labels.end(),
                                    [](const preview::Label& label) { return !label.image.empty(); });
  exportPng_->setEnabled(anyDrawn);
  exportPdf_->setEnabled(anyDrawn);
  notDrawn_->clear();
  for (int i = 0; i < labels; ++i) {
    for (const preview::NotDrawn& item : result_.labels[static_cast<std::size_t>(i)].notDrawn) {
      const QString where = labels > 1 ? Tip("PreviewLabelOf").arg(i + 1).arg(labels) + ": " : QString();
      notDrawn_->addItem(where + QString::fromStdString(preview::Describe(item)));
    }
  }
  ShowLabel();
  emit drawn();
}

void LabelPreviewWindow::ShowLabel() {
  const int labels = static_cast<int>(result_.labels.size());
  labelCount_->setText(labels > 0 ? Tip("PreviewLabelOf").arg(labelBox_->value()).arg(labels) : QString());
  if (labels == 0) {
    picture_->setPixmap({});
    picture_->setText(Tip("PreviewNoLabel"));
    return;
  }
  const preview::Label& shown = result_.labels[static_cast<std::size_t>(std::min(labelBox_->value(), labels) - 1)];
  const preview::LabelImage& image = shown.image;
  if (image.empty()) {  // why the label in view was not drawn
    picture_->setPixmap({});
    picture_->setText(QString::fromStdString(shown.notDrawn.empty() ? std::string() : shown.notDrawn[0].reason));
    return;
  }
  // True scale: the label's millimetres at the screen's dots per millimetre, times the zoom.
  const double screenDotsPerMm = logicalDpiX() / 25.4;
  const double scale = screenDotsPerMm / drawnDotsPerMm_ * kZooms[std::clamp(zoomBox_->currentIndex(), 0, 4)] / 100.0;
  const QSize size(std::max(1, static_cast<int>(image.width() * scale)), std::max(1, static_cast<int>(image.height() * scale)));
  if (static_cast<long long>(size.width()) * size.height() > 64LL * 1024 * 1024) {
    picture_->setPixmap({});
    picture_->setText(QString("%1 x %2").arg(image.width()).arg(image.height()));
    return;
  }
  QPixmap pixmap(size + QSize(2, 2));
  pixmap.fill(Qt::gray);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1);
  painter.drawImage(QRect(QPoint(1, 1), size), preview::ToImage(image));
  painter.setPen(QPen(QColor(0, 120, 215), 1));  // the label's outline
  painter.drawRect(QRect(QPoint(0, 0), size + QSize(1, 1)));
  painter.end();
  picture_->setText({});
  picture_->setPixmap(pixmap);
}

void LabelPreviewWindow::SelectInSendArea(int row) {
  int index = 0;
  for (const preview::Label& label : result_.labels) {
    for (const preview::NotDrawn& item : label.notDrawn) {
      if (index++ != row) continue;
      // Byte offsets of the drawn data as character positions of the memo: exact where the memo is
      // the data as UTF-8, else the line and column (escapes and hex form take more characters).
      int start, end;
      if (drawnData_ == sendMemo_->toPlainText().toUtf8()) {
        start = QString::fromUtf8(drawnData_.left(static_cast<qsizetype>(item.offset))).size();
        end = QString::fromUtf8(drawnData_.left(static_cast<qsizetype>(item.offset + item.length))).size();
      } else {
        const QTextBlock block = sendMemo_->document()->findBlockByNumber(item.line - 1);
        start = block.position() + std::min(item.column - 1, std::max(0, block.length() - 1));
        end = block.position() + std::max(0, block.length() - 1);
      }
      const int last = sendMemo_->document()->characterCount() - 1;
      QTextCursor cursor = sendMemo_->textCursor();
      cursor.setPosition(std::clamp(start, 0, last));
      cursor.setPosition(std::clamp(end, 0, last), QTextCursor::KeepAnchor);
      sendMemo_->setTextCursor(cursor);
      sendMemo_->window()->activateWindow();
      sendMemo_->setFocus();
      return;
    }
  }
}

void LabelPreviewWindow::Export(TFileDialog& dialog) {
  dialog.title = windowTitle();
  QString path = dialog.Execute(this);
  if (path.isEmpty()) return;
  const QString suffix = "." + dialog.defaultSuffix;
  if (!path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
  QString error;
  if (!preview::ExportLabels(result_.labels, path, drawnDotsPerMm_, &error)) {
    QMessageBox::warning(this, windowTitle(), Tip("PreviewExportFail").arg(path));
  }
}

}  // namespace tw
