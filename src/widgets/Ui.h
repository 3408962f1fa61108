// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Seams and helpers the windows share: message boxes through QMessageBox, the help files, the beep.
#include <QString>
#include <functional>
#include <string_view>

#include "core/Messages.h"

class QWidget;

namespace tw {

// The application title: the main window's caption and the caption of the messages that have no
// catalog caption of their own.
inline constexpr char kApplicationTitle[] = "Tagwright(WVLZ)";

// Makes ShowMessage() show application-modal QMessageBoxes (the GUI calls this once at start).
void InstallQtMessageBoxes();
// Shows a message whose text and caption are QStrings (through the same seam as ShowMessage).
MsgAnswer ShowMessageQ(const QString& text, const QString& caption, MsgIcon icon = MsgIcon::None,
                       MsgButtons buttons = MsgButtons::Ok);

// Opens the help of a language: help/Tagwright(WVLZ)_CN.chm (languages 0 and 1) or _EN.chm (2)
// beside the program, or the .html of the same name when the .chm is not there.
void OpenHelp(int languageIndex);
// The file OpenHelp would open for a language.
QString HelpFilePath(int languageIndex);
// Tests replace what opening a file does.
void SetHelpOpener(std::function<void(const QString& path)> opener);

// Places a window at the centre of its owner's window, or of its screen when it has no owner, and
// within the screen's available area. Called once the window's layout has its final size (after
// relabelling).
void CentreOnOwner(QWidget* window);

// Qt's own texts (standard buttons of message boxes and file dialogs) in the language of the index.
void UseQtTranslations(int languageIndex);

// The rejected-key beep; tests count it.
void Beep();
void SetBeeper(std::function<void()> beeper);

}  // namespace tw
