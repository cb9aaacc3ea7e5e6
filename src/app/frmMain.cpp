#include "app/frmMain.h"

#include "app/frmAbout.h"
#include "app/uAction.h"
#include "app/uApplication.h"
#include "app/uClipIndicator.h"
#include "app/uLiveInputs.h"
#include "app/uMaths.h"
#include "app/uMenuKeys.h"
#include "app/uMultimedia.h"
#include "app/uOfficeMenuStyle.h"
#include "app/uPanelLayout.h"
#include "app/uReadout.h"
#include "app/uShellOpen.h"
#include "app/uSilenceWatch.h"
#include "app/uUserPrefs.h"
#include "app/uVu.h"
#include "app/uVuScale.h"
#include "app/uWindowState.h"
#include "capture/ALAudioIn.h"
#include "capture/SLSmartBufferManager.h"
#include "dataflow/LPComponent.h"
#include "meter_display/lxVumeter.h"
#include "metering/ALPPMMeter.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <unistd.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>

bool InFormCreate = false;
std::string AppFolder;
std::string IniFileName;
std::string ReadmeFileName;

void InitPaths(const std::string& ExeFileName) {
  namespace fs = std::filesystem;
  AppFolder = fs::path(ExeFileName).parent_path().string() + "/";
  IniFileName = ExeFileName + ".ini";
  ReadmeFileName = ReadmeFileNameIn(AppFolder);

  std::error_code ec;
  const bool installed =
      !fs::exists(AppFolder + ReadmeName, ec) && fs::is_regular_file(ReadmeFileName, ec);
  if (installed || (!fs::exists(IniFileName, ec) && ::access(AppFolder.c_str(), W_OK) != 0)) {
    const std::string config = UserConfigIniFileName();
    if (!config.empty()) IniFileName = config;
  }
  IniFileName = NewerUserConfigIni(IniFileName);
}

namespace {

constexpr int32_t ConfHeight = 57;
constexpr int32_t LevelHeight = 41;

// Colours go through the palette, not a style sheet: the readouts are rewritten ten times a
// second, and a label with a style sheet of its own is painted by the much slower style-sheet
// machinery. A label with a background fills it itself, so the panel beneath is not painted too.
template <typename TLabel = QLabel>
TLabel* NewLabel(QWidget* Parent, const QString& Text, const QRect& Bounds, const QFont& Font,
                 const QColor& Colour, const std::optional<QColor>& Background,
                 Qt::Alignment Align) {
  auto* label = new TLabel(Text, Parent);
  label->setGeometry(Bounds);
  label->setFont(Font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Colour);
  if (Background) palette.setColor(QPalette::Window, *Background);
  label->setPalette(palette);
  label->setAutoFillBackground(Background.has_value());
  label->setAlignment(Align);
  return label;
}

QSlider* NewTrim(QWidget* Parent, const QRect& Bounds) {
  auto* slider = new QSlider(Qt::Horizontal, Parent);
  slider->setGeometry(Bounds);
  slider->setRange(0, 120);
  slider->setValue(100);
  slider->setSingleStep(5);
  slider->setPageStep(5);
  slider->setContextMenuPolicy(Qt::PreventContextMenu);
  // Aqua frame, maroon edge, a groove from dark red at 0 to lime at 120.
  slider->setStyleSheet(QStringLiteral(
      "QSlider { background: black; border: 1px solid #00FFFF; }"
      "QSlider::groove:horizontal { height: 5px; border: 1px solid #800000;"
      "  background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #400000, stop:1 #00FF00); }"
      "QSlider::handle:horizontal { width: 7px; margin: -4px 0; background: #C0C0C0;"
      "  border: 1px solid #800000; }"));
  return slider;
}

// "%.1f" with the decimal separator of the user's locale.
QString FormatDBFS(double Value) {
  // to_chars rounds exactly as printf's "%.1f" does and always writes a point, without the
  // format parsing that would otherwise cost more than the rest of the readout's update.
  char digits[400];  // the widest double written with one decimal fits
  const char* end =
      std::to_chars(digits, digits + sizeof digits, Value, std::chars_format::fixed, 1).ptr;
  // Asking the system for its decimal separator costs more than the rest of the readout, so
  // it is asked again only when the program's locale changes.
  static QLocale locale;
  static QString point = locale.decimalPoint();
  if (const QLocale current; current != locale) {
    locale = current;
    point = locale.decimalPoint();
  }
  const char* dot = std::find(static_cast<const char*>(digits), end, '.');
  QString result;
  result.reserve(static_cast<qsizetype>(end - digits) + point.size() + 5);
  result.append(QLatin1String(digits, dot - digits));
  if (dot != end) result.append(point).append(QLatin1String(dot + 1, end - dot - 1));
  return result.append(QLatin1String(" dBFS"));
}

QString Percent(int32_t Value) { return QString::number(Value) + QStringLiteral(" %"); }

}  // namespace

