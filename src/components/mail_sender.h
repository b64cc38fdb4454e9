#pragma once

// A new message in the user's mail program, through the desktop's
// xdg-email: one call with the subject, the body, every attachment and the
// address, started with an argument list (no shell ever sees them). The
// caller waits with a time limit while its window keeps painting.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "components/result.h"

class QProcess;

namespace lumaset {

struct MailMessage {
  QString address;  // may be empty: the message then has no recipient yet
  QString subject;
  QString body;
  QStringList attachments;  // full paths
};

// The arguments of the xdg-email call for `message`:
// --subject S --body B --attach F1 --attach F2 ... ADDRESS. An address that
// would read as an option is passed as a mailto: address instead.
QStringList MailArguments(const MailMessage& message);

class MailSender {
 public:
  static constexpr int kDefaultTimeLimitMs = 60'000;

  // `program` is found on PATH when it has no folder.
  explicit MailSender(QString program = QStringLiteral("xdg-email"),
                      int timeLimitMs = kDefaultTimeLimitMs);
  ~MailSender();
  MailSender(const MailSender&) = delete;
  MailSender& operator=(const MailSender&) = delete;

  // Starts the mail program and lets window events other than the user's
  // input run until it has ended or the time limit has passed. Fails when it
  // cannot start, ends with a non-zero status, or is still running at the
  // limit (it is then left to finish on its own).
  Status Send(const MailMessage& message);

 private:
  QString program_;
  int timeLimitMs_;
  std::vector<std::unique_ptr<QProcess>> lingering_;  // still running after their limit
};

}  // namespace lumaset
