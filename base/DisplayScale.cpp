#include "base/DisplayScale.h"

#include <algorithm>

namespace DisplayScale {

namespace {
constexpr int MinimumTextScale = 101;
constexpr int MaximumTextScale = 225;
constexpr int ReferenceDpi = 96;
constexpr double BoxWidth = 480.0;
constexpr double BoxHeight = 320.0;
} // namespace

double decide(const Inputs& in)
{
    if (in.scaleFactorSet || !in.textScalePercent)
        return 1.0;
    const int percent = *in.textScalePercent;
    if (percent < MinimumTextScale || percent > MaximumTextScale)
        return 1.0;

    const double textScale = percent / 100.0;
    double scale = textScale;
    if (in.workArea) {
        const int dpi = in.verticalDpi < 1 ? ReferenceDpi : in.verticalDpi;
        // Work-area extents as right minus left and bottom minus top.
        const double width = double(in.workArea->right() + 1 - in.workArea->left());
        const double height = double(in.workArea->bottom() + 1 - in.workArea->top());
        const double widthRatio = width * ReferenceDpi / dpi / BoxWidth;
        const double heightRatio = height * ReferenceDpi / dpi / BoxHeight;
        scale = std::min({textScale, widthRatio, heightRatio});
    }
    return std::max(scale, 1.0);
}

QByteArray environmentText(double scale) { return QByteArray::number(scale, 'f', 2); }

double compensatedPointSize(double pointSize, double scale) { return std::max(pointSize / scale, FontFloorPoints); }

} // namespace DisplayScale