TfmMain::TfmMain(const std::string& ExeFileName) {
  setWindowTitle(QStringLiteral("Stereolux"));
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);

  CreateActions();
  CreateMenus();

  FClientArea = new QWidget(this);
  CreateConfigPanel();
  CreateVuPanel();
  CreateLevelPanel();
  auto* align = new QVBoxLayout(FClientArea);
  align->setContentsMargins(0, 0, 0, 0);
  align->setSpacing(0);
  align->addWidget(pnlConf);
  align->addWidget(pnlVu, 1);
  align->addWidget(pnlLevel);

  LiveInputs = std::make_unique<TLiveInputs>(*this);
  CreateAudioComponents();
  SilenceWatch = std::make_unique<TSilenceWatch>(*this);

  tmrSmartBuffers = new QTimer(this);
  tmrSmartBuffers->setInterval(static_cast<int>(TSLSmartBufferManager::TickInterval));
  connect(tmrSmartBuffers, &QTimer::timeout, this,
          [] { TSLSmartBufferManager::Instance().Tick(); });
  tmrSmartBuffers->start();

  FMenuHeight = AdvMainMenu1->sizeHint().height();
  move(424, 211);
  resize(548, 194 + FMenuHeight);

  InitPaths(ExeFileName);
  FormCreate();
  LiveInputs->Start();
  SilenceWatch->Start();
}

TfmMain::~TfmMain() {
  // The control's news comes from a thread of its own, which ends with it.
  rec.reset();
  SilenceWatch.reset();
  // The meter leaves first: it disconnects from the capture, which then stops its device.
  ALPPMMeter1.reset();
  ALAudioIn1.reset();
  LiveInputs.reset();
}

void TfmMain::CreateAudioComponents() {
  // The capture starts once its settings are in place, before the creation handler runs.
  TLPComponentLoading loading;
  ALAudioIn1 = TLPComponent::Create<TALAudioIn>();
  ALAudioIn1->SetPumpPriority(0);
  ALAudioIn1->Device().SetDeviceName("Default");
  ALAudioIn1->AudioFormat().SetSampleRate(44100);
  ALAudioIn1->AudioFormat().SetBufferSize(256);
  // A device that cannot be opened or that goes away must not end the program: the user can
  // still pick another input, and the window waits for it to come back.
  ALAudioIn1->SetOnError(
      [this](TALAudioIn*, const std::string& ErrorText, int32_t ErrorCode, bool& Handled) {
        if (LiveInputs) LiveInputs->CaptureError(ErrorText, static_cast<uint32_t>(ErrorCode));
        Handled = true;
      });

  ALPPMMeter1 = TLPComponent::Create<TALPPMMeter>();
  ALPPMMeter1->SetCountChannels(2);
  ALPPMMeter1->SetHalfLife(400);
  ALPPMMeter1->SetOnValueChange(
      [this](TALCommonMeter* Sender, int32_t AChannel, double AValue, double AMin, double AMax) {
        ALPPMMeter1ValueChange(Sender, AChannel, AValue, AMin, AMax);
      });
  ALPPMMeter1->SetOnClip(
      [this](TALCommonMeter* Sender, int32_t AChannel) { ALPPMMeter1Clip(Sender, AChannel); });
  loading.Loaded();
}

