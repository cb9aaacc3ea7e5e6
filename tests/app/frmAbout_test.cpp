#include "app/frmAbout.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include "QtTestApp.h"
#include "app/ScrollText.h"

namespace {

class AboutDialog : public ::testing::Test {
protected:
  void SetUp() override { EnsureQApplication(); }
};

TEST_F(AboutDialog, LabelsShowTheProgramsOwnVersionResource) {
  TfmAbout fmAbout(nullptr);
  EXPECT_EQ(fmAbout.lblVersion->text(), STEREOLUX_VERSION);
  EXPECT_EQ(fmAbout.lblComments->text(), "Freeware");
  EXPECT_EQ(fmAbout.lblCopyright->text().toStdString(),
            TExeInfo(ExeVersionResource()).LegalCopyright());
  EXPECT_FALSE(fmAbout.lblCopyright->text().isEmpty());
  // Auto-sized: the whole text fits.
  EXPECT_GE(fmAbout.lblVersion->width(),
            fmAbout.lblVersion->fontMetrics().horizontalAdvance(STEREOLUX_VERSION));
}

TEST_F(AboutDialog, LabelsFromAResourceWithoutComments) {
  const TVersionResource reduced{
      {{0x040C, 0x04E4}}, {{"040C04E4", {{"FileVersion", "3.1.4.1"}, {"LegalCopyright", "Moi"}}}}};
  TfmAbout fmAbout(nullptr, &reduced);
  EXPECT_EQ(fmAbout.lblVersion->text(), "3.1.4.1");
  EXPECT_EQ(fmAbout.lblCopyright->text(), "Moi");
  EXPECT_EQ(fmAbout.lblComments->text(), "");
}

TEST_F(AboutDialog, LabelsWithoutAnyResource) {
  TfmAbout fmAbout(nullptr, nullptr);
  for (const QLabel* label : {fmAbout.lblVersion, fmAbout.lblCopyright, fmAbout.lblComments})
    EXPECT_EQ(label->text(), "Updated at run-time");
}

TEST_F(AboutDialog, FixedSizeCentredOnTheScreen) {
  TfmAbout fmAbout(nullptr);
  fmAbout.show();
  EXPECT_EQ(fmAbout.size(), QSize(305, 193));
  EXPECT_EQ(fmAbout.minimumSize(), fmAbout.maximumSize());
  EXPECT_EQ(fmAbout.windowTitle(), "A propos...");
  const QPoint screenCentre = fmAbout.screen()->availableGeometry().center();
  EXPECT_LE((fmAbout.frameGeometry().center() - screenCentre).manhattanLength(), 2);
}

TEST_F(AboutDialog, TitleIsTheProgramsNameInThreeRuns) {
  TfmAbout fmAbout(nullptr);
  QTextDocument document;
  document.setHtml(fmAbout.RTFLabel1->text());
  EXPECT_EQ(document.toPlainText(), "Stereolux");
  int runs = 0;
  for (QTextBlock::iterator it = document.begin().begin(); !it.atEnd(); ++it) ++runs;
  EXPECT_EQ(runs, 3);
  EXPECT_TRUE(fmAbout.RTFLabel1->font().bold());
  EXPECT_EQ(fmAbout.RTFLabel1->geometry(), QRect(72, 8, 225, 33));
  // Label2 is right-aligned on x = 289.
  EXPECT_EQ(fmAbout.Label2->geometry().right() + 1, 289);
}

TEST_F(AboutDialog, EnterEndsTheModalRunWithOk) {
  struct Case {
    const char* how;
    QWidget* (*target)(TfmAbout&);
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  };
  const Case cases[] = {
      {"Return to the dialog", [](TfmAbout& fm) -> QWidget* { return &fm; }, Qt::Key_Return, {}},
      {"keypad Enter to the button", [](TfmAbout& fm) -> QWidget* { return fm.btnOK; },
       Qt::Key_Enter, Qt::KeypadModifier},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    TfmAbout fmAbout(nullptr);
    ASSERT_TRUE(fmAbout.btnOK->isDefault());
    QTimer::singleShot(0, &fmAbout,
                       [&] { QTest::keyClick(c.target(fmAbout), c.key, c.modifiers); });
    EXPECT_EQ(fmAbout.exec(), QDialog::Accepted);
    EXPECT_FALSE(fmAbout.isVisible());
  }
}

TEST_F(AboutDialog, EscapeDoesNotClose) {
  TfmAbout fmAbout(nullptr);
  QSignalSpy finished(&fmAbout, &QDialog::finished);
  fmAbout.show();
  QTest::keyClick(&fmAbout, Qt::Key_Escape);
  QTest::keyClick(fmAbout.btnOK, Qt::Key_Escape);
  EXPECT_TRUE(fmAbout.isVisible());
  EXPECT_EQ(finished.count(), 0);
  EXPECT_TRUE(fmAbout.JvScrollText1->Active());
}

TEST_F(AboutDialog, ScrollingRunsOnlyWhileOpen) {
  struct Case {
    const char* how;
    void (*close)(TfmAbout&);
  };
  const Case cases[] = {
      {"OK", [](TfmAbout& fm) { fm.btnOK->click(); }},
      {"close box", [](TfmAbout& fm) { fm.close(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    TfmAbout fmAbout(nullptr);
    EXPECT_TRUE(fmAbout.JvScrollText1->Active());
    EXPECT_EQ(fmAbout.JvScrollText1->BlockTop(), -fmAbout.JvScrollText1->BlockHeight());
    fmAbout.show();
    c.close(fmAbout);
    EXPECT_FALSE(fmAbout.isVisible());
    EXPECT_FALSE(fmAbout.JvScrollText1->Active());
  }
}

}  // namespace
