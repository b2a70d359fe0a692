#include "font_check.h"

#include <QFont>
#include <QFontInfo>

bool Any_Face_Loads()
{
    // Without a loadable face the font is resolved to no family at all.
    return !QFontInfo(QFont(QStringLiteral("Arial"))).family().isEmpty();
}
