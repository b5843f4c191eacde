#include "sim/LensCatalogue.h"

#include <QVector>

#include <cmath>

namespace LensCatalogue {

namespace {
const QVector<LensSpec>& catalogue()
{
    // key, "Lens=" text, present, wide and tele mm, widest f-number at the
    // wide and tele ends, smallest aperture, near end of the focus travel,
    // AF switch on, stabiliser.
    static const QVector<LensSpec> lenses{
        {QStringLiteral("zoom-is"), QStringLiteral("18-55mm f/3.5-5.6 IS"), true, 18, 55, 3.5, 5.6, 22, 1150, true,
         true},
        {QStringLiteral("prime"), QStringLiteral("50mm f/1.8"), true, 50, 50, 1.8, 1.8, 22, 980, true, false},
        {QStringLiteral("no-aperture"), QStringLiteral("35mm adapted lens, no aperture contacts"), true, 35, 35, 255,
         255, 255, 800, true, false},
        {QStringLiteral("manual-focus"), QStringLiteral("70-200mm f/4 IS, AF switch at MF"), true, 70, 200, 4, 4, 32,
         1500, false, true},
        {QStringLiteral("none"), QStringLiteral("no lens attached"), false, 0, 0, 0, 0, 0, 0, true, false},
    };
    return lenses;
}
} // namespace

const QVector<double>& fNumberScale()
{
    static const QVector<double> scale{1.0, 1.1, 1.3, 1.4, 1.6, 1.8, 2.0, 2.2, 2.5, 2.8, 3.2, 3.5, 4.0, 4.5,
                                       5.0, 5.6, 6.3, 7.1, 8,   9,   10,  11,  13,  14,  16,  18,  20,  22,
                                       25,  29,  32,  36,  40,  45,  51,  57,  64,  72,  80,  90};
    return scale;
}

int nearestStop(double fNumber)
{
    const QVector<double>& scale = fNumberScale();
    int best = 0;
    for (int i = 1; i < scale.size(); ++i) {
        if (std::fabs(scale.at(i) - fNumber) < std::fabs(scale.at(best) - fNumber))
            best = i;
    }
    return best;
}

QStringList keys()
{
    QStringList all;
    for (const LensSpec& lens : catalogue())
        all << lens.key;
    return all;
}

LensSpec lens(const QString& key)
{
    for (const LensSpec& lens : catalogue()) {
        if (lens.key == key)
            return lens;
    }
    return LensSpec{};
}

QString describeAll()
{
    QString text;
    for (const LensSpec& lens : catalogue())
        text += QStringLiteral("  %1: %2\n").arg(lens.key, -14).arg(lens.description);
    return text;
}

} // namespace LensCatalogue
