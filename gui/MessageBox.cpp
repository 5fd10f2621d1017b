#include "gui/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QList>

#include <utility>

namespace pemblor {

namespace {

// What the tests have set up, and the texts of the boxes answered so.
struct Seam {
    QList<MessageBox::Button> answers;
    QStringList shown;
    bool escapeUnanswered = false;
};

Seam& TestSeam()
{
    static Seam seam;
    return seam;
}

} // namespace

MessageBox::Button MessageBox::information(QWidget* parent, const QString& text, Buttons buttons)
{
    return show(parent, QMessageBox::NoIcon, text, buttons);
}

MessageBox::Button MessageBox::warning(QWidget* parent, const QString& text, Buttons buttons)
{
    return show(parent, QMessageBox::Warning, text, buttons);
}

MessageBox::Button MessageBox::question(QWidget* parent, const QString& text, Buttons buttons)
{
    return show(parent, QMessageBox::Question, text, buttons);
}

void MessageBox::setNextAnswer(Button answer)
{
    TestSeam().answers.append(answer);
}

QStringList MessageBox::takeShown()
{
    return std::exchange(TestSeam().shown, {});
}

void MessageBox::setEscapeUnanswered(bool on)
{
    TestSeam().escapeUnanswered = on;
}

void MessageBox::reset()
{
    TestSeam() = {};
}

MessageBox::Button MessageBox::EscapeAnswer(Buttons buttons)
{
    if (buttons.testFlag(QMessageBox::No))
        return QMessageBox::No;
    if (buttons.testFlag(QMessageBox::Cancel))
        return QMessageBox::Cancel;
    return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
}

MessageBox::Button MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& text, Buttons buttons)
{
    if (!TestSeam().answers.isEmpty()) {
        TestSeam().shown.append(text);
        return TestSeam().answers.takeFirst();
    }
    if (TestSeam().escapeUnanswered) {
        TestSeam().shown.append(text);
        return EscapeAnswer(buttons);
    }
    // The caption is the base name of the program's file, as on every box.
    const QString caption = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    // Enter takes the first button (Ok or Yes), Escape the other.
    box.setDefaultButton(buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    box.setEscapeButton(EscapeAnswer(buttons));
    return static_cast<Button>(box.exec());
}

} // namespace pemblor
