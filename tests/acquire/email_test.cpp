#include "acquire/email.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QApplication>
#include <QImage>
#include <QInputDialog>
#include <QTimer>
#include <QImageReader>

#include <chrono>
#include <filesystem>
#include <memory>

#include "components/mail_sender.h"
#include "components/settings_store.h"
#include "frame/general.h"
#include "frame/settings.h"
#include "support/fake_mail_program.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

class FakeEmailHost : public EmailHost {
 public:
  std::optional<QString> AskAddress(const QString& prompt, const QString& current) override {
    prompts << prompt + QLatin1Char('|') + current;
    return answer;
  }
  void ShowError(const QString& text) override { errors << text; }
  void SetBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
  void LetEventsRun() override {}

  std::optional<QString> answer;
  QStringList prompts, errors;
  int busyDepth = 0;
};

class EmailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = freshFolder(QStringLiteral("email")) + QLatin1Char('/');
    copies_ = root_ + QStringLiteral("cache/Email/");
    settings_ = std::make_unique<SettingsStore>(QStringLiteral("Lumaset"), root_ + QStringLiteral("s.conf"));
    options_.reduce = 640;
    commands_ = std::make_unique<EmailCommands>(host_, list_, options_, *settings_, mail_, copies_);
  }
  QString picture(const QString& path, int width, int height) {
    QDir().mkpath(QFileInfo(root_ + path).path());
    EXPECT_TRUE(WritePicture(root_ + path, width, height));
    return root_ + path;
  }
  // Sends the list and lets the mail program end.
  void SendAndWait() {
    commands_->mnuFileEmailSend_Click();
    ASSERT_TRUE(RunUntil([this] { return mail_.running() == 0; }));
  }
  QStringList attachments() const {
    QStringList files;
    const QStringList arguments = mail_program_.arguments();
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i)
      if (arguments[i] == QLatin1String("--attach")) files << arguments[i + 1];
    return files;
  }

  FakeMailProgram mail_program_;
  QString root_, copies_;
  std::unique_ptr<SettingsStore> settings_;
  Options options_;
  EmailList list_;
  FakeEmailHost host_;
  MailSender mail_;
  std::unique_ptr<EmailCommands> commands_;
};

TEST(EmailMenu, FollowsTheListTheSelectionAndTheReduceSetting) {
  EmailList list;
  const QString a = QStringLiteral("/p/a.jpg");
  EmailMenuState state = FileMenuState(list, std::nullopt, false);
  EXPECT_EQ((std::vector<bool>{state.fileOptionsEnabled, state.emailEnabled}), std::vector<bool>(2, false));
  EXPECT_EQ(state.emailCaption, "Email Selected Photos");
  EXPECT_EQ(state.addCaption, "Add to Email List");

  for (const char* file : {"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"}) list.toggle(QLatin1String(file));
  state = FileMenuState(list, a, true);
  EXPECT_EQ((std::vector<bool>{state.fileOptionsEnabled, state.emailEnabled, state.reduceChecked, state.addChecked}),
            std::vector<bool>(4, true));
  EXPECT_EQ(state.emailCaption, "Email Selected Photos (3)");
  EXPECT_EQ(state.addCaption, "Added to Email List");
  EXPECT_FALSE(FileMenuState(list, QStringLiteral("/p/A.jpg"), false).addChecked);  // exact
  EXPECT_FALSE(FileMenuState(list, std::nullopt, false).addChecked);

  list.toggle(a);  // a second choice takes it off again
  EXPECT_EQ(list.files(), (QStringList{"/p/b.jpg", "/p/c.jpg"}));
}

TEST(EmailReduce, SizesOfTheReducedCopies) {
  struct Case { int width, height; float limit; std::optional<int> size; };
  const Case cases[] = {
      {1280, 960, 640, 640}, {960, 1280, 640, 480}, {640, 640, 640, std::nullopt},
      {1000, 1000, 640, 640}, {641, 10, 640, 640}, {10, 641, 1280, std::nullopt},
      {3000, 4000, 1282, 962},  // 961.5 rounds to even
      {3000, 4000, 1278, 958},  // 958.5 as well
      {1, 100000, 640, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReducedSize(c.width, c.height, c.limit), c.size) << c.width << "x" << c.height;
}

TEST(EmailAddressPrompt, OffersTheLastAddressAndTellsCancelApart) {
  for (const bool accept : {true, false}) {
    QString offered;
    QString accessible;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      offered = box->textValue();
      accessible = box->accessibleName();
      box->setTextValue(QStringLiteral("bob@example.org"));
      accept ? box->accept() : box->reject();
    });
    const auto answer = InputBox(nullptr, QStringLiteral("Lumaset"),
                                        QStringLiteral("Enter Email address or alias:"),
                                        QStringLiteral("ann@example.org"));
    EXPECT_EQ(offered, "ann@example.org");
    EXPECT_EQ(accessible, "Enter Email address or alias:");
    EXPECT_EQ(answer, accept ? std::optional<QString>(QStringLiteral("bob@example.org")) : std::nullopt);
  }
}

