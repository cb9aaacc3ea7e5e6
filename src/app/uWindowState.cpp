#include "app/uWindowState.h"

#include "app/frmMain.h"
#include "app/uAction.h"
#include "app/uRes.h"
#include "app/uVu.h"
#include "platform/IniFile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSpinBox>

#include <algorithm>
#include <limits>

TWindowState WindowState;

TWindowState ReadWindowState(const TIniFile& Ini) {
  TWindowState s;
  s.Left = Ini.ReadInteger(rsSectionWindow, rsKeyLeft, s.Left);
  s.Top = Ini.ReadInteger(rsSectionWindow, rsKeyTop, s.Top);
  s.ClientWidth = Ini.ReadInteger(rsSectionWindow, rsKeyClientWidth, s.ClientWidth);
  s.ClientHeight = Ini.ReadInteger(rsSectionWindow, rsKeyClientHeight, s.ClientHeight);
  s.Vertical = Ini.ReadBool(rsSectionWindow, rsKeyVertical, s.Vertical);
  s.DotMode = Ini.ReadBool(rsSectionWindow, rsKeyDotMode, s.DotMode);
  s.HalfLife = std::clamp(Ini.ReadInteger(rsSectionWindow, rsKeyHalfLife, s.HalfLife), 10, 20000);
  s.ShowScale = Ini.ReadBool(rsSectionWindow, rsKeyShowScale, s.ShowScale);
  s.StayOnTop = Ini.ReadBool(rsSectionWindow, rsKeyStayOnTop, s.StayOnTop);
  return s;
}

void WriteWindowState(TIniFile& Ini, const TWindowState& State) {
  Ini.WriteInteger(rsSectionWindow, rsKeyLeft, State.Left);
  Ini.WriteInteger(rsSectionWindow, rsKeyTop, State.Top);
  Ini.WriteInteger(rsSectionWindow, rsKeyClientWidth, State.ClientWidth);
  Ini.WriteInteger(rsSectionWindow, rsKeyClientHeight, State.ClientHeight);
  Ini.WriteBool(rsSectionWindow, rsKeyVertical, State.Vertical);
  Ini.WriteBool(rsSectionWindow, rsKeyDotMode, State.DotMode);
  Ini.WriteInteger(rsSectionWindow, rsKeyHalfLife, State.HalfLife);
  Ini.WriteBool(rsSectionWindow, rsKeyShowScale, State.ShowScale);
  Ini.WriteBool(rsSectionWindow, rsKeyStayOnTop, State.StayOnTop);
}

namespace {

// Wayland gives clients no say over, and no knowledge of, where their windows stand.
bool PlatformKnowsPositions() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QList<QRect> AvailableScreens() {
  QList<QRect> result;
  for (const QScreen* screen : QGuiApplication::screens())
    result.push_back(screen->availableGeometry());
  return result;
}

int64_t Area(const QRect& R) {
  return R.isEmpty() ? 0 : static_cast<int64_t>(R.width()) * R.height();
}

int64_t DistanceSquared(const QRect& R, const QPoint& P) {
  const int64_t dx = P.x() < R.left()    ? R.left() - P.x()
                     : P.x() > R.right() ? P.x() - R.right()
                                         : 0;
  const int64_t dy = P.y() < R.top()      ? R.top() - P.y()
                     : P.y() > R.bottom() ? P.y() - R.bottom()
                                          : 0;
  return dx * dx + dy * dy;
}

}  // namespace

QRect KeepOnScreen(const QRect& Frame, const QList<QRect>& Screens) {
  if (Screens.isEmpty()) return Frame;
  for (const QRect& screen : Screens)
    if (screen.contains(Frame)) return Frame;

  const QRect* target = &Screens.front();
  int64_t bestArea = -1;
  int64_t bestDistance = std::numeric_limits<int64_t>::max();
  for (const QRect& screen : Screens) {
    const int64_t area = Area(screen.intersected(Frame));
    const int64_t distance = DistanceSquared(screen, Frame.center());
    if (area > bestArea || (area == bestArea && distance < bestDistance)) {
      target = &screen;
      bestArea = area;
      bestDistance = distance;
    }
  }
  QRect result(Frame.topLeft(), Frame.size().boundedTo(target->size()));
  result.moveLeft(std::clamp(result.left(), target->left(), target->right() - result.width() + 1));
  result.moveTop(std::clamp(result.top(), target->top(), target->bottom() - result.height() + 1));
  return result;
}

void PlaceForm(TfmMain& Form, QPoint TopLeft, QSize ClientSize) {
  // Before the window is first shown its frame is not known, and counts as none.
  const QSize margins = Form.frameGeometry().size() - Form.size();
  const QSize extra = Form.size() - QSize(Form.ClientWidth(), Form.ClientHeight());
  const QSize outer = ClientSize + extra + margins;
  const QRect placed = KeepOnScreen(QRect(TopLeft, outer), AvailableScreens());
  Form.resize((placed.size() - margins).expandedTo(Form.minimumSize()));
  Form.move(placed.topLeft());
}

TWindowState CaptureWindowState(const TfmMain& Form) {
  TWindowState s = WindowState;
  if (PlatformKnowsPositions()) {
    s.Left = Form.x();
    s.Top = Form.y();
  }
  s.ClientWidth = Form.ClientWidth();
  s.ClientHeight = Form.ClientHeight();
  s.Vertical = VuState.Vertical;
  s.DotMode = VuState.DotMode;
  s.HalfLife = Form.seHalfLive->value();
  s.ShowScale = Form.ActShowScale->Checked();
  s.StayOnTop = Form.ActStayOnTop->Checked();
  return s;
}

void ApplyWindowState(TfmMain& Form, const TWindowState& State) {
  Form.seHalfLive->setValue(State.HalfLife);
  if (State.DotMode)
    Form.ActVuDotExecute(nullptr);
  else
    Form.ActVuBarExecute(nullptr);
  // The size kept is that of the orientation kept: nothing turns here.
  if (State.Vertical)
    Form.ActVuVertExecute(nullptr);
  else
    Form.ActVuHorzExecute(nullptr);
  ShowVuOrientation(Form, State.Vertical);
  Form.ActShowScale->SetChecked(State.ShowScale);
  Form.ActShowScaleExecute(nullptr);
  Form.ActStayOnTop->SetChecked(State.StayOnTop);
  Form.ActStayOnTopExecute(nullptr);

  PlaceForm(Form, QPoint(State.Left, State.Top), QSize(State.ClientWidth, State.ClientHeight));
}
