#pragma once

#include <QString>
#include <QVector>

// The aperture scale behind the aperture slider and the one way f-numbers are
// written as text.
namespace FNumbers {

// The 40 f-numbers of the aperture slider, index = slider position
// (1.3 follows 1.1: the scale has no 1.2).
QVector<float> table();

// Shortest decimal form with at most 6 significant digits: 5.6, 22, -1.
QString shortest(double value);

// The last index whose value equals `fNumber` exactly in single precision;
// -1 when none does.
int lastIndexOf(const QVector<float>& table, float fNumber);

} // namespace FNumbers
