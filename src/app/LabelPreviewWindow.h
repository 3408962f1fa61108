// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The label preview window: draws the send area's current page as the printer would print it, at
// true scale with zoom and the label's outline, lists what was not drawn (a click selects it in
// the send area) and exports the labels as PNG or PDF. It sends nothing: the resolution is chosen,
// or the one last read from the printer (setup wizard, status reading).
#include <QByteArray>
#include <QWidget>
#include <vector>

#include "preview/Preview.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QShowEvent;
class QSpinBox;
class QTimer;

namespace tw {

class TFileDialog;

class LabelPreviewWindow : public QWidget {
  Q_OBJECT
 public:
  // Redraw this long after the last change of the page: typing is not slowed by drawing.
  static constexpr int kRedrawDelayMs = 300;

  // `hexForm` tells whether the memo shows the page in hex form; the preview draws the page's bytes
  // as a send would send them.
  LabelPreviewWindow(QPlainTextEdit* sendMemo, const QCheckBox* hexForm, QWidget* parent = nullptr);

  // Draws the page now (the debounced redraw calls it; tests and the benchmark may too). The
  // drawing runs on a worker thread; drawn() is emitted when its result is shown.
  void Redraw();
  const preview::Result& result() const { return result_; }
  QListWidget* notDrawnList() const { return notDrawn_; }
  void Relabel();

 signals:
  void drawn();

 private:
  void ScheduleRedraw();
  void ShowResult(quint64 generation, const QByteArray& data, preview::Result result);
  void ShowLabel();
  void SelectInSendArea(int row);
  void showEvent(QShowEvent* event) override;
  void Export(TFileDialog& dialog);
  int DotsPerMm() const;
  std::optional<preview::CommandSet> ChosenSet(const QByteArray& data) const;

  QByteArray PageBytes() const;

  QPlainTextEdit* sendMemo_;
  const QCheckBox* hexForm_;
  QComboBox* setBox_;
  QComboBox* dpmmBox_;
  QComboBox* zoomBox_;
  QSpinBox* labelBox_;
  QLabel* labelCount_;
  QScrollArea* scroll_;
  QLabel* picture_;
  QLabel* status_;
  QListWidget* notDrawn_;
  QPushButton* exportPng_;
  QPushButton* exportPdf_;
  QTimer* redrawTimer_;
  TFileDialog* pngDialog_;
  TFileDialog* pdfDialog_;
  int appliedReading_ = 0;   // the printer's resolution reading the resolution box last took

  quint64 generation_ = 0;   // of the page text last handed to a drawing
  bool drawing_ = false;     // a drawing is running on the worker thread
  bool again_ = false;       // the page changed while it ran
  QByteArray drawnData_;     // the bytes the shown result was drawn from
  int drawnDotsPerMm_ = 8;
  preview::Result result_;
};

}  // namespace tw
