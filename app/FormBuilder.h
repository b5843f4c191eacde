#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

// Helpers for the fixed-geometry forms of the panel's windows and dialogs.

// A child widget with its object name and geometry.
template <typename Widget>
Widget* makeChild(QWidget* parent, const char* objectName, const QRect& geometry)
{
    auto* widget = new Widget(parent);
    widget->setObjectName(QLatin1String(objectName));
    widget->setGeometry(geometry);
    return widget;
}

// The colours of an input field whose text is, or is not, acceptable.
namespace FieldStyle {
inline const QString Valid = QStringLiteral("QLineEdit{background: white;}");
inline const QString Invalid = QStringLiteral("QLineEdit{background: red;}");
inline const QString& of(bool valid)
{
    return valid ? Valid : Invalid;
}
} // namespace FieldStyle
