#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QRect>
#include <QString>
#include <QWidget>

#include <type_traits>

// The panel's windows and dialogs are fixed pixel layouts. Every widget of
// them is made by these helpers: a child with its object name, where a
// layout places it, or with its geometry as well in a fixed form, then its
// caption. What else a widget needs is set on the result.

// A child with its object name, placed by its parent's layout.
template <typename Widget>
Widget* makeNamed(QWidget* parent, const char* objectName)
{
    auto* widget = new Widget(parent);
    widget->setObjectName(QLatin1String(objectName));
    return widget;
}

// A child with its object name at a fixed place.
template <typename Widget>
Widget* makeChild(QWidget* parent, const char* objectName, const QRect& geometry)
{
    auto* widget = makeNamed<Widget>(parent, objectName);
    widget->setGeometry(geometry);
    return widget;
}

// The same with its caption: a group box's title, anything else's text.
template <typename Widget>
Widget* makeChild(QWidget* parent, const char* objectName, const QRect& geometry, const QString& caption)
{
    auto* widget = makeChild<Widget>(parent, objectName, geometry);
    if constexpr (std::is_base_of_v<QGroupBox, Widget>)
        widget->setTitle(caption);
    else
        widget->setText(caption);
    return widget;
}

// A sunken separator line, horizontal or vertical.
inline QFrame* makeLine(QWidget* parent, const char* objectName, const QRect& geometry, Qt::Orientation orientation)
{
    auto* line = makeChild<QFrame>(parent, objectName, geometry);
    line->setFrameShape(orientation == Qt::Horizontal ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// The colours of an input field whose text is, or is not, acceptable.
namespace FieldStyle {
inline const QString Valid = QStringLiteral("QLineEdit{background: white;}");
inline const QString Invalid = QStringLiteral("QLineEdit{background: red;}");
inline const QString& of(bool valid) { return valid ? Valid : Invalid; }
} // namespace FieldStyle
