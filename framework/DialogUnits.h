// Dialog units to pixels, by the classic rule: a horizontal unit is a quarter of the font's
// average character width (A-Z and a-z over 52), a vertical unit an eighth of its height.
#pragma once

#include <QFont>
#include <QRect>

namespace framework {

struct BaseUnits {
    int x = 0;
    int y = 0;
};

// "MS Sans Serif" is not found off Windows; the platform's UI sans at the same size stands in.
QFont DialogFont(const char* face, int pointSize);
BaseUnits BaseUnitsOf(const QFont& font);
int ToPixelsX(int dialogUnits, BaseUnits base);
int ToPixelsY(int dialogUnits, BaseUnits base);
QRect ToPixels(int x, int y, int width, int height, BaseUnits base);

}  // namespace framework