TEST_F(EmailTest, SendsTheListAsItIsWithThePartsTexts) {
  // An empty list sends nothing, whoever asks.
  commands_->mnuFileEmailSend_Click();
  EXPECT_TRUE(host_.prompts.isEmpty());
  EXPECT_EQ(mail_.running() + mail_program_.calls(), 0);

  const QString a = picture(QStringLiteral("one/a.jpg"), 2000, 1500);
  const QString b = picture(QStringLiteral("two/b.png"), 30, 20);
  commands_->mnuFileOptionsEmail_Click(a);
  commands_->mnuFileOptionsEmail_Click(b);
  host_.answer = QStringLiteral("ann@example.org\r\n");
  SendAndWait();

  EXPECT_EQ(host_.prompts, QStringList{"Enter Email address or alias:|"});
  EXPECT_EQ(mail_program_.arguments(),
            (QStringList{"--subject", "Photo(s) attached", "--body", "I hope you like the attached photo(s)!",
                         "--attach", a, "--attach", b, "ann@example.org"}));
  EXPECT_EQ(list_.count(), 0);
  EXPECT_EQ(host_.busyDepth, 0);
  EXPECT_TRUE(host_.errors.isEmpty());

  // The next prompt offers the address used last; a cancelled one still sends.
  commands_->mnuFileOptionsEmail_Click(a);
  host_.answer.reset();
  SendAndWait();
  EXPECT_EQ(host_.prompts.last(), "Enter Email address or alias:|ann@example.org");
  EXPECT_EQ(mail_program_.arguments().last(), a);
  EXPECT_EQ(mail_program_.calls(), 2);
}

