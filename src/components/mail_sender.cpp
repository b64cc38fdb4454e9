#include "components/mail_sender.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace lumaset {

QStringList MailArguments(const MailMessage& message) {
  QStringList arguments{QStringLiteral("--subject"), message.subject, QStringLiteral("--body"),
                        message.body};
  for (const QString& file : message.attachments) arguments << QStringLiteral("--attach") << file;
  if (!message.address.isEmpty()) {
    arguments << (message.address.startsWith(QLatin1Char('-'))
                      ? QStringLiteral("mailto:") + message.address
                      : message.address);
  }
  return arguments;
}

MailSender::MailSender(QString program, int timeLimitMs)
    : program_(std::move(program)), timeLimitMs_(timeLimitMs) {}

MailSender::~MailSender() {
  for (const auto& process : lingering_) {
    process->disconnect();
    if (process->state() != QProcess::NotRunning) {
      process->kill();
      process->waitForFinished(1000);
    }
  }
}

Status MailSender::Send(const MailMessage& message) {
  auto process = std::make_unique<QProcess>();
  process->setProgram(program_);
  process->setArguments(MailArguments(message));
  process->setStandardInputFile(QProcess::nullDevice());
  process->setProcessChannelMode(QProcess::ForwardedChannels);

  QEventLoop loop;
  QTimer limit;
  limit.setSingleShot(true);
  bool failedToStart = false;
  QObject::connect(process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
  QObject::connect(process.get(), &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) {
      failedToStart = true;
      loop.quit();
    }
  });
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  process->start();
  limit.start(timeLimitMs_);
  // Paint events run, the user's clicks and keys wait: nothing starts
  // another command while this one waits.
  if (!failedToStart) loop.exec(QEventLoop::ExcludeUserInputEvents);
  process->disconnect(&loop);

  if (failedToStart) {
    return Error{QStringLiteral("The mail program \"%1\" cannot be started: %2.")
                     .arg(program_, process->errorString())};
  }
  if (process->state() != QProcess::NotRunning) {
    lingering_.push_back(std::move(process));
    return Error{QStringLiteral("The mail program did not answer within %1 seconds.")
                     .arg(timeLimitMs_ / 1000)};
  }
  if (process->exitStatus() != QProcess::NormalExit)
    return Error{QStringLiteral("The mail program stopped unexpectedly.")};
  if (process->exitCode() != 0) {
    return Error{QStringLiteral("The mail program ended with status %1.").arg(process->exitCode())};
  }
  return Status::success();
}

}  // namespace lumaset
