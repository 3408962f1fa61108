// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The work of the port dialog's confirm button without its controls: check the COM name, close what
// is open, open the selected kind, update the link state, remember the choice in lib/PortInfo.ini.
// The dialog shows what the outcome names: a message (catalog keys of section SetPort), the status
// bar texts, and an INI write error.
#include <optional>
#include <string>

#include "core/Messages.h"
#include "link/LinkState.h"
#include "portset/PortInfo.h"

namespace tw {

struct ConnectRequest {
  // The kind of the checked radio button; none checked keeps the link's selected kind.
  std::optional<PortKind> selectedKind;
  PortChoice choice;        // list positions, address texts and command set as the dialog shows them
  std::string comName;      // text of CbPortName
  std::string lptName;      // text of CbLptName
  std::string usbName;      // text of CbUSBName
  std::string usbListText;  // the whole USB name list, each entry followed by CR LF
  int usbIndex = 0;         // position of CbUSBName in its list
};

struct ConnectOutcome {
  bool opened = false;
  // The message box to show; empty messageKey means none. Keys of section SetPort.
  std::string messageKey;
  std::string captionKey;
  MsgIcon icon = MsgIcon::None;
  // Status bar: when statusChanged, panel 0 shows the PortName text followed by statusPanel0Suffix
  // and panel 1 shows statusPanel1.
  bool statusChanged = false;
  std::string statusPanel0Suffix;
  std::string statusPanel1;
  // Set when lib/PortInfo.ini could not be written ("Unable to write to <path>"); the port stays open.
  std::string iniWriteError;
};

// What the status bar says of the link: the text after the port caption in panel 0 and panel 1.
// Nothing while no port is open; "NET" after the caption for the network; a serial or parallel name
// with the device it stands for ("COM1 (/dev/ttyS0)"); the USB name of the open device or printer.
struct PortStatusText {
  std::string panel0Suffix;
  std::string panel1;
};
PortStatusText StatusOfLink();

// True when the COM name has the form "COM" + a digit 1-9 + further digits only.
bool IsValidComName(const std::string& name);

ConnectOutcome ConnectPrinter(const ConnectRequest& request);

}  // namespace tw
