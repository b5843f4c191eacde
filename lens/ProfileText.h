#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

class QSettings;

// The text of a saved lens position (a profile) and the names it is stored
// under.
//
// A profile's value is "zoom,focus,iris": zoom and focus as decimal integers,
// the f-number in its shortest form ("50,812,5.6"). Values come from the
// panel or from a hand-edited store, so reading is forgiving: a missing field
// reads as 0, and a value with fewer than three fields is reported as
// incomplete so that it is never driven to.
//
// The settings store takes "/" and "\" in a key as group separators, so a
// name is stored under a key of its own: ordinary names (the digits "0".."9"
// included) are their own key; a name holding "/" or "\", or beginning with
// the marker "%", is stored as the marker followed by the name in percent
// encoding. Every non-empty name comes back exactly.
namespace ProfileText {

// An absent profile reads as this value, which means "no profile".
constexpr const char* NoProfile = "0,0,0";
constexpr int FieldCount = 3;

struct Position
{
    QString zoomText, focusText, irisText; // as stored; "0" when absent
    int zoom = 0;
    int focus = 0;
    float iris = 0.0f;
    int fieldsPresent = 0;

    bool isComplete() const { return fieldsPresent >= FieldCount; }
};

QString format(int zoom, int focus, float iris);
Position parse(const QString& value);

// "%1mm %2 f/%3" with the fields as stored: "50mm 812 f/5.6".
QString describe(const QString& value);

// The stored value as one text. An unquoted value with commas, typed into
// the store by hand, comes back from it as a list.
QString valueText(const QVariant& stored);

QString keyForName(const QString& name);
QString nameForKey(const QString& key);

// The value stored for `name` in the profiles store, as one text; NoProfile
// when the store holds none.
QString storedValue(const QSettings& profiles, const QString& name);

} // namespace ProfileText
