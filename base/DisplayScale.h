#pragma once

#include <QByteArray>
#include <QRect>

#include <optional>

// The one display scale of a run, decided before the application object
// exists: the user's accessibility text size, but never more than lets a
// 480 x 320 box fit the desktop's work area.
namespace DisplayScale {

struct Inputs
{
    bool scaleFactorSet = false;         // QT_SCALE_FACTOR is already in the environment
    std::optional<int> textScalePercent; // the user's text size, when it could be read
    std::optional<QRect> workArea;       // the primary display's work area, in pixels
    int verticalDpi = 0;                 // below 1 when unknown
};

// The display scale, at least 1.0.
double decide(const Inputs& in);

// QT_SCALE_FACTOR's text for a scale above 1.0: two decimals ("1.50").
QByteArray environmentText(double scale);

// A class font's new point size under `scale`: divided, but not below 7 pt.
double compensatedPointSize(double pointSize, double scale);

constexpr double FontFloorPoints = 7.0;

} // namespace DisplayScale
