// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The setup wizard for printers of the Z command set: six pages that read the printer's basic label
// settings, let the user change them, and on Finish send one block of commands (and save it to a file
// if asked). Modal; the main window creates it for each use.
#include <optional>

#include "jobs/LinkJob.h"
#include "wizards/SetupWizard.h"
#include "wizards/ZSetupBlock.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace tw {

class TSetPrinter : public TSetupWizard {
  Q_OBJECT
 public:
  explicit TSetPrinter(QWidget* parent);

  // Reads the version, then the parameter slots, into the controls; false when the printer did not
  // answer the version request.
  bool ReadPrinterSettings() override;

  // The choices as Finish would send them (lengths converted to dots); nullopt after a field that
  // cannot be read was reported.
  std::optional<ZSetupChoices> CurrentChoices();

  QComboBox *MediaTypeComboBox, *MediaHandingComboBox, *BackfeedComboBox, *MediafeedoptionsComboBox;
  QLineEdit *TearoffadjustEdit, *LabelShiftEdit;
  QLabel *TearoffadjustUnitLabel, *LabelShiftUnitLabel;
  QCheckBox* MirrorImageCheckBox;

 protected:
  std::optional<std::string> BuildBlock() override;
  void AfterFinish() override;

 private:
  void BuildPages();
  void ShowFirmwareVersion(const std::string& version);
  // Reads the parameter slots after a successful version request; stops at the first failed read.
  // Runs on the job's thread; each value is shown in its control on the window's thread.
  void ReadParameterSlots(LinkJob& job);
};

}  // namespace tw
