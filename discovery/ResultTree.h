#pragma once

#include "discovery/SearchResults.h"

#include <QList>

class QStandardItem;
class QStandardItemModel;

// The two-level tree of a search: one bold row per kept interface, one light
// row per responder under it, not editable, sorted on every level by the row
// texts compared character by character (case-sensitive).
namespace ResultTree {

// Puts the rows for `results` into the (empty) one-column model, sorts it and
// returns the interface rows in the order of `results`.
QList<QStandardItem*> fill(QStandardItemModel& model, const QVector<SearchResults::InterfaceResult>& results);

} // namespace ResultTree
