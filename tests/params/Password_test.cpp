// SPDX-License-Identifier: GPL-3.0-or-later
// The authorization dialog: which code opens what, what a wrong code does, and that the receive
// thread stays stopped whatever the user does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include "core/AppPaths.h"
#include "lang/Language.h"
#include "lang/MessageCatalog.h"
#include "link/ReceiveThread.h"
#include "params/EepromSetNormalUser.h"
#include "params/EepromSetNormalUserEPL.h"
#include "params/Password.h"
#include "portset/CommandSet.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

class PasswordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramDirFromExecutable();  // the delivered language files
    SetCurrentLanguage(kLanguageEnglish);
    LoadCatalogSection("Tips");
    SetCommandSetIsZ(true);
    dialog_.show();
  }
  void Enter(const QString& code) {
    dialog_.edtpwd->setText(code);
    QTest::mouseClick(dialog_.btnok, Qt::LeftButton);
  }

  test::MessageRecorder messages_;
  TFormEepromNormalUser editor_{nullptr, {}};
  TFormEepromNormalUserEPL eEditor_{nullptr, {}};
  TFormPasswordSet dialog_{nullptr, &editor_, &eEditor_};
};

TEST_F(PasswordTest, RelabelsFromTheLanguageFileAndHidesTheCode) {
  EXPECT_EQ(dialog_.windowTitle(), "Authorization");
  EXPECT_EQ(dialog_.lblpwd->text(), "Please input the authorization code");
  EXPECT_EQ(dialog_.edtpwd->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(dialog_.btnok->isDefault());
  dialog_.hide();
  SetCurrentLanguage(kLanguageTraditional);
  dialog_.show();
  EXPECT_EQ(dialog_.btncancel->text(), "取消(&C)");
}

TEST_F(PasswordTest, AnEmptyCodeOnlyFocusesTheField) {
  dialog_.btnok->setFocus();
  Enter("");
  EXPECT_TRUE(messages_.shown().empty());
  EXPECT_EQ(dialog_.focusWidget(), dialog_.edtpwd);
  EXPECT_TRUE(dialog_.isVisible());
  EXPECT_FALSE(editor_.isVisible());
}

TEST_F(PasswordTest, CapitalsBlanksAndOtherCodesAreRejectedAndTheDialogStays) {
  const char* wrong[] = {"KELP", "Kelp", " kelp", "kelp ", "HARBOURLINEN", "harbourlinen ", "kel", "secret"};
  for (const char* code : wrong) {
    SCOPED_TRACE(code);
    const std::size_t before = messages_.shown().size();
    dialog_.btnok->setFocus();
    Enter(code);
    ASSERT_EQ(messages_.shown().size(), before + 1);
    EXPECT_EQ(messages_.shown().back().text, Tip("MiMaCuoWu").toStdString());
    EXPECT_EQ(messages_.shown().back().caption, Tip("MiMaCuoWuCaption").toStdString());
    EXPECT_TRUE(dialog_.edtpwd->text().isEmpty());
    EXPECT_EQ(dialog_.focusWidget(), dialog_.edtpwd);
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
  }
  EXPECT_FALSE(editor_.isVisible());
}

TEST_F(PasswordTest, TheUserCodeShowsTheZEditorModelessAndCloses) {
  Enter("kelp");
  EXPECT_TRUE(messages_.shown().empty());
  EXPECT_TRUE(editor_.isVisible());
  EXPECT_FALSE(editor_.isModal());
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(dialog_.result(), QDialog::Accepted);
  EXPECT_FALSE(Receive_Thread::Running());
  editor_.hide();
}

TEST_F(PasswordTest, TheUserCodeShowsTheEditorOfTheCurrentCommandSet) {
  SetCommandSetIsZ(false);
  Enter("kelp");
  EXPECT_TRUE(messages_.shown().empty());
  EXPECT_TRUE(eEditor_.isVisible());
  EXPECT_FALSE(editor_.isVisible());
  EXPECT_FALSE(dialog_.isVisible());
  eEditor_.hide();
}

TEST_F(PasswordTest, TheFactoryCodeOpensTheFactoryEditorModally) {
  for (bool z : {true, false}) {
    SetCommandSetIsZ(z);
    dialog_.show();
    QString opened;
    QTimer::singleShot(0, [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        opened = QString::fromLatin1(modal->metaObject()->className());
        modal->close();
      }
    });
    Enter("harbourlinen");
    EXPECT_EQ(opened, "tw::TFormEeprom");
    EXPECT_TRUE(messages_.shown().empty());
    EXPECT_FALSE(editor_.isVisible());
    EXPECT_FALSE(eEditor_.isVisible());
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
  }
}

TEST_F(PasswordTest, CancelOpensNothingAndTheReceiveThreadStaysStopped) {
  dialog_.edtpwd->setText("kelp");
  QTest::mouseClick(dialog_.btncancel, Qt::LeftButton);
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(dialog_.result(), QDialog::Rejected);
  EXPECT_FALSE(editor_.isVisible());
  EXPECT_TRUE(messages_.shown().empty());
  EXPECT_FALSE(Receive_Thread::Running());
}

}  // namespace
}  // namespace tw
