// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fixed printer commands of the tools menu: reset, version query, self-test, memory listing and
// memory format, with the bytes of the current command set and their messages.
#include <QObject>
#include <QString>
#include <functional>

#include "core/Pacing.h"

class QWidget;

namespace tw {

namespace pace {
inline constexpr PaceStep kAfterReset{"wait after a reset before reporting it", 2000};
inline constexpr PaceStep kVersionPauseSerial{"receive thread pause before a version query, serial or parallel", 800};
inline constexpr PaceStep kVersionPause{"receive thread pause before a version query", 500};
}  // namespace pace

struct FixedCommand;

// The commands run as link jobs of the window that owns them (their parent), which shows their
// progress; without a window they run all the same.
class MaintenanceCommands : public QObject {
  Q_OBJECT
 public:
  // What the commands need of the main window.
  struct Hooks {
    std::function<void(int panel, const QString& text)> setStatusPanel;
    std::function<bool()> receiving;       // the receive thread's run flag
    std::function<void()> stopReceiving;   // clears the run flag
    std::function<void()> startReceiving;  // sets it, waits 200 ms, starts the thread
  };
  explicit MaintenanceCommands(Hooks hooks, QObject* parent = nullptr);

  // What a reset reports, as keys of the Tips catalog: the text when the link was closed behind it
  // (USB, network), the text when the port stays open (serial, parallel), and the caption.
  struct ResetReport {
    const char* closedTextKey;
    const char* openTextKey;
    const char* captionKey;
  };
  static constexpr ResetReport kPlainReset{"PrinterResetSuccess", "ResetSent", "Reset"};
  // The parameter editors' write ends with a reset that reports the update, on every kind of port.
  static constexpr ResetReport kParameterWriteReset{"UpdateFinish", "UpdateFinish", "UpdateFinishCaption"};

  void m_resertClick();
  // The reset with other texts: the parameter editors end their write with it and report the update
  // where the plain reset reports itself.
  void ResetPrinter(const ResetReport& report);
  void m_versionClick();
  void m_printcheckClick();  // also the tool bar's btnTestPage
  void m_printmemoryClick();
  // Formats the printer's memory after asking: it erases the stored fonts and graphics.
  void N16Click();

 private:
  QWidget* Window() const;
  // Sends the command when the link is open; shows the not-open or send-failed message otherwise.
  bool Send(const FixedCommand& command);

  Hooks hooks_;
};

}  // namespace tw
