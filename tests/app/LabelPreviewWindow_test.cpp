// SPDX-License-Identifier: GPL-3.0-or-later
// The label preview window of the main window: it draws the send area's page, redraws after typing,
// and a click on a thing not drawn selects that command in the send area, in text and hex form.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>

#include "app/LabelPreviewWindow.h"
#include "app/MainForm.h"

namespace tw {
namespace {

TEST(LabelPreviewWindow, DrawsThePageAndSelectsWhatWasNotDrawn) {
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

  // Typing redraws after a pause: a second label.
  form.MemoSend->appendPlainText("^XA^FO0,0^GB8,8,8^FS^XZ");
  ASSERT_TRUE(drawn.wait(10000));
  EXPECT_EQ(window->result().labels.size(), 2u);
}

}  // namespace
}  // namespace tw
