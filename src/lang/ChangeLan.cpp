// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/ChangeLan.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <optional>
#include <string>
#include <unordered_set>

#include "lang/Language.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/RadioGroup.h"

namespace tw {
namespace {

constexpr int kEveryCategory = 0xFFFF;

// Key names match without regard to ASCII letter case, as the INI file's own lookup does. The file
// has been converted to UTF-8, where every byte below 0x80 is a character of its own.
std::string FoldKey(std::string key) {
  const auto first = key.find_first_not_of(" \t\r");
  const auto last = key.find_last_not_of(" \t\r");
  key = first == std::string::npos ? std::string() : key.substr(first, last - first + 1);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

int CategoryMask(const QWidget* window) {
  bool ok = false;
  const int tag = window->property("tag").toInt(&ok);
  return ok && tag != 0 ? tag : kEveryCategory;
}

// The tab widget and position of a widget that is a page of a tab widget (the tab widget keeps its
// pages in an inner stacked widget).
std::optional<std::pair<QTabWidget*, int>> TabOfPage(QWidget* widget) {
  auto* stack = qobject_cast<QStackedWidget*>(widget->parentWidget());
  auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
  if (!tabs) return std::nullopt;
  const int index = tabs->indexOf(widget);
  if (index < 0) return std::nullopt;
  return std::make_pair(tabs, index);
}

// Another form that happens to have this window as its parent (a dialog, a top-level window) is
// relabelled from its own section when it opens, not from this one. Menus are popup windows but
// belong to the window.
bool IsSeparateForm(const QObject* object) {
  const auto* widget = qobject_cast<const QWidget*>(object);
  if (!widget) return false;
  const Qt::WindowType type = widget->windowType();
  return type == Qt::Window || type == Qt::Dialog;
}

class Relabeller {
 public:
  Relabeller(const IniDocument& file, const QString& section, int mask)
      : file_(file), section_(section.toStdString()), mask_(mask) {
    for (const std::string& key : file_.Keys(section_)) presentKeys_.insert(FoldKey(key));
  }

  void RelabelWindow(QWidget* window) {
    name_ = QString::fromStdString(section_);
    if (auto caption = Read(TChangeLan::Caption, "Caption")) window->setWindowTitle(*caption);
    if (auto hint = Read(TChangeLan::Hint, "Hint")) window->setToolTip(*hint);
    WalkChildren(window);
  }

 private:
  // Pre-order over the window's objects, in the order they were created. The children are taken
  // after their parent is relabelled (a radio group rebuilds its buttons) and held weakly.
  void Walk(QObject* object) {
    if (IsSeparateForm(object)) return;
    const QString name = object->objectName();
    if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) {
      name_ = name;
      RelabelComponent(object);
    }
    WalkChildren(object);
  }

  void WalkChildren(QObject* parent) {
    QList<QPointer<QObject>> children;
    for (QObject* child : parent->children()) children.append(child);
    for (const QPointer<QObject>& child : children) {
      if (child) Walk(child);
    }
  }

  // The first matching kind wins, in this order.
  void RelabelComponent(QObject* object) {
    if (auto* label = qobject_cast<QLabel*>(object)) return CaptionAndHint(label, "text");
    if (auto* edit = qobject_cast<QLineEdit*>(object)) {
      if (auto text = Read(TChangeLan::Text, "Text")) edit->setText(*text);
      return Hint(edit);
    }
    if (auto* memo = qobject_cast<QPlainTextEdit*>(object)) return RelabelMemo(memo);
    if (auto* memo = qobject_cast<QTextEdit*>(object)) return RelabelMemo(memo);
    if (auto* button = qobject_cast<QPushButton*>(object)) return CaptionAndHint(button, "text");
    if (auto* action = qobject_cast<QAction*>(object)) return RelabelMenuItem(action);
    if (auto* menu = qobject_cast<QMenu*>(object)) {
      if (auto caption = Read(TChangeLan::Caption, "Caption")) menu->setTitle(*caption);
      return MenuItemHint(menu->menuAction());
    }
    if (auto* check = qobject_cast<QCheckBox*>(object)) return CaptionAndHint(check, "text");
    if (auto* tool = qobject_cast<QToolButton*>(object)) return CaptionAndHint(tool, "text");
    if (auto* radio = qobject_cast<QRadioButton*>(object)) return CaptionAndHint(radio, "text");
    auto* radioGroup = qobject_cast<TRadioGroup*>(object);
    if (auto* group = qobject_cast<QGroupBox*>(object); group && !radioGroup) return CaptionAndHint(group, "title");
    if (auto* page = qobject_cast<QWidget*>(object)) {
      if (const auto tab = TabOfPage(page)) {
        if (auto caption = Read(TChangeLan::Caption, "Caption")) tab->first->setTabText(tab->second, *caption);
        return Hint(page);
      }
    }
    if (radioGroup) return RelabelRadioGroup(radioGroup);
    if (auto* combo = qobject_cast<QComboBox*>(object)) return RelabelComboBox(combo);
    if (auto* dialog = qobject_cast<TFileDialog*>(object)) {
      if (auto filter = Read(TChangeLan::Filter, "Filter")) dialog->setFilter(*filter);
    }
  }

  void CaptionAndHint(QWidget* widget, const char* captionProperty) {
    if (auto caption = Read(TChangeLan::Caption, "Caption")) widget->setProperty(captionProperty, *caption);
    Hint(widget);
  }

  void Hint(QWidget* widget) {
    if (auto hint = Read(TChangeLan::Hint, "Hint")) widget->setToolTip(*hint);
  }

  // An action's tool tip follows its text until one is set, so it is set only when the file has one.
  void RelabelMenuItem(QAction* action) {
    if (auto caption = Read(TChangeLan::Caption, "Caption")) action->setText(*caption);
    MenuItemHint(action);
  }

  void MenuItemHint(QAction* action) {
    if (auto hint = Read(TChangeLan::Hint, "Hint")) {
      action->setToolTip(*hint);
      action->setStatusTip(*hint);
    }
  }

  // Line n of the memo from "<name>.Lines[n]" for every existing line; a line break at the very
  // end of the text ends the last line and does not start another one. A memo without such keys is
  // not touched at all: it may hold a large text of the user's, with its undo history.
  template <class Memo>
  void RelabelMemo(Memo* memo) {
    if ((mask_ & TChangeLan::Lines) && HasLineKeys()) ReplaceLines(memo);
    Hint(memo);
  }

  bool HasLineKeys() const {
    const std::string prefix = FoldKey(name_.toStdString() + ".Lines[");
    return std::any_of(presentKeys_.begin(), presentKeys_.end(),
                       [&prefix](const std::string& key) { return key.starts_with(prefix); });
  }

  template <class Memo>
  void ReplaceLines(Memo* memo) {
    const QString text = memo->toPlainText();
    if (text.isEmpty()) return;
    QStringList lines = text.split(QLatin1Char('\n'));
    const bool finalBreak = lines.size() > 1 && lines.last().isEmpty();
    const qsizetype count = finalBreak ? lines.size() - 1 : lines.size();
    bool changed = false;
    for (qsizetype n = 0; n < count; ++n) {
      if (auto line = Read(TChangeLan::Lines, "Lines[" + std::to_string(n) + "]")) {
        lines[n] = *line;
        changed = true;
      }
    }
    if (changed) memo->setPlainText(lines.join(QLatin1Char('\n')));
  }

  void RelabelRadioGroup(TRadioGroup* group) {
    if (auto caption = Read(TChangeLan::Caption, "Caption")) group->setTitle(*caption);
    Hint(group);
    // setItems keeps the selected position, or selects the last entry when the position is beyond
    // the new list; it does not report a click, as nobody clicked.
    if (mask_ & TChangeLan::Items) group->setItems(ReadItems());
  }

  void RelabelComboBox(QComboBox* combo) {
    Hint(combo);
    if (!(mask_ & TChangeLan::Items)) return;
    const QStringList items = ReadItems();
    // The list changes, not the user's choice: no change signals while the entries are replaced.
    const QSignalBlocker quiet(combo);
    const int selected = combo->currentIndex();
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(selected < combo->count() ? selected : -1);
  }

  QStringList ReadItems() const {
    auto value = Read(TChangeLan::Items, "Items");
    return value ? TChangeLan::ParseItems(*value) : QStringList();
  }

  // The value of "<name>.<suffix>" when the category is selected and the key is in the section.
  std::optional<QString> Read(int category, const std::string& suffix) const {
    if (!(mask_ & category)) return std::nullopt;
    const std::string key = name_.toStdString() + "." + suffix;
    if (!presentKeys_.contains(FoldKey(key))) return std::nullopt;
    const std::optional<std::string> value = file_.Find(section_, key);
    if (!value) return std::nullopt;
    return QString::fromStdString(*value);
  }

  const IniDocument& file_;
  const std::string section_;
  const int mask_;
  std::unordered_set<std::string> presentKeys_;  // folded names of the section's keys
  QString name_;                                 // the component being relabelled
};

}  // namespace

void TChangeLan::Relabel(QWidget* window, const std::filesystem::path& languageFile, const QString& /*unused*/,
                         const QString& section) {
  if (!window) return;
  const IniDocument file = LoadLanguageFile(languageFile);
  Relabeller(file, section, CategoryMask(window)).RelabelWindow(window);
}

QStringList TChangeLan::ParseItems(const QString& value) {
  QStringList items;
  if (value.isEmpty()) return items;
  const QChar quote(u'"');
  const QChar comma(u',');
  qsizetype pos = 0;
  for (;;) {
    QString entry;
    if (pos < value.size() && value[pos] == quote) {
      // A quoted part: "" stands for one quote; it ends at the lone closing quote (or at the end of
      // the value when the quote is never closed).
      ++pos;
      while (pos < value.size()) {
        if (value[pos] == quote) {
          if (pos + 1 < value.size() && value[pos + 1] == quote) {
            entry += quote;
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        entry += value[pos++];
      }
    }
    // Plain text, or what follows a closing quote, runs to the next comma.
    const qsizetype next = value.indexOf(comma, pos);
    entry += value.mid(pos, next < 0 ? -1 : next - pos);
    items.append(entry);
    if (next < 0) break;
    pos = next + 1;  // a comma at the very end leaves an empty last entry
  }
  return items;
}

}  // namespace tw
