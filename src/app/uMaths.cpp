#include "app/uMaths.h"

#include <cmath>
#include <stdexcept>

double AmplitudeToDB(int32_t Reference, double Value) {
  if (Reference <= 0) throw std::invalid_argument("AmplitudeToDB: the reference must be positive");
  const double Floor = 20.0 * std::log10(1.0 / Reference);
  if (Value == 0.0) return Floor;
  const double Db = 20.0 * std::log10(std::fabs(Value) / Reference);
  return std::isfinite(Db) ? Db : Floor;
}

double AmplitudeToDBFS(double Value) { return AmplitudeToDB(65536, Value); }
