#include "sim/LensCatalogue.h"

#include <QVector>

#include <cmath>

namespace LensCatalogue {

namespace {
const QVector<LensSpec>& catalogue()
{
    static const QVector<LensSpec> lenses = [] {
        QVector<LensSpec> all;
        LensSpec zoom;
        zoom.key = QStringLiteral("zoom-is");
        zoom.description = QStringLiteral("18-55mm f/3.5-5.6 IS");
        zoom.wideMm = 18;
        zoom.teleMm = 55;
        zoom.openFAtWide = 3.5;
        zoom.openFAtTele = 5.6;
        zoom.closedF = 22;
        zoom.focusMax = 1150;
        zoom.stabiliser = true;
        all << zoom;

        LensSpec prime;
        prime.key = QStringLiteral("prime");
        prime.description = QStringLiteral("50mm f/1.8");
        prime.wideMm = prime.teleMm = 50;
        prime.openFAtWide = prime.openFAtTele = 1.8;
        prime.closedF = 22;
        prime.focusMax = 980;
        all << prime;

        LensSpec noAperture;
        noAperture.key = QStringLiteral("no-aperture");
        noAperture.description = QStringLiteral("35mm adapted lens, no aperture contacts");
        noAperture.wideMm = noAperture.teleMm = 35;
        noAperture.openFAtWide = noAperture.openFAtTele = 255;
        noAperture.closedF = 255;
        noAperture.focusMax = 800;
        all << noAperture;

        LensSpec manualFocus;
        manualFocus.key = QStringLiteral("manual-focus");
        manualFocus.description = QStringLiteral("70-200mm f/4 IS, AF switch at MF");
        manualFocus.wideMm = 70;
        manualFocus.teleMm = 200;
        manualFocus.openFAtWide = manualFocus.openFAtTele = 4;
        manualFocus.closedF = 32;
        manualFocus.focusMax = 1500;
        manualFocus.autoFocus = false;
        manualFocus.stabiliser = true;
        all << manualFocus;

        LensSpec none;
        none.key = QStringLiteral("none");
        none.description = QStringLiteral("no lens attached");
        none.present = false;
        all << none;
        return all;
    }();
    return lenses;
}
} // namespace

const QVector<double>& fNumberScale()
{
    static const QVector<double> scale{1.0, 1.1, 1.3, 1.4, 1.6, 1.8, 2.0, 2.2, 2.5, 2.8,
                                       3.2, 3.5, 4.0, 4.5, 5.0, 5.6, 6.3, 7.1, 8, 9,
                                       10, 11, 13, 14, 16, 18, 20, 22, 25, 29,
                                       32, 36, 40, 45, 51, 57, 64, 72, 80, 90};
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
