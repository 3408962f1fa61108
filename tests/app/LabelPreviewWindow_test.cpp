// SPDX-License-Identifier: GPL-3.0-or-later
// The label preview window of the main window: it draws the send area's page, redraws after typing,
// and a click on a thing not drawn selects that command in the send area, in text and hex form.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>

#include "app/LabelPreviewWindow.h"
#include "app/MainForm.h"
#include "core/AppPaths.h"
#include "core/PrinterResolution.h"
#include "lang/Language.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"

namespace tw {
namespace {

TEST(LabelPreviewWindow, DrawsThePageAndSelectsWhatWasNotDrawn) {
  // A program folder of the test's own: the resolution list, and the settings the dialogs keep.
  test::TempDir dir;
  SetProgramDir(dir.path());
  dir.Write("Language/English.lan", "[LabelPreview]\r\nDpmmBox.Items=6,8,12,24\r\n");
  SetCurrentLanguage(kLanguageEnglish);
  TMainForm form;
  form.MemoSend->setPlainText("^XA\n^FO10,10^GB50,50,5^FS\n^ZZ7\n^XZ");
  LabelPreviewWindow* window = form.OpenLabelPreview();
  QSignalSpy drawn(window, &LabelPreviewWindow::drawn);
  ASSERT_TRUE(drawn.wait(10000));
  ASSERT_EQ(window->result().labels.size(), 1u);
  EXPECT_EQ(window->result().labels[0].image.CountBlack(), 50 * 50 - 40 * 40);
  ASSERT_EQ(window->notDrawnList()->count(), 1);
  EXPECT_EQ(window->notDrawnList()->item(0)->text().left(9), "3:1: ^ZZ:");

  window->notDrawnList()->itemClicked(window->notDrawnList()->item(0));
  EXPECT_EQ(form.MemoSend->textCursor().selectedText(), "^ZZ7");

  // The hex form draws the same bytes, and a click selects the command's line.
  form.Cb_ShowHex->click();
  ASSERT_TRUE(drawn.wait(10000));
  ASSERT_EQ(window->result().labels.size(), 1u);
  EXPECT_EQ(window->result().labels[0].image.CountBlack(), 50 * 50 - 40 * 40);
  window->notDrawnList()->itemClicked(window->notDrawnList()->item(0));
  EXPECT_TRUE(form.MemoSend->textCursor().hasSelection());
  form.Cb_ShowHex->click();
  ASSERT_TRUE(drawn.wait(10000));

  // The PNG dialog is answered in a folder and opens there the next time.
  const auto* png = window->findChild<TFileDialog*>("PngSaveDialog");
  ASSERT_NE(png, nullptr);
  SetFileChooser([&](const TFileDialog&, QWidget*) { return FileChoice{QString::fromStdString((dir.path() / "shot").string()), 1}; });
  window->findChild<QPushButton*>("ExportPng")->click();
  SetFileChooser(nullptr);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "shot.png"));
  EXPECT_EQ(png->startFolder(), QString::fromStdString(dir.path().string()));

  // Typing redraws after a pause: a second label, not drawn; in view, its own reason is shown.
  form.MemoSend->appendPlainText("^XA^PW40000^XZ");
  ASSERT_TRUE(drawn.wait(10000));
  EXPECT_EQ(window->result().labels.size(), 2u);
  window->findChild<QSpinBox*>("LabelBox")->setValue(2);
  EXPECT_EQ(window->findChild<QLabel*>("Picture")->text(), "the label is larger than 32000 dots a side");

  // A resolution read from the printer meanwhile is taken when the window is shown again.
  SetLastReadDotsPerMm(std::string_view("12"));
  window->hide();
  window->show();
  EXPECT_EQ(window->findChild<QComboBox*>("DpmmBox")->currentIndex(), 2);
}

}  // namespace
}  // namespace tw
