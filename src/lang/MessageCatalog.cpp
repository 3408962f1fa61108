// SPDX-License-Identifier: GPL-3.0-or-later
#include "lang/MessageCatalog.h"

#include <array>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "lang/Language.h"

namespace tw {
namespace {

// The sections and keys that windows show; a language file's other keys are not read.
constexpr std::string_view kTipsKeys[] = {
    "PortNotOpen", "SendDataFail", "NoDataSend", "Send", "FeiFaZiFuStr", "ShuRuYuFaCuoWu", "FeiFaZiFu",
    "YuFaCuoWu", "YuFaCuoWuCaption", "Page1", "Page2", "PageTotal", "Download", "Reset", "PrinterResetSuccess",
    "QueryVersion", "VersionIs", "PrintSelfTest", "PortName", "Time", "ExitTip", "SureExit",
    "NotOpenPortMessageBox", "NotOpenPortMessageBoxCaption", "MiMaCuoWu", "MiMaCuoWuCaption",
    "NotOpenFileMessageBox", "SaveEepSucc", "ReadFinish", "ReadFail", "UpdateFail", "UpdateFinish",
    // Files of the send and receive areas that cannot be read or written, and the question before a
    // renamed file replaces another.
    "FileReadFail", "FileWriteFail", "FileReplace",
    // The user's settings folder cannot be created or written (followed by the folder and the reason).
    "UserFolderFail",
    // A file opened into the send area that is larger than a page: how much was loaded.
    "OpenTooLarge",
    // A version query without a reply; the memory format's question and report; a reset that leaves
    // the serial or parallel port open; the caption of a parameter write's report; what exiting loses.
    "VersionNoReply", "FormatMemoryAsk", "FormatMemorySent", "ResetSent", "UpdateFinishCaption",
    "ExitLosesSendData", "ExitLosesReceivedData",
    // Named entries a dump left out because the printer did not answer them (followed by their keys).
    "DumpEntriesUnanswered",
// An exchange running in the background: its progress, its Cancel button, and the refusal of
    // another exchange while the link is taken.
    "JobStep", "JobCancel", "LinkBusy",
    // Kept send pages that cannot be read; the session log and its failure; the help window.
    "SendPagesDamaged", "LogOn", "LogFileFail", "HelpCaption", "HelpInBrowser", "HelpMissing",
    // The label preview: a page without a label, "Label %1 of %2", an export that cannot be written.
    "PreviewNoLabel", "PreviewLabelOf", "PreviewExportFail",
    // The printer list window: its column titles, the states of a printer's job, the summary line.
    "FleetName", "FleetAddress", "FleetState", "FleetProgress", "FleetResult", "FleetMessage", "FleetWaiting",
    "FleetRunning", "FleetDone", "FleetFailed", "FleetSkipped", "FleetNotStarted", "FleetInterrupted",
    "FleetInterruptedSlots", "FleetSummary", "FleetStepConnecting", "FleetStepAsking", "FleetStepReadingParameters",
    "FleetStepReading", "FleetStepWriting", "FleetStepResetting", "FleetStepReadingBack", "FleetStepSending",
    "FleetInterruptedDelivered", "FleetInterruptedUnknown"};
constexpr std::string_view kSetPortKeys[] = {"PortSetting", "ShuRuPortError", "COMNotOpen", "OpenLPTError",
                                             "USBNotOpen",  "CantOpenUSB",    "PortSetStr", "OpenPordFailed",
                                             "Warning",     "PortName",
                                             // A port refused for lack of permission: the group or udev
                                             // rule that grants access, per kind.
                                             "NoAccessSerial", "NoAccessParallel", "NoAccessUsbPrinter",
                                             "NoAccessUsbDevice",
                                             // OK with nothing to connect to: no USB printer, or an
                                             // address or port field left empty.
                                             "NoUsbPrinter", "EnterAddress",
                                             // A USB printer that another program holds.
                                             "UsbInUse",
                                             // The serial number in a found serial device's tool tip.
                                             "SerialNumber",
                                             // The printer search: its list's columns, a range that
                                             // is not one, the question before a large range, a way
                                             // that could not run.
                                             "FindColumns", "FindBadRange", "FindRangeLarge", "FindWayNotRun",
                                             // Adding a found printer to the printer list.
                                             "FindAddedToList", "FindAddToListFail"};
constexpr std::string_view kDownDialogKeys[] = {"DownloadFile", "PortNotOpen",  "NotSelectFile",
                                                "WriteFail",    "FinishReopen", "FinishNotReopen",
                                                // "%1 bytes sent" below the bar after a download
                                                "BytesSent",
                                                // A stopped download (with the bytes the printer took
                                                // and the file's size), and the warning before a
                                                // firmware file is stopped.
                                                "StoppedDownload", "FirmwareStopWarning"};
constexpr std::string_view kSetPrinterKeys[] = {"QingShuRuShuZhi", "ShuRuCuoWu",      "FanWei",
                                                "GetVersionFail",  "FieldOutOfRange", "SentNotSaved"};
// The status window: the conditions' texts by id (the unknown one with its values as %1), the
// notes on what a reading could not read, and the window's own messages.
constexpr std::string_view kStatusKeys[] = {
    "paper-out", "pause", "buffer-full", "comms-diagnostic-mode", "partial-format", "corrupt-ram",
    "under-temperature", "over-temperature", "head-open", "ribbon-out", "label-waiting",
    "cutter-fault", "head-over-temperature", "motor-over-temperature", "bad-head-element",
    "head-detection-error", "invalid-firmware-config", "head-thermistor-open",
    "paper-jam-during-retract", "presenter-not-running", "paper-feed-error",
    "clear-paper-path-failed", "black-mark-calibrate-error", "black-mark-not-found", "calibrate",
    "clean-head", "replace-head", "paper-near-end", "sensor-1", "sensor-2", "sensor-3", "sensor-4",
    "sensor-5", "sensor-6", "sensor-7", "sensor-8", "syntax-error", "object-exceeds-label",
    "data-length", "insufficient-memory", "memory-configuration", "duplicate-name", "unknown",
    "NoteNotAnswered", "NoteNoEtx", "NoteFrameMissing", "NoteExtraFrames", "NoteFieldCount",
    "NoteBadValue", "NoteUnreadable", "NoteFlagDisagrees", "NoteOutside", "NoteNoLineEnd",
    "NoteLinkFailed", "NoteLinkLost", "NoProblem", "NoAnswer", "Identity", "NoIdentity", "ReadAt",
    "Reading", "LinkBusy", "WatchWorst", "WatchOk", "WatchNoAnswer", "NoteStrayFrame"};

struct CatalogSection {
  std::string_view name;
  std::span<const std::string_view> keys;
};
constexpr std::array<CatalogSection, 5> kSections = {{
    {"Tips", kTipsKeys},
    {"SetPort", kSetPortKeys},
    {"DownDialog", kDownDialogKeys},
    {"SetPrinter_1", kSetPrinterKeys},
    {"Status", kStatusKeys},
}};

// Index of a section in kSections, or -1.
int SectionIndex(std::string_view section) {
  for (std::size_t i = 0; i < kSections.size(); ++i) {
    if (kSections[i].name == section) return static_cast<int>(i);
  }
  return -1;
}

// Index of a key in its section's list, or -1.
int KeyIndex(int section, std::string_view key) {
  const auto& keys = kSections[static_cast<std::size_t>(section)].keys;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) return static_cast<int>(i);
  }
  return -1;
}

