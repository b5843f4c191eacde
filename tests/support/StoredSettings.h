#pragma once

#include <QString>

class QSettings;

// The text of the file behind a settings store as it is on disk now: what
// the panel has really written, not what the store object holds in memory.
// Empty when the file cannot be read.
QString storedFileText(const QSettings* settings);
