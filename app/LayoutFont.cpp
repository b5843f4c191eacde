#include "app/LayoutFont.h"

#include <QApplication>
#include <QFont>

// Liberation Sans has the metrics of the font the status bar asks for by
// name; its narrow cut gives the fixed captions the room they had on the
// desktops the layouts were drawn on. Packages and scripts install it
// (fonts-liberation); without it the desktop's default family stands in.
void useLayoutFont()
{
#ifndef Q_OS_WIN
    QFont font(QStringLiteral("Liberation Sans Narrow"), 8);
    QApplication::setFont(font);
#endif
}