// The text slots, UTF-8, one vector per section parallel to its keys; empty until loaded. The receive
// thread reads them while the UI thread may reload a section.
struct TextSlots {
  std::mutex mutex;
  std::array<std::vector<std::string>, kSections.size()> texts;
};

TextSlots& Catalog() {
  // Never destroyed: a late message during shutdown still finds its slots.
  static TextSlots* const catalog = [] {
    auto* created = new TextSlots;
    for (std::size_t i = 0; i < created->texts.size(); ++i) created->texts[i].resize(kSections[i].keys.size());
    return created;
  }();
  return *catalog;
}

std::string SlotText(std::string_view section, std::string_view key) {
  const int sectionIndex = SectionIndex(section);
  if (sectionIndex < 0) return {};
  const int keyIndex = KeyIndex(sectionIndex, key);
  if (keyIndex < 0) return {};
  TextSlots& catalog = Catalog();
  std::lock_guard lock(catalog.mutex);
  return catalog.texts[static_cast<std::size_t>(sectionIndex)][static_cast<std::size_t>(keyIndex)];
}

// Once the catalog is in use, core's CatalogText answers from the slots: a text that was not loaded
// is empty rather than the key's name.
void InstallLookupOnce() {
  static std::once_flag installed;
  std::call_once(installed, [] { SetCatalogLookup(SlotText); });
}

}  // namespace

QStringList CatalogKeys(std::string_view section) {
  QStringList keys;
  const int sectionIndex = SectionIndex(section);
  if (sectionIndex < 0) return keys;
  for (std::string_view key : kSections[static_cast<std::size_t>(sectionIndex)].keys) {
    keys.append(QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size())));
  }
  return keys;
}

void LoadCatalogSection(std::string_view section) {
  InstallLookupOnce();
  const int sectionIndex = SectionIndex(section);
  if (sectionIndex < 0) return;
  const IniDocument file = LoadLanguageFile(CurrentLanguageFile());
  const auto& keys = kSections[static_cast<std::size_t>(sectionIndex)].keys;
  std::vector<std::string> texts;
  texts.reserve(keys.size());
  for (std::string_view key : keys) texts.push_back(file.ReadString(section, key, ""));
  TextSlots& catalog = Catalog();
  std::lock_guard lock(catalog.mutex);
  catalog.texts[static_cast<std::size_t>(sectionIndex)] = std::move(texts);
}

QString Msg(std::string_view section, std::string_view key) {
  InstallLookupOnce();
  return QString::fromStdString(SlotText(section, key));
}

}  // namespace tw
