#include "AppTestSupport.h"

#include "app/uAction.h"
#include "app/uMultimedia.h"
#include "app/uVuScale.h"
#include "meter_display/lxVumeter.h"
#include "metering/ALPPMMeter.h"
#include "platform/IniFile.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>

namespace {

using Window = std::unique_ptr<TfmMain>;

using UserPrefsTest = MainWindowTest;

// The window's whole bounds, frame included, lie on one of the screens.
testing::AssertionResult WhollyOnAScreen(const TfmMain& Form) {
  const QRect frame = Form.frameGeometry();
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().contains(frame)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                     << frame.height() << " on no screen";
}

TEST_F(UserPrefsTest, FirstCloseWritesTheDefaults) {
  Open()->close();
  const std::string saved = ReadIni();
  // The eight preferences come first, exactly as they always have.
  EXPECT_EQ(saved.substr(0, saved.find("[Window]")),
            "[AudioDevice]\n"
            "Device=\n"
            "DeviceLine=\n"
            "ShowPeak=1\n"
            "ShowPeakDBFS=0\n"
            "[GUI]\n"
            "GUIShowPnlLevel=0\n"
            "GUIShowPnlConfig=1\n"
            "[AudioSource]\n"
            "InLevelCoefLeft=100\n"
            "InLevelCoefRight=100\n");
  const TIniFile ini = TIniFile::Parse(saved);
  EXPECT_EQ(ini.ReadInteger("Window", "ClientWidth", 0), 548);
  EXPECT_EQ(ini.ReadInteger("Window", "ClientHeight", 0), 194);
  EXPECT_EQ(ini.ReadInteger("Window", "HalfLife", 0), 400);
  EXPECT_EQ(ini.ReadString("Window", "Vertical", ""), "0");
  EXPECT_EQ(ini.ReadString("Window", "DotMode", ""), "0");
  EXPECT_EQ(ini.ReadString("Window", "StayOnTop", ""), "0");
}

TEST_F(UserPrefsTest, FirstStartUsesTheDesignPositionWhereTheWindowFits) {
  Window form = Open();
  EXPECT_TRUE(WhollyOnAScreen(*form));
  const QRect design(QPoint(424, 211), form->frameGeometry().size());
  if (form->screen()->availableGeometry().contains(design)) {
    EXPECT_EQ(form->pos(), QPoint(424, 211));
  }
}

TEST_F(UserPrefsTest, ChoicesSurviveARestart) {
  QPoint position;
  {
    Window form = Open();
    Choose(*form, "Montrer panneau des niveaux");
    Choose(*form, "Montrer panneau de configuration");
    Choose(*form, "Afficher la mémorisation des crêtes");
    Choose(*form, "Afficher valeurs en dBFS");
    Choose(*form, "Vertical");
    Choose(*form, "Mode Point");
    Choose(*form, "Toujours au premier plan");
    Choose(*form, "Afficher l'échelle en dB");
    form->tbLevelLeft->setValue(70);
    form->tbLevelRight->setValue(85);
    form->seHalfLive->setValue(1000);
    form->SetClientWidth(250);
    form->SetClientHeight(400);
    form->move(30, 40);
    position = form->pos();
    form->close();
  }
  UserPrefs = TUserPrefs{};
  VuState = TVuState{};
  WindowState = TWindowState{};
  Window form = Open();
  EXPECT_FALSE(form->pnlConf->isVisibleTo(form.get()));
  EXPECT_TRUE(form->pnlLevel->isVisibleTo(form.get()));
  EXPECT_FALSE(form->ActShowPeak->Checked());
  EXPECT_FALSE(form->Vumeter->PeakShow());
  EXPECT_FALSE(form->btnPeakReset->isVisibleTo(form.get()));
  EXPECT_TRUE(form->ActShowPeakDBFS->Checked());
  EXPECT_FALSE(form->ActShowPeakPercent->Checked());
  EXPECT_EQ(form->tbLevelLeft->value(), 70);
  EXPECT_EQ(form->lblLevelCoefLeft->text(), QStringLiteral("70 %"));
  EXPECT_EQ(form->tbLevelRight->value(), 85);
  EXPECT_EQ(form->lblLevelCoefRight->text(), QStringLiteral("85 %"));
  // The window as it was left: place, size, orientation, dots, release time, on top.
  EXPECT_EQ(form->pos(), position);
  EXPECT_EQ(form->ClientWidth(), 250);
  EXPECT_EQ(form->ClientHeight(), 400);
  EXPECT_EQ(form->Vumeter->size(), QSize(250 - 16 - 28, 400 - 16 - form->pnlLevel->height()));
  EXPECT_TRUE(form->ActShowScale->Checked());
  EXPECT_TRUE(form->VuScale->isVisibleTo(form.get()));
  EXPECT_EQ(form->Vumeter->Orientation(), voVertical);
  EXPECT_TRUE(VuState.Vertical);
  EXPECT_TRUE(form->ActVuVert->Checked());
  EXPECT_FALSE(form->ActVuHorz->Checked());
  EXPECT_EQ(form->Vumeter->GraphType(), gtSpot);
  EXPECT_TRUE(form->ActVuDot->Checked());
  EXPECT_EQ(form->seHalfLive->value(), 1000);
  EXPECT_EQ(form->ALPPMMeter1->HalfLife(), 1000);
  EXPECT_TRUE(form->ActStayOnTop->Checked());
  EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(WindowPlacementTest, WindowIsPulledWhollyOntoOneScreen) {
  const QRect wide(0, 0, 1920, 1080);
  const QRect right(1920, 0, 1280, 1024);
  // 1280 x 1024 at a scale of 2 and of 1.5.
  const QRect scaled2(0, 0, 640, 512);
  const QRect scaled15(0, 0, 853, 682);
  struct Case {
    const char* what;
    QList<QRect> screens;
    QRect frame;
    QRect placed;
  };
  const Case cases[] = {
      {"fits: unchanged", {wide}, {424, 211, 550, 240}, {424, 211, 550, 240}},
      {"on the second screen", {wide, right}, {2000, 100, 550, 240}, {2000, 100, 550, 240}},
      {"across two screens: onto the one it overlaps most",
       {wide, right},
       {1800, 100, 550, 240},
       {1920, 100, 550, 240}},
      {"screen removed: onto the nearest", {wide}, {2500, 300, 550, 240}, {1370, 300, 550, 240}},
      {"above and left of everything", {wide, right}, {-900, -700, 550, 240}, {0, 0, 550, 240}},
      {"design position at a scale of 2", {scaled2}, {424, 211, 550, 240}, {90, 211, 550, 240}},
      {"design position at a scale of 1.5", {scaled15}, {424, 211, 550, 240}, {303, 211, 550, 240}},
      {"vertical window taller than the screen",
       {scaled2},
       {424, 211, 196, 600},
       {424, 0, 196, 512}},
      {"no screen known: unchanged", {}, {-50, -50, 100, 100}, {-50, -50, 100, 100}},
  };
  for (const Case& c : cases) EXPECT_EQ(KeepOnScreen(c.frame, c.screens), c.placed) << c.what;
}

TEST_F(UserPrefsTest, WindowKeptOffEveryScreenComesBackOnOne) {
  WriteIni(
      "[Window]\n"
      "Left=-5000\n"
      "Top=9000\n"
      "ClientWidth=4000\n"
      "ClientHeight=3000\n"
      "HalfLife=5\n");
  Window form = Open();
  EXPECT_TRUE(WhollyOnAScreen(*form));
  EXPECT_EQ(form->seHalfLive->value(), 10);
  // Turning a window as large as its screen keeps it there too.
  Choose(*form, "Vertical");
  EXPECT_TRUE(WhollyOnAScreen(*form));
  Choose(*form, "Horizontal");
  EXPECT_TRUE(WhollyOnAScreen(*form));
}

TEST_F(UserPrefsTest, ValuesAreReadByTheProfileRules) {
  WriteIni(
      "[audiodevice]\n"
      "showpeak=2\n"
      "ShowPeakDBFS = 1 \n"
      "[GUI]\n"
      "GUIShowPnlConfig=yes\n"
      "GUIShowPnlLevel=$1\n"
      "[AudioSource]\n"
      "InLevelCoefLeft=0x50\n"
      "InLevelCoefRight=150\n");
  Window form = Open();
  EXPECT_TRUE(form->ActShowPeak->Checked());
  EXPECT_TRUE(form->ActShowPeakDBFS->Checked());
  EXPECT_TRUE(form->pnlConf->isVisibleTo(form.get()));  // "yes" is no number: the default
  EXPECT_TRUE(form->pnlLevel->isVisibleTo(form.get()));
  EXPECT_EQ(form->tbLevelLeft->value(), 80);
  EXPECT_EQ(form->lblLevelCoefLeft->text(), QStringLiteral("80 %"));
  EXPECT_EQ(form->tbLevelRight->value(), 120);
  EXPECT_EQ(form->lblLevelCoefRight->text(), QStringLiteral("120 %"));
  // A file of an older build has no window section: the window starts as it always has.
  EXPECT_EQ(form->ClientWidth(), 548);
  EXPECT_EQ(form->ClientHeight(), 194);
  EXPECT_EQ(form->Vumeter->Orientation(), voHorizontal);
  EXPECT_EQ(form->Vumeter->GraphType(), gtBar);
  EXPECT_EQ(form->seHalfLive->value(), 400);
  EXPECT_FALSE(form->ActStayOnTop->Checked());
  form->close();
  const std::string saved = ReadIni();
  EXPECT_NE(saved.find("InLevelCoefRight=120\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("GUIShowPnlConfig=1\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("showpeak=1\n"), std::string::npos) << saved;
}

TEST_F(UserPrefsTest, OtherLinesAndUnknownDevicesSurvive) {
  WriteIni(
      "; my notes\n"
      "[AudioDevice]\n"
      "Device=USB Microphone\n"
      "DeviceLine=Line In\n"
      "Colour=blue\n"
      "\n"
      "[Mine]\n"
      "Key=Value\n");
  Window form = Open();
  EXPECT_EQ(form->lstDevices->currentIndex(), -1);
  form->close();
  const std::string saved = ReadIni();
  // The window's own section goes last.
  EXPECT_EQ(saved.substr(0, saved.find("[Window]\nLeft=")),
            "; my notes\n"
            "[AudioDevice]\n"
            "Device=USB Microphone\n"
            "DeviceLine=Line In\n"
            "Colour=blue\n"
            "ShowPeak=1\n"
            "ShowPeakDBFS=0\n"
            "\n"
            "[Mine]\n"
            "Key=Value\n"
            "[GUI]\n"
            "GUIShowPnlLevel=0\n"
            "GUIShowPnlConfig=1\n"
            "[AudioSource]\n"
            "InLevelCoefLeft=100\n"
            "InLevelCoefRight=100\n");
}

TEST_F(UserPrefsTest, DeviceNamesAreFoundWithoutRegardToCase) {
  Window form = Open();
  form->lstDevices->addItems({"Built-in Audio", "USB Microphone", "usb microphone"});
  EXPECT_EQ(IndexOfDevice(*form, "usb MICROPHONE"), 1);
  EXPECT_EQ(IndexOfDevice(*form, "USB"), -1);
  EXPECT_EQ(IndexOfDevice(*form, ""), -1);
  EXPECT_EQ(IndexOfDeviceLine(*form, "Line In"), -1);
}

TEST_F(UserPrefsTest, UnwritableFolderWithoutPreferencesUsesTheConfigurationFolder) {
  // A folder that is a plain file cannot be written, even by the superuser.
  QFile blocker(folder.filePath(QStringLiteral("blocker")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  ExeFileName = folder.filePath(QStringLiteral("blocker/stereolux")).toStdString();
  const QString config =
      QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/stereolux.ini";
  QFile::remove(config);

  Window form = Open();
  EXPECT_EQ(IniFileName, config.toStdString());
  EXPECT_EQ(AppFolder, folder.filePath(QStringLiteral("blocker/")).toStdString());
  // No readme beside the executable: the installed documentation folder of that prefix.
  EXPECT_EQ(ReadmeFileName,
            folder.filePath(QStringLiteral("share/doc/stereolux/a_lire.txt")).toStdString());
  form->close();
  EXPECT_TRUE(QFile::exists(config));
  QFile::remove(config);

  InitPaths(folder.filePath(QStringLiteral("stereolux")).toStdString());
  EXPECT_EQ(IniFileName, IniPath);
}

TEST_F(UserPrefsTest, InstalledProgramKeepsThemInTheConfigurationFolder) {
  // An installed layout: the readme in the prefix's documentation folder, a writable bin/
  // that even holds preferences of its own.
  const QDir root(folder.path());
  ASSERT_TRUE(root.mkpath(QStringLiteral("usr/bin")));
  ASSERT_TRUE(root.mkpath(QStringLiteral("usr/share/doc/stereolux")));
  QFile readme(root.filePath(QStringLiteral("usr/share/doc/stereolux/a_lire.txt")));
  ASSERT_TRUE(readme.open(QIODevice::WriteOnly));
  readme.close();
  ExeFileName = root.filePath(QStringLiteral("usr/bin/stereolux")).toStdString();
  IniPath = ExeFileName + ".ini";
  WriteIni("[AudioSource]\nInLevelCoefLeft=50\n");
  const QString config =
      QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/stereolux.ini";
  QFile::remove(config);

  Window form = Open();
  EXPECT_EQ(IniFileName, config.toStdString());
  EXPECT_EQ(ReadmeFileName, readme.fileName().toStdString());
  EXPECT_EQ(form->tbLevelLeft->value(), 100) << "the file beside the program is not read";
  form->close();
  EXPECT_TRUE(QFile::exists(config));
  EXPECT_EQ(ReadIni(), "[AudioSource]\nInLevelCoefLeft=50\n") << "nor written";
  QFile::remove(config);
}

TEST_F(UserPrefsTest, AFileThatCannotBeWrittenSendsThePreferencesToTheConfigurationFolder) {
  const QString config =
      QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/stereolux.ini";
  QFile::remove(config);
  // The preferences file exists but can be neither read nor replaced.
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("stereolux.ini")));
  Window form = Open();
  Choose(*form, "Montrer panneau des niveaux");
  TModalBoxCatcher box;
  form->close();
  EXPECT_EQ(box.Text, "Impossible d'écrire dans " + IniPath + " : " +
                          std::make_error_code(std::errc::is_a_directory).message() +
                          "\nLes préférences ont été enregistrées dans " + config.toStdString());
  EXPECT_FALSE(form->isVisible());

  // The next start reads the newer file there, and writes there.
  Window again = Open();
  EXPECT_EQ(IniFileName, config.toStdString());
  EXPECT_TRUE(again->ActShowPnlLevel->Checked());
  QFile::remove(config);
}

}  // namespace
