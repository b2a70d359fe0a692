// The words the print command shows the user (app/output and app/window
// alike), translated in one context of their own.
#pragma once

#include <QCoreApplication>
#include <QString>

inline QString Tr(const char *text)
{
    return QCoreApplication::translate("Printing", text);
}