void TfmMain::CreateActions() {
  auto handler = [this](void (TfmMain::*Method)(QObject*)) {
    return [this, Method](QObject* Sender) { (this->*Method)(Sender); };
  };
  ActAppClose = new TAction(this, tr("&Quitter"), false, handler(&TfmMain::ActAppCloseExecute));
  ActAppHelpIndex = new TAction(this, tr("&Index de l'aide"), false, {});
  ActAppReadme =
      new TAction(this, tr("&Lisez-moi..."), false, handler(&TfmMain::ActAppReadmeExecute));
  ActAppAbout = new TAction(this, tr("&A propos..."), false, handler(&TfmMain::ActAppAboutExecute));
  ActVuHorz = new TAction(this, tr("&Horizontal"), false, handler(&TfmMain::ActVuHorzExecute));
  ActVuVert = new TAction(this, tr("&Vertical"), false, handler(&TfmMain::ActVuVertExecute));
  ActVuBar = new TAction(this, tr("Mode &Barre"), false, handler(&TfmMain::ActVuBarExecute));
  ActVuDot = new TAction(this, tr("Mode &Point"), false, handler(&TfmMain::ActVuDotExecute));
  ActShowPnlConfig = new TAction(this, tr("Montrer panneau de &configuration"), false,
                                 handler(&TfmMain::ActShowPnlConfigExecute));
  ActShowPnlLevel = new TAction(this, tr("Montrer panneau des &niveaux"), false,
                                handler(&TfmMain::ActShowPnlLevelExecute));
  ActShowPeak = new TAction(this, tr("&Afficher la mémorisation des crêtes"), false,
                            handler(&TfmMain::ActShowPeakExecute));
  ActPeakReset = new TAction(this, tr("&Reset mémorisation des crêtes"), false,
                             handler(&TfmMain::ActPeakResetExecute));
  ActShowPeakPercent = new TAction(this, tr("Afficher valeurs en p&ourcentage (crêtes mémorisées)"),
                                   false, handler(&TfmMain::ActShowPeakPercentExecute));
  ActShowPeakDBFS = new TAction(this, tr("Afficher valeurs en &dBFS (valeurs en cours)"), true,
                                handler(&TfmMain::ActShowPeakDBFSExecute));
  ActStayOnTop = new TAction(this, tr("&Toujours au premier plan"), false,
                             handler(&TfmMain::ActStayOnTopExecute));
  ActShowScale = new TAction(this, tr("Afficher l'é&chelle en dB"), false,
                             handler(&TfmMain::ActShowScaleExecute));
  ActAppClose->SetShortCut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  ActPeakReset->SetShortCut(QKeySequence(Qt::CTRL | Qt::Key_R));
}

void TfmMain::CreateMenus() {
  AdvMainMenu1 = new QMenuBar(this);
  AdvMainMenu1->setNativeMenuBar(false);
  AdvMainMenu1->setContextMenuPolicy(Qt::PreventContextMenu);
  ApplyOfficeMenuStyle(AdvMainMenu1);

  QMenu* file = AdvMainMenu1->addMenu(tr("&Fichier"));
  ActAppClose->AddTo(file);

  QMenu* source = AdvMainMenu1->addMenu(tr("&Source"));
  ActShowPnlConfig->AddTo(source);

  QMenu* view = AdvMainMenu1->addMenu(tr("&Affichage"));
  ActShowPnlLevel->AddTo(view);
  view->addSeparator();
  ActVuHorz->AddTo(view);
  ActVuVert->AddTo(view);
  view->addSeparator();
  ActVuBar->AddTo(view);
  ActVuDot->AddTo(view);
  ActShowScale->AddTo(view);
  view->addSeparator();
  ActShowPeakDBFS->AddTo(view, tr("Afficher valeurs en &dBFS"));
  ActShowPeakPercent->AddTo(view, tr("Afficher valeurs en p&ourcentage"));
  view->addSeparator();
  ActShowPeak->AddTo(view);
  ActPeakReset->AddTo(view);
  view->addSeparator();
  ActStayOnTop->AddTo(view);

  QMenu* help = AdvMainMenu1->addMenu(tr("A&ide"));
  ActAppHelpIndex->AddTo(help);
  help->addSeparator();
  ActAppReadme->AddTo(help);
  help->addSeparator();
  ActAppAbout->AddTo(help);

  AdvPopupMenu1 = new QMenu(this);
  ApplyOfficeMenuStyle(AdvPopupMenu1);
  ActShowPnlConfig->AddTo(AdvPopupMenu1);
  ActShowPnlLevel->AddTo(AdvPopupMenu1);
  AdvPopupMenu1->addSeparator();
  ActVuHorz->AddTo(AdvPopupMenu1);
  ActVuVert->AddTo(AdvPopupMenu1);
  AdvPopupMenu1->addSeparator();
  ActVuBar->AddTo(AdvPopupMenu1);
  ActVuDot->AddTo(AdvPopupMenu1);
  AdvPopupMenu1->addSeparator();
  ActShowPeakDBFS->AddTo(AdvPopupMenu1);
  ActShowPeakPercent->AddTo(AdvPopupMenu1);
  AdvPopupMenu1->addSeparator();
  ActShowPeak->AddTo(AdvPopupMenu1);
  ActPeakReset->AddTo(AdvPopupMenu1);
  AdvPopupMenu1->addSeparator();
  ActAppClose->AddTo(AdvPopupMenu1);
  InstallMenuKeys(*this);
}

