// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The setup wizard for printers of the E command set: seven pages that read the printer's
// configuration ("UQ"), let the user change the label settings, and on Finish send one block of
// commands (and save it to a file if asked). Lengths are converted at the printer's resolution
// (203 or 300 dpi) found by the read. Modal; the main window creates it for each use.
#include <optional>

#include "wizards/EplConfig.h"
#include "wizards/SetupWizard.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace tw {

class TSetPrinterEPL : public TSetupWizard {
  Q_OBJECT
 public:
  explicit TSetPrinterEPL(QWidget* parent);

  void CodePageComboBoxChange();
  // Asks the printer for its configuration and shows it in the controls; false when no version
  // came back (Next and Finish are then disabled).
  bool ReadPrinterSettings() override;

  // The choices as Finish would send them (lengths converted to dots at the resolution in force);
  // nullopt after a field that cannot be read was reported.
  std::optional<EplSetupChoices> CurrentChoices();

  QComboBox *PrintModeComboBox, *MediaTypeComboBox, *MediaHandingComboBox, *CodePageComboBox,
      *KDUCountryCodeComboBox;
  QLineEdit *GapHeightEdit, *OffsetEdit;
  QLabel *TearoffadjustUnitLabel, *LabelShiftUnitLabel, *PrintModeLabel, *KDULabel;
  QCheckBox *chkTOFBackup, *ErrorReportCheckBox;

 protected:
  std::optional<std::string> BuildBlock() override;

 private:
  void BuildPages();
  void ShowConfiguration(const EplConfiguration& configuration);
  void ShowCountryCode(bool visible);

  // A code page the printer reported that the list does not hold ("F" or a 7-bit one): sent back on
  // Finish while the list shows no selection, so that the printer keeps it.
  std::optional<int> unlistedCodePage_;
};

}  // namespace tw
