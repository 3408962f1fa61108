// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizards/WizardCommon.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <algorithm>
#include <cmath>

#include "files/TextFiles.h"
#include "lang/Language.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/JpegImage.h"
#include "widgets/Ui.h"

// The resource lives in a static library: it is registered before its first use (at global scope,
// as the registration macro requires).
static void InitWizardResources() { Q_INIT_RESOURCE(wizards); }

namespace tw {
namespace {

constexpr int kBannerWidth = 631;
constexpr int kBannerHeight = 64;

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

}  // namespace

const QImage& WizardBannerPicture() {
  static const QImage picture = [] {
    InitWizardResources();
    return LoadJpeg(QStringLiteral(":/wizards/banner.jpg"));
  }();
  return picture;
}

WizardBanner::WizardBanner(QWidget* parent, const QString& sheetName, const QString& titleText,
                           const QString& descriptionText)
    : QWidget(parent) {
  setObjectName(sheetName + QStringLiteral("Banner"));
  title = new QLabel(titleText, this);
  title->setObjectName(sheetName + QStringLiteral("Title"));
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  description = new QLabel(descriptionText, this);
  description->setObjectName(sheetName + QStringLiteral("Description"));
  // The texts sit on the white field left of the two labels drawn at the picture's right end.
  auto* texts = new QVBoxLayout(this);
  texts->setContentsMargins(14, 8, 150, 8);
  texts->setSpacing(2);
  texts->addWidget(title);
  texts->addWidget(description);
  for (QLabel* label : {title, description}) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
  }
  setMinimumHeight(kBannerHeight * 3 / 4);
}

// The wizard's pages are narrower than the picture: it is drawn to the banner's width.
QSize WizardBanner::sizeHint() const { return {kBannerWidth * 5 / 6, kBannerHeight}; }

void WizardBanner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage& picture = WizardBannerPicture();
  if (picture.isNull()) {
    painter.fillRect(rect(), Qt::white);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(rect(), picture);
}

WizardPage AddWizardPage(QStackedWidget* pages, const char* sheetName, const char* title,
                         const char* description) {
  auto* sheet = new QWidget(pages);
  sheet->setObjectName(QString::fromLatin1(sheetName));
  auto* layout = new QVBoxLayout(sheet);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* banner = new WizardBanner(sheet, sheet->objectName(), QString::fromUtf8(title),
                                  QString::fromUtf8(description));
  layout->addWidget(banner);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(24, 12, 24, 8);
  layout->addLayout(body, 1);
  pages->addWidget(sheet);
  return {sheet, banner, body};
}

WizardButtons AddWizardButtons(QWidget* form, QBoxLayout* layout) {
  struct Row {
    QPushButton* WizardButtons::*button;
    const char* name;
    const char* caption;
  };
  static constexpr Row kRows[] = {
      {&WizardButtons::HelpBtn, "HelpBtn", "帮助"},
      {&WizardButtons::CancelBtn, "CancelBtn", "取消"},
      {&WizardButtons::GetPrinterSettinglBtn, "GetPrinterSettinglBtn", "获取设置"},
      {&WizardButtons::BackBtn, "BackBtn", "上一步"},
      {&WizardButtons::NextBtn, "NextBtn", "下一步"},
      {&WizardButtons::FinishBtn, "FinishBtn", "完成"},
  };
  WizardButtons buttons{};
  auto* row = new QHBoxLayout;
  for (const Row& entry : kRows) {
    auto* button = new QPushButton(QString::fromUtf8(entry.caption), form);
    button->setObjectName(QString::fromLatin1(entry.name));
    button->setAutoDefault(false);
    buttons.*entry.button = button;
    row->addWidget(button);
    // Help and Cancel stand apart from the reading and the navigation.
    if (entry.button == &WizardButtons::CancelBtn) row->addStretch(1);
  }
  layout->addLayout(row);
  return buttons;
}

