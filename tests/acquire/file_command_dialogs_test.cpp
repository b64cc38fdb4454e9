#include "acquire/file_command_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace lumaset {
namespace {

// Runs `act` on the modal box once it is up.
void OnModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act = std::move(act)] { act(QApplication::activeModalWidget()); });
}

TEST(FileCommandDialogs, BoxesCarryTheTitleAndNameTheirField) {
  const FileCommandDialogs dialogs(nullptr, QStringLiteral("Lumaset"));
  OnModal([](QWidget* box) {
    auto* input = qobject_cast<QInputDialog*>(box);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->windowTitle(), "Lumaset");
    auto* field = input->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->accessibleName(), "Enter new file name:");
    EXPECT_EQ(field->text(), "img1.jpg");
    field->setText(QStringLiteral("beach"));
    input->accept();
  });
  EXPECT_EQ(dialogs.AskText(QStringLiteral("Enter new file name:\n\n(more)"), QStringLiteral("img1.jpg")), "beach");

  OnModal([](QWidget* box) {
    auto* question = qobject_cast<QMessageBox*>(box);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->icon(), QMessageBox::Question);
    question->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(dialogs.AskYesNo(QStringLiteral("Do you wish to send <a.jpg> to the recycle bin?")));
}

}  // namespace
}  // namespace lumaset
