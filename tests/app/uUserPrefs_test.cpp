#include "AppTestSupport.h"

#include "app/uAction.h"
#include "app/uMultimedia.h"
#include "meter_display/lxVumeter.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

namespace {

using Window = std::unique_ptr<TfmMain>;

using UserPrefsTest = MainWindowTest;

TEST_F(UserPrefsTest, FirstCloseWritesTheDefaults) {
  Open()->close();
  EXPECT_EQ(ReadIni(),
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
}

TEST_F(UserPrefsTest, ChoicesSurviveARestart) {
  {
    Window form = Open();
    Choose(*form, "Montrer panneau des niveaux");
    Choose(*form, "Montrer panneau de configuration");
    Choose(*form, "Afficher la mémorisation des crêtes");
    Choose(*form, "Afficher valeurs en dBFS");
    Choose(*form, "Vertical");
    Choose(*form, "Mode Point");
    form->tbLevelLeft->setValue(70);
    form->tbLevelRight->setValue(85);
    form->seHalfLive->setValue(1000);
    form->close();
  }
  UserPrefs = TUserPrefs{};
  VuState = TVuState{};
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
  EXPECT_EQ(form->Vumeter->size(), QSize(532, 137));
  // Neither the orientation, the display mode nor the release time is remembered.
  EXPECT_EQ(form->Vumeter->Orientation(), voHorizontal);
  EXPECT_EQ(form->Vumeter->GraphType(), gtBar);
  EXPECT_EQ(form->seHalfLive->value(), 400);
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
  EXPECT_EQ(ReadIni(),
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

TEST_F(UserPrefsTest, FailedWriteIsReportedAndTheWindowStillCloses) {
  // The preferences file exists but cannot be replaced.
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("stereolux.ini")));
  Window form = Open();
  TModalBoxCatcher box;
  form->close();
  EXPECT_EQ(box.Text, "Impossible d'écrire dans " + IniPath + " : " +
                          std::make_error_code(std::errc::is_a_directory).message());
  EXPECT_FALSE(form->isVisible());
}

}  // namespace
