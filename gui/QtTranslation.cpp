#include "gui/QtTranslation.h"

#include "common/Translatable.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <algorithm>

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

QString LabelName(QString text)
{
    text.remove(QLatin1Char('&'));
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(':')))
        text = text.chopped(1).trimmed();
    return text;
}

void ShowWarningLine(QLabel& label, const QString& text)
{
    label.setText(text);
    label.setAccessibleName(text);
    label.setVisible(!text.isEmpty());
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

void pemblor::FitButtonTexts(QWidget& window)
{
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        const int text = button->fontMetrics().horizontalAdvance(QString(button->text()).remove(QLatin1Char('&')));
        button->setMinimumWidth(std::max(button->sizeHint().width(), text + 2 * margin + 2 * frame));
    }
}