TEST_F(EmailTest, ReducedCopiesGetPrivateUniqueNamesAndGoAgain) {
  commands_->mnuFileEmailReduce_Click();
  EXPECT_TRUE(options_.genReduce);
  EXPECT_EQ(settings_->readSetting(QStringLiteral("GenReduce"), "unset"), "True");
  const QString wide = picture(QStringLiteral("one/holiday.png"), 1280, 960);
  const QString tall = picture(QStringLiteral("two/holiday.png"), 960, 1280);
  const QString small = picture(QStringLiteral("two/small.jpg"), 640, 640);
  for (const QString& file : {wide, tall, small}) commands_->mnuFileOptionsEmail_Click(file);
  SendAndWait();

  ASSERT_TRUE(host_.errors.isEmpty()) << host_.errors.join(QLatin1Char('|')).toStdString();
  const QStringList sent = attachments();
  ASSERT_EQ(sent.size(), 3);
  const QString folder = QFileInfo(sent[0]).path() + QLatin1Char('/');
  EXPECT_EQ(QFileInfo(QFileInfo(sent[0]).path()).path() + QLatin1Char('/'), copies_);
  EXPECT_EQ(sent[0], folder + QStringLiteral("holiday.png"));
  EXPECT_EQ(sent[1], folder + QStringLiteral("holiday (2).png"));
  EXPECT_EQ(sent[2], small);
  EXPECT_EQ(QImageReader(sent[0]).size(), QSize(640, 480));
  EXPECT_EQ(QImageReader(sent[1]).size(), QSize(360, 480));
  EXPECT_EQ(QImageReader(sent[0]).format(), "jpeg");
  for (const QString& made : {copies_, folder})
    EXPECT_EQ(QFileInfo(made).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
  EXPECT_EQ(QImageReader(wide).size(), QSize(1280, 960));  // the pictures themselves are untouched

  // A mail program may read them only when its message goes: the next
  // send leaves them, its own copies go to a folder of their own.
  commands_->mnuFileOptionsEmail_Click(wide);
  SendAndWait();
  ASSERT_EQ(attachments().size(), 1);
  EXPECT_NE(QFileInfo(attachments()[0]).path() + QLatin1Char('/'), folder);
  EXPECT_TRUE(QFile::exists(sent[0]));
  EXPECT_TRUE(QFile::exists(sent[1]));
}

TEST_F(EmailTest, ALaterStartRemovesOnlyCopiesADayOld) {
  namespace fs = std::filesystem;
  const QString old = copies_ + QStringLiteral("send-old/");
  const QString fresh = copies_ + QStringLiteral("send-new/");
  const QString kept = root_ + QStringLiteral("kept/");
  for (const QString& folder : {old, fresh, kept})
    ASSERT_TRUE(QDir().mkpath(folder) && WriteText(folder + QStringLiteral("a.jpg"), "x"));
  ASSERT_TRUE(QFile::link(root_ + QStringLiteral("kept"), copies_ + QStringLiteral("send-link")));
  const auto day = std::chrono::hours(24);
  const auto now = fs::file_time_type::clock::now();
  for (const QString& folder : {old, root_ + QStringLiteral("kept")})
    fs::last_write_time(QFile::encodeName(folder).toStdString(), now - 2 * day);

  RemoveOldEmailCopies(copies_, QDateTime::currentDateTime().addDays(-1));
  EXPECT_FALSE(QFileInfo::exists(old));
  EXPECT_TRUE(QFile::exists(fresh + QStringLiteral("a.jpg")));
  EXPECT_TRUE(QFile::exists(kept + QStringLiteral("a.jpg"))) << "a link is never followed";
}

TEST_F(EmailTest, AMailProgramThatStaysOpenLetsTheWindowGoOn) {
  mail_program_.hold();
  commands_->mnuFileOptionsEmail_Click(picture(QStringLiteral("a.jpg"), 10, 10));
  commands_->mnuFileEmailSend_Click();
  EXPECT_EQ(mail_.running(), 1) << "the command came back while the mail program runs";
  EXPECT_EQ(list_.count(), 0);
  EXPECT_EQ(host_.busyDepth, 0);

  mail_program_.release();
  ASSERT_TRUE(RunUntil([this] { return mail_.running() == 0; }));
  EXPECT_TRUE(host_.errors.isEmpty());
}

TEST_F(EmailTest, AReducedCopyStandsAsTheOrientationTagSays) {
  // Tagged "turn a quarter clockwise to view".
  const QString turned = root_ + QStringLiteral("turned.jpg");
  ASSERT_TRUE(WriteOrientedJpeg(turned, Quarters(1600, 1200), 6));
  options_.genReduce = true;
  commands_->mnuFileOptionsEmail_Click(turned);
  SendAndWait();
  ASSERT_EQ(attachments().size(), 1);
  const QImage copy(attachments()[0]);
  EXPECT_EQ(copy.size(), QSize(360, 480));
  EXPECT_EQ(CornerColours(copy), "BRWG");
}

TEST_F(EmailTest, AFailureSaysSoAndEmptiesTheList) {
  options_.genReduce = true;
  const QString broken = root_ + QStringLiteral("broken.jpg");
  WriteText(broken, "\xFF\xD8\xFF not really a picture");
  commands_->mnuFileOptionsEmail_Click(broken);
  commands_->mnuFileEmailSend_Click();
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_TRUE(host_.errors[0].startsWith(QLatin1String("Error emailing photo!")));
  EXPECT_EQ(mail_program_.calls(), 0);
  EXPECT_EQ(list_.count(), 0);

  // The mail program's own failure is told once it has ended.
  mail_program_.setStatus(3);
  commands_->mnuFileOptionsEmail_Click(picture(QStringLiteral("a.jpg"), 10, 10));
  SendAndWait();
  ASSERT_EQ(host_.errors.size(), 2);
  EXPECT_EQ(host_.errors[1], "Error emailing photo!\n\nNo e-mail program is set up on this computer. Choose one "
                             "as the desktop's default e-mail program, then send again.");
  EXPECT_EQ(list_.count(), 0);
  EXPECT_EQ(host_.busyDepth, 0);

  // A disk too full for the reduced copy.
  commands_->mnuFileOptionsEmail_Click(picture(QStringLiteral("big.jpg"), 1600, 1200));
  {
    FileSizeLimit full(16);
    commands_->mnuFileEmailSend_Click();
  }
  ASSERT_EQ(host_.errors.size(), 3);
  EXPECT_TRUE(host_.errors[2].endsWith(QLatin1String(": File too large"))) << host_.errors[2].toStdString();
  EXPECT_EQ(QDir(copies_).entryList(QDir::Files | QDir::Hidden), QStringList());
}

}  // namespace
}  // namespace lumaset::test
