#pragma once
#include <QFont>
#include <QRect>

namespace pemblor {

// Dialog units of one dialog font: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height.
class QtDialogUnits final {
public:
    // The template's family at `pointSize`; where the family is not installed,
    // the application's default family at that size.
    static QFont DialogFont(const char* family, int pointSize);

    explicit QtDialogUnits(const QFont& font);

    int BaseX() const { return m_nBaseX; }
    int BaseY() const { return m_nBaseY; }
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int cx, int cy) const;

    // a * b / c rounded half away from zero, computed without overflow.
    static int MulDiv(int a, int b, int c);

private:
    int m_nBaseX;
    int m_nBaseY;
};

} // namespace pemblor
