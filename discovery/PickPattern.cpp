#include "discovery/PickPattern.h"

namespace PickPattern {

namespace {

constexpr int Groups = 4;
constexpr int MaxDigits = 3;
// Shortest and longest run: four groups and the three characters between.
constexpr int MinRun = Groups + (Groups - 1);
constexpr int MaxRun = Groups * MaxDigits + (Groups - 1);

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Whether text[pos, end) is exactly digit groups `group`..3 with one
// character of any kind between two groups.
bool runMatches(const QString& text, int pos, int end, int group)
{
    for (int digits = 1; digits <= MaxDigits && pos + digits <= end; ++digits) {
        if (!isDigit(text.at(pos + digits - 1)))
            return false;
        const int next = pos + digits;
        if (group == Groups - 1) {
            if (next == end)
                return true;
        } else if (next < end && runMatches(text, next + 1, end, group + 1)) {
            return true;
        }
    }
    return false;
}

// The run that ends last in text[from, size), from its earliest start.
QString lastRunFrom(const QString& text, int from)
{
    for (int end = text.size(); end - from >= MinRun; --end) {
        for (int start = qMax(from, end - MaxRun); end - start >= MinRun; ++start) {
            if (runMatches(text, start, end, 0))
                return text.mid(start, end - start);
        }
    }
    return QString();
}

} // namespace

QString singleClickAddress(const QString& rowText)
{
    static const QString marker = QStringLiteral("KX2");
    const int at = rowText.indexOf(marker);
    return at < 0 ? QString() : lastRunFrom(rowText, at + marker.size());
}

QString doubleClickAddress(const QString& rowText) { return lastRunFrom(rowText, 0); }

} // namespace PickPattern
