#pragma once

#include <QString>

// Reading an address out of a row of the search results. A row text holds
// the address in a run of four digit groups of one to three digits; the
// character between two groups may be any character (it is not checked to
// be a dot: the address field's own validation decides whether the pick can
// be accepted).
//
// The run taken is the last one in the text (the one that ends last), and
// from its earliest possible start: "12345.6.7.8" gives "345.6.7.8", a
// controller row gives the address between its brackets, an interface row
// the last of its addresses. No match gives a null string.
namespace PickPattern {

// The single-click pick: only a run after the first "KX2" in the text.
QString singleClickAddress(const QString& rowText);

// The double-click pick: the run anywhere in the text.
QString doubleClickAddress(const QString& rowText);

} // namespace PickPattern