void TfmMain::CreateConfigPanel() {
  pnlConf = new QFrame(FClientArea);
  pnlConf->setGeometry(0, 0, 548, ConfHeight);
  pnlConf->setFixedHeight(ConfHeight);
  pnlConf->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // The window is black; this panel and what lies on it keep the standard face colour.
  QPalette face = pnlConf->palette();
  face.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  pnlConf->setPalette(face);
  pnlConf->setAutoFillBackground(true);

  auto newList = [this](const QRect& Bounds) {
    auto* list = new QComboBox(pnlConf);
    list->setGeometry(Bounds);
    list->setEditable(false);
    list->setContextMenuPolicy(Qt::PreventContextMenu);
    return list;
  };
  lstDevices = newList(QRect(8, 8, 209, 21));
  lstDeviceLines = newList(QRect(8, 30, 209, 21));
  connect(lstDevices, &QComboBox::activated, this, [this] { lstDevicesChange(lstDevices); });
  connect(lstDeviceLines, &QComboBox::activated, this,
          [this] { lstDeviceLinesChange(lstDeviceLines); });

  const QFont courierNew(QStringLiteral("Courier New"), 8);
  const QColor silver(0xC0, 0xC0, 0xC0), black(Qt::black);
  const Qt::Alignment leftMiddle = Qt::AlignLeft | Qt::AlignVCenter;
  Label5 = NewLabel(pnlConf, QStringLiteral("G :"), QRect(230, 9, 21, 14), courierNew, silver,
                    black, leftMiddle);
  Label6 = NewLabel(pnlConf, QStringLiteral("D :"), QRect(230, 31, 21, 14), courierNew, silver,
                    black, leftMiddle);

  tbLevelLeft = NewTrim(pnlConf, QRect(256, 9, 150, 15));
  tbLevelRight = NewTrim(pnlConf, QRect(256, 31, 150, 15));
  connect(tbLevelLeft, &QSlider::valueChanged, this, [this] { tbLevelLeftChange(tbLevelLeft); });
  connect(tbLevelRight, &QSlider::valueChanged, this, [this] { tbLevelLeftChange(tbLevelRight); });

  const QFont timesNewRoman(QStringLiteral("Times New Roman"), 8);
  const QColor paleYellow(0xFF, 0xFF, 0x80), darkRed(0x40, 0, 0);
  lblLevelCoefLeft = NewLabel(pnlConf, QStringLiteral("100 %"), QRect(408, 9, 40, 15),
                              timesNewRoman, paleYellow, darkRed, Qt::AlignCenter);
  lblLevelCoefRight = NewLabel(pnlConf, QStringLiteral("100 %"), QRect(408, 31, 40, 15),
                               timesNewRoman, paleYellow, darkRed, Qt::AlignCenter);

  lblHalfLive = NewLabel(pnlConf, tr("Relachement"), QRect(462, 8, 73, 14),
                         QFont(QStringLiteral("Tahoma"), 8), QColor(0xC0, 0xC0, 0xC0), std::nullopt,
                         leftMiddle);
  seHalfLive = new QSpinBox(pnlConf);
  seHalfLive->setGeometry(462, 24, 73, 22);
  seHalfLive->setRange(10, 20000);
  seHalfLive->setSingleStep(1);
  seHalfLive->setValue(400);
  seHalfLive->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  lblHalfLive->setBuddy(seHalfLive);
  connect(seHalfLive, &QSpinBox::textChanged, this, [this] { seHalfLiveChange(seHalfLive); });
}

