#include "gui/MessageBox.h"

#include <gtest/gtest.h>

namespace pemblor {
namespace {

// Queued answers are taken one per box, in order, and the boxes they answer
// are not shown but kept for the test to read.
TEST(MessageBoxTest, QueuedAnswersAreTakenInOrderAndTheirTextsKept)
{
    MessageBox::reset();
    MessageBox::setNextAnswer(QMessageBox::No);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    EXPECT_EQ(MessageBox::question(nullptr, QStringLiteral("Restart?")), QMessageBox::No);
    EXPECT_EQ(MessageBox::warning(nullptr, QStringLiteral("Time Out!")), QMessageBox::Ok);
    EXPECT_EQ(MessageBox::takeShown(), (QStringList{QStringLiteral("Restart?"), QStringLiteral("Time Out!")}));
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
}

} // namespace
} // namespace pemblor
