#include "app/uMaths.h"

#include <cmath>

double AmplitudeToDB(int32_t Reference, double Value)
{
    const double floor = 20.0 * std::log10(1.0 / Reference);
    const double level = std::fabs(Value);
    if (!(level > 0.0))
        return floor;
    const double result = 20.0 * std::log10(level / Reference);
    return std::isfinite(result) ? result : floor;
}

double AmplitudeToDBFS(double Value)
{
    return AmplitudeToDB(65536, Value);
}