void TfmMain::CreateLevelPanel() {
  pnlLevel = new QFrame(FClientArea);
  pnlLevel->setGeometry(0, 0, 548, LevelHeight);
  pnlLevel->setFixedHeight(LevelHeight);
  pnlLevel->setAutoFillBackground(true);

  const QFont courierNew(QStringLiteral("Courier New"), 8);
  const QColor silver(0xC0, 0xC0, 0xC0), black(Qt::black);
  Label3 = NewLabel(pnlLevel, QStringLiteral("G :"), QRect(8, 4, 21, 14), courierNew, silver, black,
                    Qt::AlignLeft | Qt::AlignTop);
  Label4 = NewLabel(pnlLevel, QStringLiteral("D :"), QRect(8, 20, 21, 14), courierNew, silver,
                    black, Qt::AlignLeft | Qt::AlignTop);

  const QFont courier(QStringLiteral("Courier"), 8);
  const QColor aqua(0, 0xFF, 0xFF), orange(0xFF, 0x80, 0), darkRed(0x40, 0, 0);
  lblLeft = NewLabel<TReadout>(pnlLevel, QStringLiteral("-12.0 dBFS"), QRect(32, 4, 104, 15),
                               courier, aqua, darkRed, Qt::AlignCenter);
  lblRight = NewLabel<TReadout>(pnlLevel, QStringLiteral("-12.0 dBFS"), QRect(32, 20, 104, 15),
                                courier, aqua, darkRed, Qt::AlignCenter);
  lblPeakLeft = NewLabel<TReadout>(pnlLevel, QStringLiteral("-96.0 dBFS"), QRect(138, 4, 104, 15),
                                   courier, orange, darkRed, Qt::AlignCenter);
  lblPeakRight = NewLabel<TReadout>(pnlLevel, QStringLiteral("-96.0 dBFS"), QRect(138, 20, 104, 15),
                                    courier, orange, darkRed, Qt::AlignCenter);

  for (QLabel* peak : {lblPeakLeft, lblPeakRight}) {
    peak->setCursor(Qt::PointingHandCursor);
    peak->setToolTip(tr("Cliquer pour remettre la crête de ce canal à zéro"));
    peak->installEventFilter(this);
  }
  lblClipLeft = new TClipIndicator(pnlLevel);
  lblClipRight = new TClipIndicator(pnlLevel);

  btnPeakReset = new QPushButton(tr("Reset"), pnlLevel);
  btnPeakReset->setGeometry(250, 8, 63, 25);
  btnPeakReset->setContextMenuPolicy(Qt::PreventContextMenu);
  connect(btnPeakReset, &QPushButton::clicked, this, [this] { ActPeakReset->Execute(); });
}

void TfmMain::CreateVuPanel() {
  pnlVu = new QFrame(FClientArea);
  pnlVu->setAutoFillBackground(true);

  Vumeter = new TlxVuMeter(pnlVu);
  Vumeter->SetBounds(8, 8, 441, 81);
  Vumeter->SetOrientation(voHorizontal);
  Vumeter->SetLeftValue(0);
  Vumeter->SetRightValue(0);
  Vumeter->SetLedDisabledColor(clSilver);
  Vumeter->SetBackGroundColor(clBlack);
  Vumeter->SetShaddowColor(clGray);
  Vumeter->SetLevel1Color(clLime);
  Vumeter->SetLevel2Color(clYellow);
  Vumeter->SetLevel3Color(clRed);
  Vumeter->SetLevel1Limit(75);
  Vumeter->SetLevel2Limit(92);
  Vumeter->SetBorderMargin(3);
  Vumeter->SetCenterMargin(4);
  Vumeter->SetExtremityMargin(3);
  Vumeter->SetLedLength(10);
  Vumeter->SetLedWidth(5);
  Vumeter->SetLedSpacing(1);
  Vumeter->SetAutoSize(false);
  Vumeter->SetNumLeds(16);
  Vumeter->SetPeakShow(false);
  Vumeter->SetLeftPeak(70);
  Vumeter->SetRightPeak(75);
  Vumeter->SetLeftPeakResetCount(0);
  Vumeter->SetRightPeakResetCount(0);

  VuScale = new TVuScale(Vumeter, pnlVu);
  VuScale->hide();
}

int32_t TfmMain::ClientWidth() const { return width(); }

int32_t TfmMain::ClientHeight() const { return height() - FMenuHeight; }

void TfmMain::SetClientWidth(int32_t Value) { resize(Value, height()); }

void TfmMain::SetClientHeight(int32_t Value) { resize(width(), Value + FMenuHeight); }

