#include "app/uVuScale.h"

#include "app/uMaths.h"
#include "meter_display/lxVumeter.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// The meter's LED index of a percentage: Q * (100 - p) / 100, an exact half to the even side.
int64_t LedOfPercent(int64_t Q, int64_t Percent) {
  const int64_t n = Q * (100 - Percent);
  int64_t q = n / 100;
  const int64_t r = n % 100;
  if (r > 50 || (r == 50 && q % 2 != 0)) ++q;
  return q;
}

// Multiples of 10 first, then of 5, then even values; the value nearest full scale before all.
int Roundness(int32_t dB) {
  if (dB % 10 == 0) return 0;
  if (dB % 5 == 0) return 1;
  return dB % 2 == 0 ? 2 : 3;
}

QFont ScaleFont() { return QFont(QStringLiteral("Tahoma"), 7); }

}  // namespace

TVuScale::TVuScale(TlxVuMeter* Meter, QWidget* Parent) : QWidget(Parent), FMeter(Meter) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFont(ScaleFont());
}

void TVuScale::SetFullScale(double AMax) {
  if (AMax == FFullScale || !(AMax > 0)) return;
  FFullScale = AMax;
  update();
}

std::vector<TVuScale::TMark> TVuScale::Marks() const {
  const bool vertical = FMeter->Orientation() == voVertical;
  const int64_t length = vertical ? FMeter->Height() : FMeter->Width();
  const int64_t pitch = FMeter->LedLength() + FMeter->LedSpacing();
  if (pitch <= 0) return {};
  const int64_t Q = (length - 2 * FMeter->ExtremityMargin()) / pitch;
  if (Q < 0) return {};

  // The levels the bars show are whole percentages of full scale, truncated.
  const auto markOf = [&](int32_t dB) -> TMark {
    const double level = 65536.0 * std::pow(10.0, dB / 20.0);
    const auto percent = static_cast<int64_t>(std::trunc(100.0 * level / FFullScale));
    const int64_t led = LedOfPercent(Q, std::clamp<int64_t>(percent, 0, 100));
    // The LED farthest from the start may pass the meter's edge: the mark goes to what shows.
    const int64_t start = FMeter->ExtremityMargin() + (vertical ? led : Q - led) * pitch;
    const int64_t end = std::min(start + FMeter->LedLength(), length);
    return {dB, static_cast<int32_t>(led), static_cast<int32_t>((start + end) / 2)};
  };
  const QFontMetrics metrics(font());
  const int32_t spacing = vertical ? metrics.height() : metrics.horizontalAdvance("-00") + 6;

  const auto top = static_cast<int32_t>(std::lround(AmplitudeToDBFS(FFullScale)));
  std::vector<std::pair<int, TMark>> candidates;
  for (int32_t dB = top; dB >= top - 60; --dB) {
    const TMark mark = markOf(dB);
    // Below one percent every level lights the zero-end LED alone.
    if (100.0 * 65536.0 * std::pow(10.0, dB / 20.0) / FFullScale < 1.0) break;
    candidates.push_back({dB == top ? -1 : Roundness(dB), mark});
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const auto& A, const auto& B) { return A.first < B.first; });
  std::vector<TMark> marks;
  for (const auto& candidate : candidates) {
    // Not a structured binding: clang 14 cannot capture one in a lambda.
    const TMark& mark = candidate.second;
    const bool fits = std::none_of(marks.begin(), marks.end(), [&](const TMark& Kept) {
      return std::abs(Kept.Pixel - mark.Pixel) < spacing;
    });
    if (fits) marks.push_back(mark);
  }
  std::sort(marks.begin(), marks.end(), [](const TMark& A, const TMark& B) { return A.dB > B.dB; });
  return marks;
}

void TVuScale::paintEvent(QPaintEvent* /*Event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  painter.setPen(QColor(192, 192, 192));
  const bool vertical = FMeter->Orientation() == voVertical;
  const QFontMetrics metrics(font());
  for (const TMark& mark : Marks()) {
    const QString text = QString::number(mark.dB);
    if (vertical) {
      painter.drawLine(0, mark.Pixel, 3, mark.Pixel);
      const QRect box(6, mark.Pixel - metrics.height() / 2, width() - 6, metrics.height());
      painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    } else {
      painter.drawLine(mark.Pixel, 0, mark.Pixel, 3);
      const int32_t w = metrics.horizontalAdvance(text);
      const int32_t left = std::clamp(mark.Pixel - w / 2, 0, std::max(0, width() - w));
      painter.drawText(QRect(left, 4, w, height() - 4), Qt::AlignHCenter | Qt::AlignTop, text);
    }
  }
}
