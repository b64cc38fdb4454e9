#pragma once

// A new message in the user's mail program, through the desktop's
// xdg-email: one call with the subject, the body, every attachment and the
// address, started with an argument list (no shell ever sees them).
//
// Some mail programs keep xdg-email running until their message window is
// closed, so a send never waits for it: once the program has started the
// caller goes on, and hears later how it ended.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include <sys/types.h>

#include "components/result.h"

class QTimer;

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

// What a user is told when the mail program ends with `exitCode`, by
// xdg-email's meaning of its codes.
QString MailProgramFailure(int exitCode);

class MailSender {
 public:
  // Told how a started mail program ended: success, or why it failed.
  using Ending = std::function<void(const Status&)>;

  // `program` is found on PATH when it has no folder.
  explicit MailSender(QString program = QStringLiteral("xdg-email"));
  // Stops listening; a mail program still open is left to the user.
  ~MailSender();
  MailSender(const MailSender&) = delete;
  MailSender& operator=(const MailSender&) = delete;

  // Starts the mail program and returns at once. Fails only when it cannot
  // start; otherwise `ended` is called from the event loop once it has ended.
  Status Send(const MailMessage& message, Ending ended = {});

  // Mail programs started and not yet ended.
  int running() const { return static_cast<int>(running_.size()); }

 private:
  struct Started {
    pid_t pid;
    Ending ended;
  };
  void CheckEnded();

  QString program_;
  std::vector<Started> running_;
  std::unique_ptr<QTimer> watch_;
};

}  // namespace lumaset