void TfmMain::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  LayoutPanels(*this, ClientWidth());
  // Stacked panels may need more height than the size just given: the window grows to its new
  // minimum before anything is placed (a hidden window takes the size at once, with no event).
  UpdateMinimumSize();
  AdvMainMenu1->setGeometry(0, 0, width(), FMenuHeight);
  FClientArea->setGeometry(0, FMenuHeight, ClientWidth(), ClientHeight());
  FormResize(this);
}

void TfmMain::UpdateMinimumSize() {
  setMinimumSize(MinimumClientSize(*this) + QSize(0, FMenuHeight));
}

void TfmMain::closeEvent(QCloseEvent* Event) {
  bool canClose = true;
  try {
    FormCloseQuery(this, canClose);
  } catch (const std::exception& E) {
    // A preferences file that cannot be written must not keep the user from leaving.
    ShowException(E);
  }
  if (canClose)
    Event->accept();
  else
    Event->ignore();
}

void TfmMain::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  // The frame is known from now on: all of it must be on the screen too.
  if (!Event->spontaneous()) PlaceForm(*this, pos(), QSize(ClientWidth(), ClientHeight()));
}

void TfmMain::contextMenuEvent(QContextMenuEvent* Event) {
  AdvPopupMenu1->popup(Event->globalPos());
}

void TfmMain::FormCreate() {
  InFormCreate = true;
  // The creation of the window must not leave the flag set, whatever fails in it.
  struct TClearFlag {
    ~TClearFlag() { InFormCreate = false; }
  } clearFlag;
  InitAudio();
  LoadUserPrefs(IniFileName, *this);
}

void TfmMain::InitAudio() {
  // A control that fails while listing leaves the lists as far as they got; the window must
  // still come up.
  try {
    CreateRecordControl(*this);
  } catch (const std::exception&) {
  }
  InitVu();
}

void TfmMain::InitVu() {
  try {
    ALPPMMeter1->InputPin()->Connect(&ALAudioIn1->OutputPin());
  } catch (const std::exception&) {
  }
  VuState.Margin = 16;
  ActVuHorzExecute(nullptr);
  ActVuBarExecute(nullptr);
  VuState.PeakMemLeft = 0.0;
  VuState.PeakMemRight = 0.0;
  Vumeter->PeakReset();
}

void TfmMain::FormResize(QObject* /*Sender*/) {
  int32_t w = ClientWidth() - VuState.Margin;
  int32_t h = ClientHeight() - VuState.Margin;
  // The panels' heights as just laid out: a narrow window stacks them taller, and their current
  // heights follow only when the window's layout next runs.
  if (ActShowPnlConfig->Checked()) h -= pnlConf->minimumHeight();
  if (ActShowPnlLevel->Checked()) h -= pnlLevel->minimumHeight();
  // The scale lies beside the meter, along its bars.
  const bool scale = ActShowScale->Checked();
  if (scale) (VuState.Vertical ? w : h) -= TVuScale::Thickness(VuState.Vertical);
  Vumeter->SetWidth(w);
  Vumeter->SetHeight(h);
  if (scale) {
    const int32_t t = TVuScale::Thickness(VuState.Vertical);
    const QRect meter = Vumeter->geometry();
    VuScale->setGeometry(VuState.Vertical
                             ? QRect(meter.right() + 1, meter.top(), t, meter.height())
                             : QRect(meter.left(), meter.bottom() + 1, meter.width(), t));
    VuScale->update();
  }
  UpdateMinimumSize();
}

void TfmMain::FormCloseQuery(QObject* /*Sender*/, bool& CanClose) {
  WindowState = CaptureWindowState(*this);
  SaveUserPrefs(IniFileName);
  CanClose = true;
}

void TfmMain::ActAppCloseExecute(QObject* /*Sender*/) { close(); }

void TfmMain::ActAppReadmeExecute(QObject* /*Sender*/) { ::ActAppReadmeExecute(ReadmeFileName); }

void TfmMain::ActAppAboutExecute(QObject* /*Sender*/) {
  TfmAbout fmAbout(this);
  fmAbout.exec();
}

// Choosing the orientation the window already has changes nothing: turning it again would
// leave the bars across a window of the other shape.
void TfmMain::ActVuHorzExecute(QObject* Sender) {
  ActVuVert->SetChecked(false);
  ActVuHorz->SetChecked(true);
  if (Sender && VuState.Vertical) SetVuVertical(*this, false);
}

