#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <initializer_list>

// The child of `parent` with this object name (a widget, an action, a
// dialog), found as a user finds it: by what it is called.
template <typename T>
T* named(const QObject& parent, const char* objectName)
{
    return parent.findChild<T*>(QLatin1String(objectName));
}

// The children with these object names, in this order.
template <typename T>
QList<T*> allNamed(const QObject& parent, std::initializer_list<const char*> objectNames)
{
    QList<T*> found;
    for (const char* objectName : objectNames)
        found << named<T>(parent, objectName);
    return found;
}
