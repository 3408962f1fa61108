// SPDX-License-Identifier: GPL-3.0-or-later
// The exchanges that run as link jobs, against a virtual printer that answers slowly over loopback
// TCP: the window's event loop runs on while the job does, a read stops at Cancel before its next
// request and the next exchange then works, and a checked write cannot be cancelled and completes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>

#include "app/MaintenanceCommands.h"
#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/Connection.h"
#include "link/DataTransfer.h"
#include "link/LinkState.h"
#include "params/EepromSetNormalUser.h"
#include "sim/VirtualPrinter.h"
#include "support/PrinterLink.h"
#include "support/TestSupport.h"
#include "widgets/FileDialogSpec.h"
#include "widgets/JobPanel.h"
#include "wizards/SetPrinter.h"

namespace tw {
namespace {

class LinkJobsTest;

// One kind of exchange: what it needs first, how the test starts it, whether Cancel may stop it, and
// how the test sees that it completed.
struct ExchangeRow {
  const char* name;
  bool cancellable;
  std::function<void(LinkJobsTest&)> prepare;
  std::function<void(LinkJobsTest&)> start;
  std::function<bool(LinkJobsTest&)> completed;
};

class LinkJobsTest : public ::testing::TestWithParam<ExchangeRow> {
 public:
  void SetUp() override {
    InitProgramDirFromExecutable();
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    ResetLink({nullptr, nullptr, MakeTcpNetPortApi()});
    ASSERT_TRUE(test::ConnectLink(printer_, test::Transport::Tcp));
    for (int slot = 0; slot < 256; ++slot) printer_.SetSlot(slot, static_cast<uint16_t>(slot));
    SetFileChooser([this](const TFileDialog&, QWidget*) -> FileChoice {
      return {QString::fromStdString((dir_ / "table.eep").string()), 1};
    });
  }
  void TearDown() override {
    SetFileChooser({});
    ResetLink({});
  }

  bool LastMessageIs(const char* key) const {
    const auto shown = messages_.shown();
    return !shown.empty() && shown.back().text.starts_with(CatalogText("Tips", key));
  }
  // The read requests the printer has had: slots, named entries and the version.
  std::size_t Requests() const {
    const std::string received = printer_.Received();
    std::size_t count = 0;
    for (const char* request : {"@eep,r,", "@ini,r,", "@version"}) {
      for (auto at = received.find(request); at != std::string::npos; at = received.find(request, at + 1)) ++count;
    }
    return count;
  }

  static JobPanel* ShownJobPanel() {
    JobPanel* panel = nullptr;
    for (QWidget* widget : QApplication::allWidgets()) {
      if (auto* found = qobject_cast<JobPanel*>(widget)) panel = found;
    }
    return panel;
  }

  // Runs the row's exchange while a 5 ms timer watches for the job's panel; at the job's first step
  // it posts an event that notes whether the job still runs when it is served, notes whether Cancel
  // is offered and, for a cancellable exchange, clicks it.
  void RunProbed(const ExchangeRow& row) {
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      JobPanel* panel = ShownJobPanel();
      if (!panel || stepSeen_ || panel->JobProgress->text().isEmpty()) return;
      stepSeen_ = true;
      QTimer::singleShot(0, [this] { servedInJob_ = ShownJobPanel() != nullptr; });
      cancelOffered_ = panel->JobCancel->isEnabled();
      // Another window's exchange finds the link taken and does not run.
      otherRan_ = RunLinkJob(nullptr, LinkJob::Kind::Read, [](LinkJob&) { return true; }, true) !=
                  LinkJob::Outcome::Busy;
      if (!row.cancellable) return;
      requestsAtCancel_ = Requests();
      panel->JobCancel->click();
    });
    ticker.start(5);
    row.start(*this);
  }

  test::ScopedFastPacer pacer_{/*sleepScale=*/0.1, /*timeoutScale=*/1.0};
  test::MessageRecorder messages_;
  test::TempDir dir_;
  sim::VirtualPrinter printer_;
  int resets_ = 0;
  TFormEepromNormalUser editor_{nullptr, [this](const char*) { ++resets_; }};
  TSetPrinter wizard_{nullptr};
  QWidget window_;
  MaintenanceCommands maintenance_{{[](int, const QString&) {}, [] { return false; }, [] {}, [] {}}, &window_};

  bool servedInJob_ = false;
  bool stepSeen_ = false;
  bool cancelOffered_ = false;
  bool otherRan_ = true;
  std::size_t requestsAtCancel_ = 0;
};

const ExchangeRow kExchanges[] = {
    {"EditorRead", true, {}, [](LinkJobsTest& t) { t.editor_.btnReadPrintClick(); },
     [](LinkJobsTest& t) { return t.LastMessageIs("ReadFinish"); }},
    {"Dump", true, {},
     [](LinkJobsTest& t) {
       t.editor_.btnWrintFileClick();
       t.editor_.TimerReadEepTimer();
     },
     [](LinkJobsTest& t) { return std::filesystem::exists(t.dir_ / "table.eep"); }},
    {"CheckedWrite", false, [](LinkJobsTest& t) { t.editor_.btnReadPrintClick(); },  // the values to write
     [](LinkJobsTest& t) { t.editor_.btnSetPrintClick(); },
     [](LinkJobsTest& t) { return t.resets_ > 0; }},
    {"WizardRead", true, {}, [](LinkJobsTest& t) { t.wizard_.GetPrinterSettinglBtnClick(); },
     [](LinkJobsTest& t) { return t.wizard_.buttons.NextBtn->isEnabled() && t.Requests() >= 13; }},
    {"VersionQuery", false, {}, [](LinkJobsTest& t) { t.maintenance_.m_versionClick(); },
     [](LinkJobsTest& t) { return t.LastMessageIs("VersionIs"); }},
};

TEST_P(LinkJobsTest, TheWindowRunsOnCancelStopsAReadBetweenRequestsAndAWriteCompletes) {
  const ExchangeRow& row = GetParam();
  if (row.prepare) row.prepare(*this);
  // Each reply takes long enough that the job outlasts an event loop's turn by far.
  printer_.SetFaults({.replyDelayMs = 300});
  RunProbed(row);
  EXPECT_TRUE(servedInJob_) << "the event loop stood still during the job";
  ASSERT_TRUE(stepSeen_) << "no progress was shown";
  EXPECT_FALSE(otherRan_);
  EXPECT_FALSE(LinkExchangeClaimed());
  if (row.cancellable) {
    EXPECT_TRUE(cancelOffered_);
    EXPECT_FALSE(row.completed(*this));
    // The request in flight at the click is answered and read; none follows it.
    const std::size_t cancelled = Requests();
    EXPECT_LE(cancelled, requestsAtCancel_ + 1);
    // The link holds no stray reply: the next exchange completes, with all of its requests.
    printer_.SetFaults({});
    printer_.ClearReceived();
    row.start(*this);
    EXPECT_TRUE(row.completed(*this));
    EXPECT_LT(cancelled, Requests());
  } else {
    EXPECT_FALSE(cancelOffered_);
    EXPECT_TRUE(row.completed(*this));
  }
}

INSTANTIATE_TEST_SUITE_P(Exchanges, LinkJobsTest, ::testing::ValuesIn(kExchanges),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tw
