#pragma once
// Dialog-template units to pixels with the base units of the 8-point dialog
// font: x px = du * 6 / 4, y px = du * 13 / 8 (integer arithmetic).
#include <QRect>

constexpr int DuToPxX(int du) { return du * 6 / 4; }
constexpr int DuToPxY(int du) { return du * 13 / 8; }

constexpr QRect DuRect(int x, int y, int w, int h)
{
    return QRect(DuToPxX(x), DuToPxY(y), DuToPxX(w), DuToPxY(h));
}
