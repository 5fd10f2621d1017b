#include "toolkit/qt/QtDialogUnits.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>

namespace pemblor {

QFont QtDialogUnits::DialogFont(const char* family, int pointSize)
{
    const QString name = QString::fromLatin1(family ? family : "");
    QFont font = (!name.isEmpty() && QFontDatabase::hasFamily(name)) ? QFont(name) : QApplication::font();
    if (pointSize > 0)
        font.setPointSize(pointSize);
    return font;
}

QtDialogUnits::QtDialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    static const QString kAlphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int length = static_cast<int>(kAlphabet.size());
    m_nBaseX = (metrics.horizontalAdvance(kAlphabet) + length / 2) / length;
    m_nBaseY = metrics.height();
    if (m_nBaseX < 1)
        m_nBaseX = 1;
    if (m_nBaseY < 1)
        m_nBaseY = 1;
}

int QtDialogUnits::MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    long long product = static_cast<long long>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    if (product < 0)
        product = -product;
    const long long divisor = c < 0 ? -static_cast<long long>(c) : c;
    const long long result = (product + divisor / 2) / divisor;
    return static_cast<int>(negative ? -result : result);
}

int QtDialogUnits::ToPixelsX(int units) const
{
    return MulDiv(units, m_nBaseX, 4);
}

int QtDialogUnits::ToPixelsY(int units) const
{
    return MulDiv(units, m_nBaseY, 8);
}

QRect QtDialogUnits::ToPixels(int x, int y, int cx, int cy) const
{
    return {ToPixelsX(x), ToPixelsY(y), ToPixelsX(cx), ToPixelsY(cy)};
}

} // namespace pemblor
