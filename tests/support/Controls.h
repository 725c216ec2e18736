#pragma once

// Finds a window's control by its objectName, as the operator-facing design names it. The
// windows keep their controls private; a test reaches them the way a screen reader or a user
// would, through the widget tree. Dialogs parented to the window are windows of their own and
// are not searched (their controls may share designer names such as "Edit1").

#include <QDialog>
#include <QObject>
#include <QtGlobal>

namespace TestControls {

inline QObject *findNamed(const QObject &parent, const QString &name, const QMetaObject &type)
{
    for (QObject *child : parent.children()) {
        if (child->objectName() == name && type.cast(child))
            return child;
    }
    for (QObject *child : parent.children()) {
        if (qobject_cast<QDialog *>(child))
            continue;
        if (QObject *found = findNamed(*child, name, type))
            return found;
    }
    return nullptr;
}

} // namespace TestControls

// The control of the given type and objectName in window; a missing one ends the test run.
template <typename T> T *control(const QObject &window, const char *name)
{
    const QString objectName = QString::fromLatin1(name);
    auto *found = static_cast<T *>(TestControls::findNamed(window, objectName, T::staticMetaObject));
    if (!found)
        qFatal("%s has no %s named %s", qPrintable(window.objectName()), T::staticMetaObject.className(), name);
    return found;
}