void TfmMain::ActVuVertExecute(QObject* Sender) {
  ActVuHorz->SetChecked(false);
  ActVuVert->SetChecked(true);
  if (Sender && !VuState.Vertical) SetVuVertical(*this, true);
}

void TfmMain::ActVuBarExecute(QObject* /*Sender*/) {
  ActVuDot->SetChecked(false);
  ActVuBar->SetChecked(true);
  SetVuDotMode(*this, false);
}

void TfmMain::ActVuDotExecute(QObject* /*Sender*/) {
  ActVuBar->SetChecked(false);
  ActVuDot->SetChecked(true);
  SetVuDotMode(*this, true);
}

void TfmMain::ActShowPnlConfigExecute(QObject* Sender) {
  if (Sender) ActShowPnlConfig->SetChecked(!ActShowPnlConfig->Checked());
  pnlConf->setVisible(ActShowPnlConfig->Checked());
  UserPrefs.GUIShowPnlConfig = ActShowPnlConfig->Checked();
  FormResize(nullptr);
}

void TfmMain::ActShowPnlLevelExecute(QObject* Sender) {
  if (Sender) ActShowPnlLevel->SetChecked(!ActShowPnlLevel->Checked());
  pnlLevel->setVisible(ActShowPnlLevel->Checked());
  UserPrefs.GUIShowPnlLevel = ActShowPnlLevel->Checked();
  FormResize(nullptr);
}

void TfmMain::ActShowPeakExecute(QObject* Sender) {
  if (Sender) {
    ActShowPeak->SetChecked(!ActShowPeak->Checked());
    UserPrefs.ShowPeak = ActShowPeak->Checked();
  } else {
    ActShowPeak->SetChecked(UserPrefs.ShowPeak);
  }
  const bool show = ActShowPeak->Checked();
  Vumeter->SetPeakShow(show);
  lblPeakLeft->setVisible(show);
  lblPeakRight->setVisible(show);
  btnPeakReset->setVisible(show);
  if (!show) Vumeter->PeakReset();
}

void TfmMain::ActStayOnTopExecute(QObject* Sender) {
  if (Sender) ActStayOnTop->SetChecked(!ActStayOnTop->Checked());
  const bool onTop = ActStayOnTop->Checked();
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop) return;
  // A new set of flags takes effect on a new native window, which starts hidden.
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  if (shown) show();
}

void TfmMain::ActShowScaleExecute(QObject* Sender) {
  if (Sender) ActShowScale->SetChecked(!ActShowScale->Checked());
  VuScale->setVisible(ActShowScale->Checked());
  FormResize(nullptr);
}

void TfmMain::ActPeakResetExecute(QObject* /*Sender*/) { ResetPeaks(*this); }

void TfmMain::ActShowPeakPercentExecute(QObject* Sender) {
  if (Sender) {
    ActShowPeakPercent->SetChecked(true);
    ActShowPeakDBFS->SetChecked(false);
    UserPrefs.ShowPeakDBFS = false;
  } else {
    ActShowPeakDBFS->SetChecked(UserPrefs.ShowPeakDBFS);
    ActShowPeakPercent->SetChecked(!UserPrefs.ShowPeakDBFS);
  }
}

void TfmMain::ActShowPeakDBFSExecute(QObject* Sender) {
  if (Sender) {
    ActShowPeakPercent->SetChecked(false);
    ActShowPeakDBFS->SetChecked(true);
    UserPrefs.ShowPeakDBFS = true;
  } else {
    ActShowPeakDBFS->SetChecked(UserPrefs.ShowPeakDBFS);
    ActShowPeakPercent->SetChecked(!UserPrefs.ShowPeakDBFS);
  }
}

