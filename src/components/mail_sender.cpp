#include "components/mail_sender.h"

#include <QFile>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <cstring>
#include <utility>

extern char** environ;

namespace lumaset {

namespace {

constexpr int kWatchIntervalMs = 250;

QString SystemErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

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

QString MailProgramFailure(int exitCode) {
  switch (exitCode) {
    case 1:
      return QStringLiteral("The desktop's e-mail helper did not understand the request.");
    case 2:
      return QStringLiteral(
          "One of the pictures to attach no longer exists. Add the pictures to the list again and "
          "send once more.");
    case 3:
      return QStringLiteral(
          "No e-mail program is set up on this computer. Choose one as the desktop's default "
          "e-mail program, then send again.");
    case 4:
      return QStringLiteral(
          "The e-mail program could not open a new message. Start the e-mail program once by "
          "itself to check that it works, then send again.");
    case 5:
      return QStringLiteral(
          "One of the pictures to attach cannot be read: you have no permission to read it.");
    default:
      return QStringLiteral("The e-mail program ended with status %1.").arg(exitCode);
  }
}

MailSender::MailSender(QString program) : program_(std::move(program)) {}

// The children are not waited for: a message window still open stays open,
// and the system takes the ended ones once the program has gone.
MailSender::~MailSender() = default;

Status MailSender::Send(const MailMessage& message, Ending ended) {
  std::vector<QByteArray> parts{QFile::encodeName(program_)};
  for (const QString& argument : MailArguments(message)) parts.push_back(argument.toUtf8());
  std::vector<char*> argv;
  for (QByteArray& part : parts) argv.push_back(part.data());
  argv.push_back(nullptr);

  // The mail program starts with nothing to read and every signal as the
  // system gives it, whatever this program has changed for itself.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    return Error{QStringLiteral("The mail program \"%1\" cannot be started: %2.")
                     .arg(program_, SystemErrorText(failed))};
  }

  running_.push_back({pid, std::move(ended)});
  if (!watch_) {
    watch_ = std::make_unique<QTimer>();
    watch_->setInterval(kWatchIntervalMs);
    QObject::connect(watch_.get(), &QTimer::timeout, [this] { CheckEnded(); });
  }
  watch_->start();
  return Status::success();
}

void MailSender::CheckEnded() {
  std::vector<std::pair<Ending, Status>> ended;
  for (auto child = running_.begin(); child != running_.end();) {
    int status = 0;
    const pid_t got = waitpid(child->pid, &status, WNOHANG);
    if (got == 0) {
      ++child;
      continue;
    }
    Status outcome = Status::success();
    if (got != child->pid || !WIFEXITED(status)) {
      outcome = Error{QStringLiteral("The e-mail program stopped unexpectedly.")};
    } else if (WEXITSTATUS(status) != 0) {
      outcome = Error{MailProgramFailure(WEXITSTATUS(status))};
    }
    if (child->ended) ended.emplace_back(std::move(child->ended), outcome);
    child = running_.erase(child);
  }
  if (running_.empty()) watch_->stop();
  // Told last: a listener may well start another send.
  for (const auto& [tell, outcome] : ended) tell(outcome);
}

}  // namespace lumaset
