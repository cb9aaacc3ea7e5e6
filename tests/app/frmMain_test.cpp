#include "AppTestSupport.h"

#include "app/frmAbout.h"
#include "app/uAction.h"
#include "app/uClipIndicator.h"
#include "capture/SLSmartBufferManager.h"
#include "meter_display/lxVumeter.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

#include <functional>
#include <vector>

namespace {

using Window = std::unique_ptr<TfmMain>;

// The captions of a menu's entries, a separator as "—".
std::vector<QString> Captions(const QMenu* Menu) {
  std::vector<QString> result;
  for (const QAction* a : Menu->actions())
    result.push_back(a->isSeparator() ? QStringLiteral("—") : a->text());
  return result;
}

TEST_F(MainWindowTest, FirstStartShowsTheDefaults) {
  Window form = Open();

  EXPECT_EQ(form->windowTitle(), QStringLiteral("Stereolux"));
  EXPECT_EQ(form->ClientWidth(), 548);
  EXPECT_EQ(form->ClientHeight(), 194);
  EXPECT_FALSE(InFormCreate);

  EXPECT_TRUE(form->ActShowPnlConfig->Checked());
  EXPECT_TRUE(form->pnlConf->isVisibleTo(form.get()));
  EXPECT_FALSE(form->ActShowPnlLevel->Checked());
  EXPECT_FALSE(form->pnlLevel->isVisibleTo(form.get()));
  EXPECT_TRUE(form->ActShowPeak->Checked());
  EXPECT_TRUE(form->Vumeter->PeakShow());
  EXPECT_TRUE(form->ActShowPeakPercent->Checked());
  EXPECT_FALSE(form->ActShowPeakDBFS->Checked());
  EXPECT_EQ(form->lblLevelCoefLeft->text(), QStringLiteral("100 %"));
  EXPECT_EQ(form->lblLevelCoefRight->text(), QStringLiteral("100 %"));
  EXPECT_EQ(form->seHalfLive->value(), 400);

  EXPECT_TRUE(form->ActVuHorz->Checked());
  EXPECT_FALSE(form->ActVuVert->Checked());
  EXPECT_TRUE(form->ActVuBar->Checked());
  EXPECT_FALSE(form->ActVuDot->Checked());
  EXPECT_EQ(form->Vumeter->Orientation(), voHorizontal);
  EXPECT_EQ(form->Vumeter->GraphType(), gtBar);
  EXPECT_EQ(form->Vumeter->pos(), QPoint(8, 8));
  EXPECT_EQ(VuState.Margin, 16);
  // The design places of the level panel's controls; the clip lamps come after them.
  EXPECT_EQ(form->lblPeakLeft->geometry(), QRect(138, 4, 104, 15));
  EXPECT_EQ(form->btnPeakReset->geometry(), QRect(250, 8, 63, 25));
  EXPECT_GE(form->lblClipLeft->x(), form->btnPeakReset->geometry().right());

  EXPECT_EQ(form->lblLeft->text(), QStringLiteral("-12.0 dBFS"));
  EXPECT_EQ(form->lblPeakLeft->text(), QStringLiteral("-96.0 dBFS"));
  EXPECT_EQ(form->lstDevices->count(), 0);
  EXPECT_EQ(form->lstDeviceLines->count(), 0);
  // Nothing is written before the window closes.
  EXPECT_FALSE(IniExists());
}

TEST_F(MainWindowTest, MeterFillsWhatThePanelsLeave) {
  Window form = Open();
  Choose(*form, "Montrer panneau des niveaux");
  EXPECT_EQ(form->Vumeter->size(), QSize(532, 80));

  Choose(*form, "Montrer panneau de configuration");
  EXPECT_FALSE(form->pnlConf->isVisibleTo(form.get()));
  EXPECT_EQ(form->Vumeter->size(), QSize(532, 137));

  Choose(*form, "Montrer panneau des niveaux");
  EXPECT_EQ(form->Vumeter->size(), QSize(532, 178));

  Choose(*form, "Montrer panneau de configuration");
  form->SetClientHeight(200);
  EXPECT_EQ(form->Vumeter->size(), QSize(532, 127));
}

// Every control of a visible panel lies wholly inside it.
void ExpectPanelsWhole(const TfmMain& Form) {
  for (const QFrame* panel : {Form.pnlConf, Form.pnlLevel}) {
    if (!panel->isVisibleTo(&Form)) continue;
    for (const QWidget* control : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      EXPECT_TRUE(panel->rect().contains(control->geometry()))
          << control->metaObject()->className() << " " << control->geometry().x() << ","
          << control->geometry().y() << " in " << panel->width() << "x" << panel->height();
  }
}

TEST_F(MainWindowTest, SmallestWindowKeepsTheMeterAndThePanelsWhole) {
  Window form = Open();
  Choose(*form, "Montrer panneau des niveaux");
  for (const char* orientation : {"Horizontal", "Vertical"}) {
    SCOPED_TRACE(orientation);
    Choose(*form, orientation);
    ExpectPanelsWhole(*form);
    form->SetClientWidth(10);
    form->SetClientHeight(30);
    ExpectPanelsWhole(*form);
    // Sixteen LEDs along the bars, both bars across them.
    const bool vertical = form->Vumeter->Orientation() == voVertical;
    const QSize meter = form->Vumeter->size();
    EXPECT_GE(vertical ? meter.height() : meter.width(), 181);
    EXPECT_GE(vertical ? meter.width() : meter.height(), 20);
    form->SetClientWidth(548);
    form->SetClientHeight(548);
  }
}

// A window last left smaller than both panels stacked comes back with them whole.
TEST_F(MainWindowTest, ARestoredSmallWindowKeepsThePanelsWhole) {
  WriteIni("[GUI]\nGUIShowPnlLevel=1\n[Window]\nClientWidth=300\nClientHeight=150\n");
  Window form = Open();
  QApplication::processEvents();
  ExpectPanelsWhole(*form);
  EXPECT_GE(form->Vumeter->height(), 20);
}

TEST_F(MainWindowTest, OrientationChoiceTurnsTheWindowOnlyWhenItChanges) {
  Window form = Open();
  QAction* vertical = MenuEntry(form->AdvMainMenu1, QStringLiteral("Vertical"));

  Choose(*form, "Vertical");
  EXPECT_EQ(form->ClientWidth(), 194);
  EXPECT_EQ(form->ClientHeight(), 548);
  EXPECT_EQ(form->Vumeter->Orientation(), voVertical);
  EXPECT_TRUE(VuState.Vertical);
  EXPECT_EQ(form->Vumeter->size(), QSize(178, 548 - 16 - form->pnlConf->height()));
  ExpectPanelsWhole(*form);

  // The same choice again changes nothing, and the entry keeps its check mark although the
  // toolkit would have flipped it.
  Choose(*form, "Vertical");
  EXPECT_EQ(form->ClientWidth(), 194);
  EXPECT_EQ(form->ClientHeight(), 548);
  EXPECT_EQ(form->Vumeter->Orientation(), voVertical);
  EXPECT_TRUE(form->ActVuVert->Checked());
  EXPECT_FALSE(form->ActVuHorz->Checked());
  EXPECT_TRUE(vertical->isChecked());

  Choose(*form, "Horizontal");
  EXPECT_EQ(form->ClientWidth(), 548);
  EXPECT_EQ(form->ClientHeight(), 194);
  EXPECT_EQ(form->Vumeter->Orientation(), voHorizontal);
  EXPECT_EQ(form->Vumeter->size(), QSize(532, 121));
  EXPECT_FALSE(vertical->isChecked());
  EXPECT_TRUE(MenuEntry(form->AdvPopupMenu1, QStringLiteral("Horizontal"))->isChecked());
  Choose(*form, "Horizontal");
  EXPECT_EQ(form->ClientWidth(), 548);
}

TEST_F(MainWindowTest, DotThenBarLeavesBarsChecked) {
  Window form = Open();
  Choose(*form, "Mode Point");
  EXPECT_EQ(form->Vumeter->GraphType(), gtSpot);
  EXPECT_TRUE(VuState.DotMode);
  EXPECT_TRUE(form->ActVuDot->Checked());
  EXPECT_FALSE(form->ActVuBar->Checked());

  Choose(*form, "Mode Barre");
  EXPECT_EQ(form->Vumeter->GraphType(), gtBar);
  EXPECT_FALSE(VuState.DotMode);
  EXPECT_TRUE(form->ActVuBar->Checked());
  EXPECT_FALSE(form->ActVuDot->Checked());
}

TEST_F(MainWindowTest, PeakDisplayOffKeepsThePeakMemory) {
  Window form = Open();
  Choose(*form, "Montrer panneau des niveaux");
  form->ALPPMMeter1ValueChange(nullptr, 0, 30000, 0, 32767);
  form->ALPPMMeter1ValueChange(nullptr, 1, 20000, 0, 32767);
  form->ALPPMMeter1ValueChange(nullptr, 0, 10000, 0, 32767);
  ASSERT_EQ(form->Vumeter->LeftPeak(), 91);

  Choose(*form, "Afficher la mémorisation des crêtes");
  EXPECT_FALSE(form->ActShowPeak->Checked());
  EXPECT_FALSE(UserPrefs.ShowPeak);
  EXPECT_FALSE(form->Vumeter->PeakShow());
  EXPECT_FALSE(form->lblPeakLeft->isVisibleTo(form.get()));
  EXPECT_FALSE(form->lblPeakRight->isVisibleTo(form.get()));
  EXPECT_FALSE(form->btnPeakReset->isVisibleTo(form.get()));
  EXPECT_EQ(form->Vumeter->LeftPeak(), form->Vumeter->LeftValue());
  EXPECT_EQ(form->Vumeter->RightPeak(), form->Vumeter->RightValue());
  EXPECT_EQ(VuState.PeakMemLeft, 30000.0);
  EXPECT_EQ(VuState.PeakMemRight, 20000.0);

  Choose(*form, "Afficher la mémorisation des crêtes");
  EXPECT_TRUE(form->btnPeakReset->isVisibleTo(form.get()));
  // "Reset" clears both the LED peaks and the memory.
  form->btnPeakReset->click();
  EXPECT_EQ(VuState.PeakMemLeft, 0.0);
  EXPECT_EQ(VuState.PeakMemRight, 0.0);
  EXPECT_EQ(form->Vumeter->LeftPeak(), form->Vumeter->LeftValue());
}

// Captions as the menus hold them, "&" before each entry's mnemonic: within a menu no two
// entries share one.
TEST_F(MainWindowTest, MenusHoldTheListedEntries) {
  Window form = Open();
  std::vector<QString> bar;
  for (const QAction* a : form->AdvMainMenu1->actions()) bar.push_back(a->text());
  EXPECT_EQ(bar, (std::vector<QString>{"&Fichier", "&Source", "&Affichage", "A&ide"}));

  const QList<QAction*> menus = form->AdvMainMenu1->actions();
  EXPECT_EQ(Captions(menus[0]->menu()), (std::vector<QString>{"&Quitter"}));
  EXPECT_EQ(Captions(menus[1]->menu()),
            (std::vector<QString>{"Montrer panneau de &configuration"}));
  EXPECT_EQ(Captions(menus[2]->menu()),
            (std::vector<QString>{
                "Montrer panneau des &niveaux", "—", "&Horizontal", "&Vertical", "—", "Mode &Barre",
                "Mode &Point", "Afficher l'é&chelle en dB", "—", "Afficher valeurs en &dBFS",
                "Afficher valeurs en p&ourcentage", "—", "&Afficher la mémorisation des crêtes",
                "&Reset mémorisation des crêtes", "—", "&Toujours au premier plan"}));
  EXPECT_EQ(Captions(menus[3]->menu()),
            (std::vector<QString>{"&Index de l'aide", "—", "&Lisez-moi...", "—", "&A propos..."}));
  EXPECT_EQ(
      Captions(form->AdvPopupMenu1),
      (std::vector<QString>{"Montrer panneau de &configuration", "Montrer panneau des &niveaux",
                            "—", "&Horizontal", "&Vertical", "—", "Mode &Barre", "Mode &Point", "—",
                            "Afficher valeurs en &dBFS (valeurs en cours)",
                            "Afficher valeurs en p&ourcentage (crêtes mémorisées)", "—",
                            "&Afficher la mémorisation des crêtes",
                            "&Reset mémorisation des crêtes", "—", "&Quitter"}));

  QAction* helpIndex = MenuEntry(form->AdvMainMenu1, QStringLiteral("Index de l'aide"));
  EXPECT_FALSE(helpIndex->isEnabled());
  EXPECT_TRUE(MenuEntry(form->AdvMainMenu1, QStringLiteral("A propos..."))->isEnabled());
  // The short readout captions of the main menu are their hints too.
  EXPECT_EQ(MenuEntry(form->AdvMainMenu1, QStringLiteral("Afficher valeurs en dBFS"))->toolTip(),
            QStringLiteral("Afficher valeurs en dBFS"));
  // Both menus show the shortcuts.
  EXPECT_EQ(MenuEntry(form->AdvPopupMenu1, QStringLiteral("Quitter"))->shortcut(),
            QKeySequence(QStringLiteral("Ctrl+Q")));
  EXPECT_EQ(
      MenuEntry(form->AdvMainMenu1, QStringLiteral("Reset mémorisation des crêtes"))->shortcut(),
      QKeySequence(QStringLiteral("Ctrl+R")));
}

TEST_F(MainWindowTest, EnglishCatalogueTranslatesTheWindow) {
  QTranslator english;
  ASSERT_TRUE(english.load(QStringLiteral(":/i18n/stereolux_en.qm")));
  QCoreApplication::installTranslator(&english);
  Window form = Open();
  QCoreApplication::removeTranslator(&english);
  std::vector<QString> bar;
  for (const QAction* a : form->AdvMainMenu1->actions()) bar.push_back(a->text());
  EXPECT_EQ(bar, (std::vector<QString>{"&File", "&Source", "&View", "&Help"}));
  EXPECT_EQ(form->lblHalfLive->text(), QStringLiteral("Release"));
  EXPECT_NE(MenuEntry(form->AdvPopupMenu1, QStringLiteral("Show values in percent (peak memory)")),
            nullptr);
}

TEST_F(MainWindowTest, MenusAndCommandsAnswerTheKeyboard) {
  Window form = Open();
  // Shortcuts reach the active window only; a menu that closes leaves none active here.
  QApplication::setActiveWindow(form.get());
  const QList<QAction*> menus = form->AdvMainMenu1->actions();
  auto openMenu = [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); };
  auto closeMenus = [&] {
    while (QMenu* m = openMenu()) m->close();
    QApplication::processEvents();
    QApplication::setActiveWindow(form.get());
  };

  QTest::keyClick(form.get(), Qt::Key_F10);
  EXPECT_EQ(openMenu(), menus[0]->menu());
  closeMenus();
  QTest::keyClick(form.get(), Qt::Key_A, Qt::AltModifier);
  EXPECT_EQ(openMenu(), menus[2]->menu());
  closeMenus();

  // Shift+F10 on a control that keeps right clicks to itself still opens the context menu.
  form->lstDevices->setFocus();
  QTest::keyClick(form->lstDevices, Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(openMenu(), form->AdvPopupMenu1);
  closeMenus();
  // The Menu key's request, as the platform sends it to the focused control.
  QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(2, 2),
                            form->tbLevelLeft->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(form->tbLevelLeft, &request);
  EXPECT_EQ(openMenu(), form->AdvPopupMenu1);
  closeMenus();

  form->ALPPMMeter1ValueChange(nullptr, 0, 30000, 0, 32767);
  ASSERT_EQ(VuState.PeakMemLeft, 30000.0);
  QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(VuState.PeakMemLeft, 0.0);

  QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(IniExists());
}

TEST_F(MainWindowTest, RightClickOpensTheContextMenuExceptOnControls) {
  Window form = Open();
  auto rightClick = [](QWidget* Target) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            Target->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(Target, &event);
  };
  rightClick(form->Vumeter);
  EXPECT_TRUE(form->AdvPopupMenu1->isVisible());
  form->AdvPopupMenu1->close();

  rightClick(form->Label5);
  EXPECT_TRUE(form->AdvPopupMenu1->isVisible());
  form->AdvPopupMenu1->close();

  rightClick(form->tbLevelLeft);
  EXPECT_FALSE(form->AdvPopupMenu1->isVisible());
}

TEST_F(MainWindowTest, HelpEntriesShowTheAboutDialogAndSkipAMissingReadme) {
  Window form = Open();
  QString title;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* about = qobject_cast<TfmAbout*>(QApplication::activeModalWidget())) {
      title = about->windowTitle();
      about->btnOK->click();
    }
  });
  poll.start(10);
  Choose(*form, "A propos...");
  poll.stop();
  EXPECT_EQ(title, QStringLiteral("A propos..."));
  EXPECT_TRUE(form->findChildren<TfmAbout*>().isEmpty());

  ASSERT_FALSE(QFile::exists(QString::fromStdString(ReadmeFileName)));
  Choose(*form, "Lisez-moi...");
  EXPECT_TRUE(form->isVisible());
}

