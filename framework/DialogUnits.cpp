#include "framework/DialogUnits.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>

namespace framework {

QFont DialogFont(const char* face, int pointSize) {
    QFont font(QString::fromLatin1(face), pointSize);
    if (!QFontInfo(font).exactMatch()) {
        font = QApplication::font();
        font.setPointSize(pointSize);
    }
    return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabetWidth = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // (width / 26 + 1) / 2 rounds width / 52 to the nearest pixel.
    return BaseUnits{(alphabetWidth / 26 + 1) / 2, metrics.height()};
}

int ToPixelsX(int dialogUnits, BaseUnits base) {
    return (dialogUnits * base.x + 2) / 4;
}
int ToPixelsY(int dialogUnits, BaseUnits base) {
    return (dialogUnits * base.y + 4) / 8;
}

QRect ToPixels(int x, int y, int width, int height, BaseUnits base) {
    return QRect(ToPixelsX(x, base), ToPixelsY(y, base), ToPixelsX(width, base),
                 ToPixelsY(height, base));
}

}  // namespace framework
