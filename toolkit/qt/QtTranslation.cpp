#include "toolkit/qt/QtTranslation.h"

#include "common/Translatable.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

namespace pemblor {

namespace {

// Qt's own texts on the tool's message boxes, kept in the tool's catalogue as
// well: the system's Qt translations are a separate package that may be
// missing.
[[maybe_unused]] constexpr const char* kQtTexts[] = {
    QT_TRANSLATE_NOOP("QPlatformTheme", "OK"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "Cancel"),
};

} // namespace

QString Translated(const char* text)
{
    return QCoreApplication::translate(kTextContext, text ? text : "");
}

QString Translated(const std::string& text)
{
    return Translated(text.c_str());
}

QString TranslatedMessage(const std::string& text)
{
    const QString source = QString::fromStdString(text);
    const QString whole = Translated(text);
    if (whole != source)
        return whole;
    static const QRegularExpression kNumber(QStringLiteral("-?[0-9]+"));
    for (auto numbers = kNumber.globalMatch(source); numbers.hasNext();) {
        const QRegularExpressionMatch number = numbers.next();
        QString format = source;
        format.replace(number.capturedStart(), number.capturedLength(), QStringLiteral("%d"));
        QString translated = Translated(format.toStdString());
        const auto at = translated.indexOf(QStringLiteral("%d"));
        if (translated != format && at >= 0)
            return translated.replace(at, 2, number.captured());
    }
    return source;
}

void InstallTranslations(QCoreApplication& app)
{
    const QLocale locale;
    auto* qt = new QTranslator(&app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    auto* own = new QTranslator(&app);
    if (own->load(locale, QStringLiteral("pemblor"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(own);
}

} // namespace pemblor
