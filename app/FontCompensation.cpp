#include "app/FontCompensation.h"

#include "base/DisplayScale.h"

#include <QApplication>
#include <QFont>

void compensateClassFonts(double displayScale)
{
    if (displayScale <= 1.0)
        return;
    static const char* const classNames[] = {"QMenu",       "QMenuBar",   "QMenuItem",
                                             "QMessageBox", "QStatusBar", "QTipLabel"};
    for (const char* className : classNames) {
        QFont font = QApplication::font(className);
        if (font == QApplication::font() || font.pointSizeF() <= 0)
            continue;
        font.setPointSizeF(DisplayScale::compensatedPointSize(font.pointSizeF(), displayScale));
        QApplication::setFont(font, className);
    }
}
