#include "components/mail_sender.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/fake_mail_program.h"

namespace lumaset::test {
namespace {

// Sends `message` and waits for the mail program to end; its outcome.
std::optional<Status> SendAndWait(MailSender& sender, const MailMessage& message) {
  std::optional<Status> ended;
  if (const Status started = sender.Send(message, [&](const Status& outcome) { ended = outcome; }); !started)
    return started;
  EXPECT_TRUE(RunUntil([&] { return ended.has_value(); }));
  return ended;
}

TEST(MailSender, HandsEveryPartToTheMailProgramAsItsOwnArgument) {
  FakeMailProgram fake;
  MailSender sender;
  const MailMessage message{QStringLiteral("ann@example.org"), QStringLiteral("Photo(s) attached"),
                            QStringLiteral("Hi; $(rm -rf ~) `x`"),
                            {QStringLiteral("/tmp/a b.jpg"), QStringLiteral("/tmp/it's.png")}};
  ASSERT_TRUE(SendAndWait(sender, message).value());
  EXPECT_EQ(fake.arguments(),
            (QStringList{"--subject", "Photo(s) attached", "--body", "Hi; $(rm -rf ~) `x`", "--attach",
                         "/tmp/a b.jpg", "--attach", "/tmp/it's.png", "ann@example.org"}));

  // No address: no recipient yet. One that reads as an option goes as an address.
  ASSERT_TRUE(SendAndWait(sender, {{}, QStringLiteral("s"), QStringLiteral("b"), {}}).value());
  EXPECT_EQ(fake.arguments(), (QStringList{"--subject", "s", "--body", "b"}));
  ASSERT_TRUE(SendAndWait(sender, {QStringLiteral("--help"), QStringLiteral("s"), QStringLiteral("b"), {}}).value());
  EXPECT_EQ(fake.arguments().last(), "mailto:--help");
  EXPECT_EQ(fake.calls(), 3);
}

TEST(MailSender, NeverWaitsForAMailProgramThatStaysOpen) {
  FakeMailProgram fake;
  fake.hold();
  MailSender sender;
  std::optional<Status> ended;
  ASSERT_TRUE(sender.Send({}, [&](const Status& outcome) { ended = outcome; }));
  EXPECT_EQ(sender.running(), 1);
  EXPECT_FALSE(ended.has_value());

  fake.release();
  ASSERT_TRUE(RunUntil([&] { return ended.has_value(); }));
  EXPECT_TRUE(*ended);
  EXPECT_EQ(sender.running(), 0);
}

TEST(MailSender, TellsWhatEachFailureMeans) {
  FakeMailProgram fake;
  MailSender sender;
  struct Case { int status; const char* says; };
  const Case cases[] = {
      {1, "The desktop's e-mail helper did not understand the request."},
      {2, "One of the pictures to attach no longer exists. Add the pictures to the list again and send once more."},
      {3, "No e-mail program is set up on this computer. Choose one as the desktop's default e-mail program, "
          "then send again."},
      {4, "The e-mail program could not open a new message. Start the e-mail program once by itself to check "
          "that it works, then send again."},
      {5, "One of the pictures to attach cannot be read: you have no permission to read it."},
      {9, "The e-mail program ended with status 9."},
      {-1, "The e-mail program stopped unexpectedly."},
  };
  for (const Case& c : cases) {
    if (c.status < 0) {
      fake.setCrashing();
    } else {
      fake.setStatus(c.status);
    }
    const std::optional<Status> ended = SendAndWait(sender, {});
    ASSERT_TRUE(ended.has_value());
    ASSERT_FALSE(*ended);
    EXPECT_EQ(ended->error(), QLatin1String(c.says));
  }

  // A program that cannot start fails at once, and is never heard of again.
  bool told = false;
  const Status missing = MailSender(QStringLiteral("no-such-mail-program")).Send({}, [&](const Status&) { told = true; });
  ASSERT_FALSE(missing);
  EXPECT_TRUE(missing.error().contains(QLatin1String("no-such-mail-program")));
  EXPECT_FALSE(told);
}

}  // namespace
}  // namespace lumaset::test