TEST_F(MainWindowTest, IdleBuffersGoBackToTheHeapWhileTheWindowRuns) {
  Window form = Open();
  TSLSmartBufferManager& pool = TSLSmartBufferManager::Instance();
  constexpr uint32_t size = 777;
  pool.Deallocate(pool.Allocate(size), size);
  ASSERT_EQ(pool.CountFreeBlocks(size), 1);
  // Nine quiet ticks of 200 ms: eight of grace, then the block goes with its list.
  QElapsedTimer clock;
  clock.start();
  while (pool.CountFreeBlocks(size) != -1 && clock.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_EQ(pool.CountFreeBlocks(size), -1);
  EXPECT_GE(clock.elapsed(), 1600);
}

// Whichever way the window closes, the preferences are written exactly once.
TEST_F(MainWindowTest, EveryWayOfClosingWritesThePreferencesOnce) {
  const std::vector<std::pair<const char*, std::function<void(TfmMain&)>>> ways = {
      {"close box", [](TfmMain& f) { f.windowHandle()->close(); }},
      {"Quitter in the main menu",
       [](TfmMain& f) { MenuEntry(f.AdvMainMenu1, QStringLiteral("Quitter"))->trigger(); }},
      {"Quitter in the context menu",
       [](TfmMain& f) { MenuEntry(f.AdvPopupMenu1, QStringLiteral("Quitter"))->trigger(); }},
      {"the system", [](TfmMain&) { QApplication::closeAllWindows(); }},
  };
  for (const auto& [way, close] : ways) {
    SCOPED_TRACE(way);
    Window form = Open();
    ASSERT_FALSE(IniExists());
    close(*form);
    QApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(IniExists());

    ASSERT_TRUE(QFile::remove(QString::fromStdString(IniPath)));
    QApplication::closeAllWindows();
    QApplication::processEvents();
    form.reset();
    EXPECT_FALSE(IniExists());
  }
}

}  // namespace
