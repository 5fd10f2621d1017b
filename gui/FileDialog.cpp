#include "gui/FileDialog.h"

#include <QFileDialog>
#include <QStringList>

namespace pemblor {

namespace {

QStringList& NextNames()
{
    static QStringList names;
    return names;
}

} // namespace

QString FileDialog::getSaveFileName(QWidget* parent, const QString& caption, const QString& suggestedName,
                                    const QString& filter)
{
    if (!NextNames().isEmpty())
        return NextNames().takeFirst();
    return QFileDialog::getSaveFileName(parent, caption, suggestedName, filter);
}

void FileDialog::setNextFileName(const QString& name)
{
    NextNames().append(name);
}

void FileDialog::reset()
{
    NextNames().clear();
}

} // namespace pemblor
