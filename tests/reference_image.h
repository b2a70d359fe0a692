// Checks (Qt Test) that a drawn image is a reviewed reference PNG pixel for
// pixel; on a difference the drawn image is left in the working folder under
// the reference's name, to look at and, once reviewed, to take its place.
#pragma once

#include <QFileInfo>
#include <QImage>
#include <QTest>

inline void Check_Reference_Image(const QImage &drawn, const QString &reference)
{
    const QImage actual = drawn.convertToFormat(QImage::Format_RGB32);
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
    if (actual == expected)
        return;
    const QString saved = QFileInfo(reference).fileName();
    actual.save(saved);
    QPoint at(-1, -1);
    for (int y = 0; y < actual.height() && at.y() < 0; ++y)
        for (int x = 0; x < actual.width() && at.y() < 0; ++x)
            if (!expected.valid(x, y) || actual.pixel(x, y) != expected.pixel(x, y))
                at = QPoint(x, y);
    QFAIL(qPrintable(QStringLiteral("%1x%2 pixels, the reference %3x%4; first difference at (%5, %6); drawn: %7")
                         .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height())
                         .arg(at.x()).arg(at.y()).arg(saved)));
}