WizardMessages LoadWizardMessages() {
  const IniDocument file = LoadLanguageFile(CurrentLanguageFile());
  auto text = [&](std::string_view key, const QString& designed = QString()) {
    return LanguageText(file, kFieldMessageSection, key, designed);
  };
  return {text(kNotANumberKey), text(kInputErrorCaptionKey), text(kRangeKey), text("GetVersionFail"),
          text("ReplyNotANumber", QStringLiteral("无法读取打印机的回复：“%2”中的“%1”不是有效的整数。")),
          text("SlotReplyNotHex", QStringLiteral("无法读取打印机的回复：参数地址%2的回复“%1”不是十六进制数。")),
          text("FieldOutOfRange", QStringLiteral("“%1”的数值超出范围，有效范围：%2")),
          text("SentNotSaved", QStringLiteral("已发送到打印机；未保存到文件"))};
}

LengthFields::LengthFields(QObject* parent, WizardKind wizard, Controls controls,
                           std::function<UnitConverter()> converter)
    : QObject(parent), wizard_(wizard), controls_(controls), converter_(std::move(converter)) {
  for (int i = 0; i < kLengthFieldCount; ++i) {
    QLineEdit* edit = controls_.edits[i];
    remembered_[i] = edit->text();
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textChanged, this, [this, i](const QString& text) {
      remembered_[i] = text;
      if (!settingText_) heldDots_[i].reset();
      UpdateRangeMark(i);
    });
  }
  connect(controls_.units, &QComboBox::activated, this, [this] { UnitsComboBoxChange(); });
}

void LengthFields::SetCurrentUnitFromList() {
  if (auto unit = LengthUnitFromIndex(controls_.units->currentIndex())) current_ = *unit;
}

void LengthFields::SetFieldText(int index, const QString& text) {
  settingText_ = true;
  controls_.edits[index]->setText(text);
  settingText_ = false;
  UpdateRangeMark(index);  // also when the text stayed the same but now stands for read dots
}

void LengthFields::ForgetDotsOfAnotherResolution() {
  const int resolution = converter_().Density().resolution;
  if (resolution != heldResolution_) heldDots_ = {};
  heldResolution_ = resolution;
}

void LengthFields::ShowDots(LengthField field, long long dots) {
  ForgetDotsOfAnotherResolution();
  const double value = converter_().Convert(LengthUnit::Dots, current_, static_cast<double>(dots));
  const std::string text = current_ == LengthUnit::Dots ? FormatDots(dots) : FormatLengthTwoDecimals(value);
  heldDots_[Index(field)] = dots;
  SetFieldText(Index(field), Utf8(text));
}

std::optional<long long> LengthFields::CommandDotsOf(LengthField field) {
  ForgetDotsOfAnotherResolution();
  if (heldDots_[Index(field)]) return *heldDots_[Index(field)];
  const std::string text = controls_.edits[Index(field)]->text().toStdString();
  const FieldDots read = DotsOfFieldText(text, current_, converter_().Density());
  if (!read.dots) RejectField(field, Utf8(read.error));
  return read.dots;
}

bool LengthFields::CheckField(LengthField field) {
  if (checking_) return true;  // another field's message comes first
  QLineEdit* edit = controls_.edits[Index(field)];
  const FieldCheck check = CheckLengthField(wizard_, field, current_, edit->text().toStdString());
  switch (check.verdict) {
    case FieldVerdict::Accepted:
      // The display form of the same value: a field holding read dots keeps them.
      SetFieldText(Index(field), Utf8(check.text));
      return true;
    case FieldVerdict::NotANumber:
      RejectField(field, messages_.notANumber);
      return false;
    case FieldVerdict::OutOfRange:
      RejectField(field, OutOfRangeText(field, check.rangeText));
      return false;
    case FieldVerdict::ConversionError:
      RejectField(field, Utf8(check.error));
      return false;
  }
  return false;
}

QString LengthFields::OutOfRangeText(LengthField field, std::string_view rangeText) const {
  // The caption is the label that stands for the field (its buddy), without its colon.
  QLineEdit* edit = controls_.edits[Index(field)];
  QString caption;
  for (const QLabel* label : edit->parentWidget()->findChildren<QLabel*>()) {
    if (label->buddy() == edit) caption = label->text();
  }
  caption.remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(u'&');  // mnemonics: "(&L)" or "&"
  while (caption.endsWith(u':') || caption.endsWith(u'：')) caption.chop(1);
  if (caption.isEmpty() || messages_.fieldOutOfRange.isEmpty()) return messages_.rangePrefix + Utf8(rangeText);
  return messages_.fieldOutOfRange.arg(caption.trimmed(), Utf8(rangeText));
}

