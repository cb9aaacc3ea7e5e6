#pragma once

#include <QCoreApplication>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/AudioCtl.h"

class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class TAction;
class TClipIndicator;
class TALAudioIn;
class TALCommonMeter;
class TALPPMMeter;
class TLiveInputs;
class TSilenceWatch;
class TlxVuMeter;
class TVuScale;

// True while the window's creation handler runs: values that arrive then are not shown, and
// the line that the start-up selection picks is not taken for the user's choice.
extern bool InFormCreate;
extern std::string AppFolder;  // ends with a path separator
extern std::string IniFileName;
extern std::string ReadmeFileName;

// Derives the three paths from the executable's full path. An installed program (its readme
// in the documentation folder of its prefix rather than beside it) keeps each user's
// preferences in stereolux.ini of the user's configuration folder. A program run from its
// build or from a folder of its own keeps them beside the executable, unless that folder is
// not writable and holds no preferences yet, or the user's file is newer (they went there
// because the file beside the executable could not be written).
void InitPaths(const std::string& ExeFileName);

// The main window: the LED meter between the configuration panel (devices, trims, release
// time) and the level panel (readouts, peak reset), with its action list and two menus.
class TfmMain : public QWidget {
  Q_OBJECT

public:
  explicit TfmMain(
      const std::string& ExeFileName = QCoreApplication::applicationFilePath().toStdString());
  ~TfmMain() override;

  // The area below the menu bar, where the panels and the meter lie.
  int32_t ClientWidth() const;
  int32_t ClientHeight() const;
  void SetClientWidth(int32_t Value);
  void SetClientHeight(int32_t Value);

  // Handlers. A null Sender means: apply the state already stored, not a choice of the user.
  void FormResize(QObject* Sender);
  void FormCloseQuery(QObject* Sender, bool& CanClose);
  void ActAppCloseExecute(QObject* Sender);
  void ActAppReadmeExecute(QObject* Sender);
  void ActAppAboutExecute(QObject* Sender);
  void ActVuHorzExecute(QObject* Sender);
  void ActVuVertExecute(QObject* Sender);
  void ActVuBarExecute(QObject* Sender);
  void ActVuDotExecute(QObject* Sender);
  void ActShowPnlConfigExecute(QObject* Sender);
  void ActShowPnlLevelExecute(QObject* Sender);
  void ActShowPeakExecute(QObject* Sender);
  void ActPeakResetExecute(QObject* Sender);
  void ActShowPeakPercentExecute(QObject* Sender);
  void ActShowPeakDBFSExecute(QObject* Sender);
  void ActStayOnTopExecute(QObject* Sender);
  void ActShowScaleExecute(QObject* Sender);
  void ALPPMMeter1ValueChange(TALCommonMeter* Sender, int32_t AChannel, double AValue, double AMin,
                              double AMax);
  // Lights the channel's clip lamp.
  void ALPPMMeter1Clip(TALCommonMeter* Sender, int32_t AChannel);
  // A click on a peak readout resets that channel's peak.
  void lblPeakLeftClick(QObject* Sender);
  void tbLevelLeftChange(QObject* Sender);
  void seHalfLiveChange(QObject* Sender);
  void lstDevicesChange(QObject* Sender);
  void lstDeviceLinesChange(QObject* Sender);

  // Actions.
  TAction* ActAppClose;
  TAction* ActAppHelpIndex;
  TAction* ActAppReadme;
  TAction* ActAppAbout;
  TAction* ActVuHorz;
  TAction* ActVuVert;
  TAction* ActVuBar;
  TAction* ActVuDot;
  TAction* ActShowPnlConfig;
  TAction* ActShowPnlLevel;
  TAction* ActShowPeak;
  TAction* ActPeakReset;
  TAction* ActShowPeakPercent;
  TAction* ActShowPeakDBFS;
  TAction* ActStayOnTop;
  TAction* ActShowScale;

  // Menus.
  QMenuBar* AdvMainMenu1;
  QMenu* AdvPopupMenu1;

  // Configuration panel.
  QFrame* pnlConf;
  QComboBox* lstDevices;
  QComboBox* lstDeviceLines;
  QLabel* Label5;
  QLabel* Label6;
  QSlider* tbLevelLeft;
  QSlider* tbLevelRight;
  QLabel* lblLevelCoefLeft;
  QLabel* lblLevelCoefRight;
  QLabel* lblHalfLive;
  QSpinBox* seHalfLive;

  // Level panel.
  QFrame* pnlLevel;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* lblLeft;
  QLabel* lblRight;
  QLabel* lblPeakLeft;
  QLabel* lblPeakRight;
  TClipIndicator* lblClipLeft;
  TClipIndicator* lblClipRight;
  QPushButton* btnPeakReset;

  // The meter's panel.
  QFrame* pnlVu;
  TlxVuMeter* Vumeter;
  TVuScale* VuScale;

  // Captures the chosen input; it runs from the moment the window's components are loaded.
  std::unique_ptr<TALAudioIn> ALAudioIn1;
  // Measures the captured audio; its values come in on the main thread.
  std::unique_ptr<TALPPMMeter> ALPPMMeter1;

  // Gives the idle blocks of the buffer pool back to the heap.
  QTimer* tmrSmartBuffers;

  // Keeps the lists and the capture in step with the inputs the system has, and shows the
  // capture's errors. Declared before the control, whose news it takes, so that it goes after.
  std::unique_ptr<TLiveInputs> LiveInputs;
  // Brings the bars and readouts to zero while the input sends nothing.
  std::unique_ptr<TSilenceWatch> SilenceWatch;

  // Lists and selects the input devices and lines; null when it could not be created.
  std::unique_ptr<TCAudioRecord> rec;

protected:
  void resizeEvent(QResizeEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void contextMenuEvent(QContextMenuEvent* Event) override;

private:
  void CreateAudioComponents();
  void CreateActions();
  void CreateMenus();
  void CreateConfigPanel();
  void CreateLevelPanel();
  void CreateVuPanel();

  void FormCreate();
  void InitAudio();
  void InitVu();
  // Keeps the window from becoming smaller than the meter and the visible panels need.
  void UpdateMinimumSize();

  QWidget* FClientArea;
  int32_t FMenuHeight = 0;
};
