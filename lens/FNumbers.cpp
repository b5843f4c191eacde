#include "lens/FNumbers.h"

namespace FNumbers {

QVector<float> table()
{
    return {1.0f, 1.1f, 1.3f, 1.4f, 1.6f, 1.8f, 2.0f, 2.2f, 2.5f, 2.8f, 3.2f, 3.5f, 4.0f, 4.5f,
            5.0f, 5.6f, 6.3f, 7.1f, 8,    9,    10,   11,   13,   14,   16,   18,   20,   22,
            25,   29,   32,   36,   40,   45,   51,   57,   64,   72,   80,   90};
}

QString shortest(double value) { return QString::number(value, 'g', 6); }

int lastIndexOf(const QVector<float>& table, float fNumber) { return table.lastIndexOf(fNumber); }

} // namespace FNumbers
