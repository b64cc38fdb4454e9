#include "components/mail_sender.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "support/fake_mail_program.h"

namespace lumaset::test {
namespace {

TEST(MailSender, HandsEveryPartToTheMailProgramAsItsOwnArgument) {
  FakeMailProgram fake;
  MailSender sender;
  const MailMessage message{QStringLiteral("ann@example.org"), QStringLiteral("Photo(s) attached"),
                            QStringLiteral("Hi; $(rm -rf ~) `x`"),
                            {QStringLiteral("/tmp/a b.jpg"), QStringLiteral("/tmp/it's.png")}};
  bool eventsRan = false;
  QTimer::singleShot(0, [&] { eventsRan = true; });
  ASSERT_TRUE(sender.Send(message));
  EXPECT_TRUE(eventsRan);  // the window kept painting while it waited
  EXPECT_EQ(fake.arguments(),
            (QStringList{"--subject", "Photo(s) attached", "--body", "Hi; $(rm -rf ~) `x`", "--attach",
                         "/tmp/a b.jpg", "--attach", "/tmp/it's.png", "ann@example.org"}));

  // No address: no recipient yet. One that reads as an option goes as an address.
  ASSERT_TRUE(sender.Send({{}, QStringLiteral("s"), QStringLiteral("b"), {}}));
  EXPECT_EQ(fake.arguments(), (QStringList{"--subject", "s", "--body", "b"}));
  ASSERT_TRUE(sender.Send({QStringLiteral("--help"), QStringLiteral("s"), QStringLiteral("b"), {}}));
  EXPECT_EQ(fake.arguments().last(), "mailto:--help");
  EXPECT_EQ(fake.calls(), 3);
}

TEST(MailSender, FailsOnAStatusAMissingProgramAndTheTimeLimit) {
  FakeMailProgram fake;
  fake.setStatus(3);
  const Status refused = MailSender().Send({});
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.error().contains(QLatin1String("3"))) << refused.error().toStdString();

  EXPECT_FALSE(MailSender(QStringLiteral("no-such-mail-program")).Send({}));

  fake.setStatus(0);
  fake.setHanging();
  MailSender patient(QStringLiteral("xdg-email"), 200);
  EXPECT_FALSE(patient.Send({}));
}

}  // namespace
}  // namespace lumaset::test