void TfmMain::ALPPMMeter1ValueChange(TALCommonMeter* /*Sender*/, int32_t AChannel, double AValue,
                                     double /*AMin*/, double AMax) {
  if (InFormCreate) return;
  try {
    // The trimmed level and the percentage are worked out in extended precision, and the
    // percentage is truncated, not rounded, as the meter's LEDs have always been lit.
    auto percent = [AMax](double Trimmed, int32_t& Result) {
      const long double p = 100.0L * Trimmed / static_cast<long double>(AMax);
      // A level with no percentage (a zero scale, a broken value) shows nothing.
      if (!std::isfinite(p)) return false;
      Result = static_cast<int32_t>(std::clamp<long double>(
          std::trunc(p), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
      return true;
    };
    auto trim = [AValue](const QSlider* Trim) {
      return static_cast<double>(static_cast<long double>(Trim->value()) * AValue / 100.0L);
    };
    VuScale->SetFullScale(AMax);
    int32_t p = 0;
    if (AChannel == 0) {
      const double t = trim(tbLevelLeft);
      if (!percent(t, p)) return;
      if (t > VuState.PeakMemLeft) VuState.PeakMemLeft = t;
    } else if (AChannel == 1) {
      const double t = trim(tbLevelRight);
      if (!percent(t, p)) return;
      if (t > VuState.PeakMemRight) VuState.PeakMemRight = t;
    }

    // The decibel readouts are written before the meter draws, so that the meter's immediate
    // screen update carries them too; the percent readouts show what the meter holds.
    const bool percentReadouts = ActShowPeakPercent->Checked();
    if (!percentReadouts && ActShowPeakDBFS->Checked()) {
      if (AChannel == 0)
        lblLeft->setText(FormatDBFS(AmplitudeToDBFS(AValue)));
      else if (AChannel == 1)
        lblRight->setText(FormatDBFS(AmplitudeToDBFS(AValue)));
      lblPeakLeft->setText(FormatDBFS(AmplitudeToDBFS(VuState.PeakMemLeft)));
      lblPeakRight->setText(FormatDBFS(AmplitudeToDBFS(VuState.PeakMemRight)));
    }
    if (AChannel == 0)
      Vumeter->SetLeftValue(p);
    else if (AChannel == 1)
      Vumeter->SetRightValue(p);
    if (percentReadouts) {
      lblLeft->setText(Percent(Vumeter->LeftValue()));
      lblRight->setText(Percent(Vumeter->RightValue()));
      lblPeakLeft->setText(Percent(Vumeter->LeftPeak()));
      lblPeakRight->setText(Percent(Vumeter->RightPeak()));
    }
  } catch (const std::exception&) {
    // A value that cannot be shown is dropped; the next one will be shown.
  }
}

void TfmMain::ALPPMMeter1Clip(TALCommonMeter* /*Sender*/, int32_t AChannel) {
  if (InFormCreate) return;
  if (AChannel == 0) lblClipLeft->SetLit(true);
  if (AChannel == 1) lblClipRight->SetLit(true);
}

void TfmMain::lblPeakLeftClick(QObject* Sender) {
  if (Sender == lblPeakLeft) ResetChannelPeak(*this, 0);
  if (Sender == lblPeakRight) ResetChannelPeak(*this, 1);
}

bool TfmMain::eventFilter(QObject* Watched, QEvent* Event) {
  if ((Watched == lblPeakLeft || Watched == lblPeakRight) &&
      Event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
    lblPeakLeftClick(Watched);
    return true;
  }
  return QWidget::eventFilter(Watched, Event);
}

void TfmMain::tbLevelLeftChange(QObject* Sender) {
  if (Sender == tbLevelLeft) {
    UserPrefs.InLevelCoefLeft = tbLevelLeft->value();
    lblLevelCoefLeft->setText(Percent(tbLevelLeft->value()));
  } else if (Sender == tbLevelRight) {
    UserPrefs.InLevelCoefRight = tbLevelRight->value();
    lblLevelCoefRight->setText(Percent(tbLevelRight->value()));
  }
}

void TfmMain::seHalfLiveChange(QObject* /*Sender*/) {
  // While the user types, the field may hold nothing or a number out of range; the meter
  // divides by its release time, so it only ever gets one from the field's range.
  bool isNumber = false;
  const int value = seHalfLive->cleanText().toInt(&isNumber);
  if (isNumber && value >= seHalfLive->minimum() && value <= seHalfLive->maximum())
    ALPPMMeter1->SetHalfLife(value);
}

void TfmMain::lstDevicesChange(QObject* /*Sender*/) {
  if (rec) SelectDevice(*this, lstDevices->currentIndex(), "");
}

void TfmMain::lstDeviceLinesChange(QObject* /*Sender*/) {
  if (rec) SelectDeviceLine(*this, lstDeviceLines->currentIndex(), "");
}
