// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Relabelling a window from a language file. Every window runs it when it opens: the window's own
// caption and hint, then each named component in creation order, by kind, with keys
// "<name>.Caption", ".Hint", ".Text", ".Lines[n]", ".Items" and ".Filter" of the window's section.
#include <QString>
#include <QStringList>
#include <filesystem>

class QWidget;

namespace tw {

class TChangeLan {
 public:
  enum Category : int { Caption = 1, Hint = 2, Text = 4, Lines = 8, Items = 16, Filter = 1024 };

  TChangeLan() = default;
  // `unused` is accepted as callers pass it ("None"); `section` is the window's form name.
  // The category mask comes from the window's "tag" property (0 or absent: every category).
  void Relabel(QWidget* window, const std::filesystem::path& languageFile, const QString& unused,
               const QString& section);

  // An ".Items" value: split at commas, blanks kept; an entry that begins with a double quote runs to
  // the matching quote ("" inside stands for one) and may hold commas; a trailing comma adds an empty
  // last entry.
  static QStringList ParseItems(const QString& value);
};

}  // namespace tw