void LengthFields::UpdateRangeMark(int index) {
  // Only a length held as dots (read from the printer) is marked; what the user types is checked on
  // leaving it.
  QLineEdit* edit = controls_.edits[index];
  const auto field = static_cast<LengthField>(index);
  const FieldCheck check = CheckLengthField(wizard_, field, current_, edit->text().toStdString());
  const bool mark = heldDots_[index] && check.verdict == FieldVerdict::OutOfRange;
  if (!mark && !marked_[index]) return;
  marked_[index] = mark;
  QPalette palette;  // nothing set: the field follows its window's palette again
  if (mark) palette.setColor(QPalette::Base, QColor(255, 214, 214));
  edit->setPalette(palette);
  edit->setToolTip(mark ? OutOfRangeText(field, check.rangeText) : QString());
}

void LengthFields::RejectField(LengthField field, const QString& message) {
  QLineEdit* edit = controls_.edits[Index(field)];
  checking_ = true;
  ShowMessageQ(message, messages_.errorCaption, MsgIcon::Warning);
  edit->setFocus(Qt::OtherFocusReason);
  checking_ = false;
}

bool LengthFields::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut) return false;
  for (int i = 0; i < kLengthFieldCount; ++i) {
    if (watched != controls_.edits[i]) continue;
    if (event->type() == QEvent::FocusIn) {
      remembered_[i] = controls_.edits[i]->text();
      return false;
    }
    // Leaving the window (another application, a menu, a message box) is not leaving the field.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (checking_ || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
    // The control taking the focus already has it while the field hears that it lost it.
    const auto& unchecked = uncheckedTargets_;
    if (std::find(unchecked.begin(), unchecked.end(), QApplication::focusWidget()) != unchecked.end()) return false;
    CheckField(static_cast<LengthField>(i));
    return false;
  }
  return false;
}

void LengthFields::ShowUnitCaptions(LengthUnit unit) {
  for (QLabel* label : controls_.unitLabels) label->setText(Utf8(LengthLabelText(unit)));
  controls_.speedUnitLabel->setText(Utf8(SpeedLabelText(unit)));
}

void LengthFields::ReplaceSpeedList(LengthUnit unit) {
  const int selected = controls_.speed->currentIndex();
  controls_.speed->clear();
  for (std::string_view entry : SpeedList(unit)) controls_.speed->addItem(Utf8(entry));
  controls_.speed->setCurrentIndex(selected < controls_.speed->count() ? selected : -1);
}

void LengthFields::UnitsComboBoxChange() {
  const std::optional<LengthUnit> chosen = LengthUnitFromIndex(controls_.units->currentIndex());
  if (!chosen) return;
  std::array<std::string, kLengthFieldCount> texts;
  for (int i = 0; i < kLengthFieldCount; ++i) texts[i] = controls_.edits[i]->text().toStdString();
  ForgetDotsOfAnotherResolution();
  const UnitChange change = ChangeLengthUnit(converter_(), current_, *chosen, texts, heldDots_);
  if (!change.ok) {
    // Nothing was converted: the list goes back to the unit the fields are still written in.
    controls_.units->setCurrentIndex(static_cast<int>(current_));
    RejectField(*change.failedField, Utf8(change.error));
    return;
  }
  current_ = change.currentUnit;
  for (int i = 0; i < kLengthFieldCount; ++i) SetFieldText(i, Utf8(change.fields[i]));
  heldDots_ = change.dots;
  ShowUnitCaptions(current_);
  ReplaceSpeedList(current_);
}

bool SaveBlockToFile(const TFileDialog& dialog, QWidget* parent, const QByteArray& block) {
  const QString path = AskTextSavePath(dialog, parent);
  if (path.isEmpty()) return false;
  return WriteFileOrSay(path, std::string_view(block.constData(), static_cast<size_t>(block.size())));
}

}  // namespace tw
