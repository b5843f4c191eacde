#include "StoredSettings.h"

#include <QFile>
#include <QSettings>

QString storedFileText(const QSettings* settings)
{
    QFile file(settings->fileName());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
