#include "components/single_instance.h"

#include <QDir>
#include <QFile>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace lumaset {

namespace {

const QByteArray kActivateRequest = QByteArrayLiteral("activate\n");
// The first copy's answer once its window has been asked forward: a later
// copy that hears nothing (the first is hung or stopped) starts on its own.
const QByteArray kActivatedAnswer = QByteArrayLiteral("activated\n");
// A request is one short line; anything longer is not from a copy of ours.
constexpr qsizetype kLongestRequest = 64;
// A first copy that has just taken the lock needs a moment before it listens;
// a later copy keeps knocking, and waits for the answer, for about five
// seconds in all.
constexpr int kAskingDeadlineMs = 5000;
constexpr int kPauseBetweenAttemptsMs = 100;
constexpr int kBacklog = 8;
// A copy of ours sends its line at once. Callers that say nothing are let go
// after a second, and no more than a few are heard at a time (the oldest
// gives way), so idle connections cannot take every descriptor the program has.
constexpr int kCallerDeadlineMs = 1000;
constexpr size_t kMostCallers = 16;
// With no descriptor left to accept one more caller, listening pauses this
// long instead of waking again at once for the caller still queued.
constexpr int kPauseWhenOutOfDescriptorsMs = 200;

// The socket's address; none when the path is too long for one.
std::optional<sockaddr_un> AddressOf(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  sockaddr_un address{};
  if (native.isEmpty() || native.size() >= static_cast<qsizetype>(sizeof(address.sun_path))) return std::nullopt;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
  return address;
}

// Sends the whole request, or says it could not.
bool SendAll(int fd, const QByteArray& bytes) {
  qsizetype sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += n;
  }
  return true;
}

// Waits until `fd` can be read or written, at most until `deadline`.
bool WaitFor(int fd, short events, const QDeadlineTimer& deadline) {
  pollfd watched{fd, events, 0};
  while (true) {
    const int n = ::poll(&watched, 1, static_cast<int>(deadline.remainingTime()));
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

enum class Asked { Answered, Unanswered, NotListening };

// One knock on the first copy's door: connect, send the request and wait for
// the answer, all before `deadline`.
Asked AskOnce(const sockaddr_un& address, const QDeadlineTimer& deadline) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Asked::NotListening;
  Asked result = Asked::NotListening;
  int connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (connected != 0 && errno == EAGAIN && WaitFor(fd, POLLOUT, deadline)) {
    int error = 0;
    socklen_t size = sizeof error;
    connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0 ? 0 : -1;
  }
  if (connected == 0) {
    result = Asked::Unanswered;
    QByteArray answer;
    bool sent = false;
    while (!sent || answer.size() < kActivatedAnswer.size()) {
      if (!WaitFor(fd, sent ? POLLIN : POLLOUT, deadline)) break;
      if (!sent) {
        sent = SendAll(fd, kActivateRequest);
        if (!sent) break;
        continue;
      }
      char buffer[16];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) break;
      answer.append(buffer, n);
    }
    if (answer.startsWith(kActivatedAnswer)) result = Asked::Answered;
  }
  ::close(fd);
  return result;
}

}  // namespace

// A later copy that has connected, and what it has sent so far.
struct SingleInstance::Caller {
  int fd = -1;
  QByteArray got;
  std::unique_ptr<QSocketNotifier> notifier;
  std::unique_ptr<QTimer> deadline;
};

QString SingleInstance::DefaultServerPath() {
  for (const QString& folder : {qEnvironmentVariable("XDG_RUNTIME_DIR"),
                                QDir::tempPath() + QStringLiteral("/lumaset-%1").arg(::geteuid())}) {
    if (folder.isEmpty()) continue;
    if (QString path = ServerPathIn(folder); !path.isEmpty()) return path;
  }
  return {};
}

// In a shared folder such as /tmp another user could make the folder first,
// hold the lock (so this program would end at once) and read what later
// copies send. lstat: a link to a folder of ours is refused as well.
QString SingleInstance::ServerPathIn(const QString& folder) {
  const QByteArray path = QFile::encodeName(folder);
  if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return {};
  struct stat facts {};
  if (::lstat(path.constData(), &facts) != 0) return {};
  if (!S_ISDIR(facts.st_mode) || facts.st_uid != ::geteuid() || (facts.st_mode & 07777) != 0700) return {};
  return folder + QStringLiteral("/Lumaset.instance");
}

SingleInstance::SingleInstance(QString serverPath, QObject* parent)
    : QObject(parent), serverPath_(std::move(serverPath)) {}

SingleInstance::~SingleInstance() {
  for (const auto& caller : callers_) {
    caller->notifier.reset();
    ::close(caller->fd);
  }
  // The socket goes before the lock, so that the next first copy never
  // meets a socket nobody listens on.
  if (serverFd_ >= 0) {
    listening_.reset();
    ::unlink(QFile::encodeName(serverPath_).constData());
    ::close(serverFd_);
  }
  if (lockFd_ >= 0) ::close(lockFd_);
}

bool SingleInstance::TryBecomePrimary() {
  if (lockFd_ >= 0 || !AddressOf(serverPath_)) return true;
  switch (takeLock()) {
    case Lock::Taken:
      listen();
      return true;
    case Lock::HeldByAnother:
      return !askPrimaryToComeForward();
    case Lock::Unusable:
      break;
  }
  return true;
}

bool SingleInstance::IsListening() const { return serverFd_ >= 0; }

// flock() rather than a lock file's mere existence: the kernel lets go of the
// lock when a copy crashes, so a stale lock never keeps the program out. The
// lock file itself is never removed, since removing it would let two copies
// lock two different files of the same name. A link at the lock's path is
// never followed, so the lock cannot be made to create or hold another file.
SingleInstance::Lock SingleInstance::takeLock() {
  const QByteArray lockPath = QFile::encodeName(serverPath_ + QStringLiteral(".lock"));
  const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Lock::Unusable;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? Lock::HeldByAnother : Lock::Unusable;
  }
  lockFd_ = fd;
  return Lock::Taken;
}

// Holding the lock makes any socket already at the path a leftover of a copy
// that crashed; it is removed so that listening can succeed.
void SingleInstance::listen() {
  const std::optional<sockaddr_un> address = AddressOf(serverPath_);
  const QByteArray native = QFile::encodeName(serverPath_);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ::unlink(native.constData());
  if (fd < 0 || !address || ::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
      ::chmod(native.constData(), S_IRWXU) != 0 || ::listen(fd, kBacklog) != 0) {
    qWarning("Later copies of the program cannot find this one: %s", std::strerror(errno));
    if (fd >= 0) ::close(fd);
    return;
  }
  serverFd_ = fd;
  listening_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(listening_.get(), &QSocketNotifier::activated, this, &SingleInstance::acceptConnections);
}

// Knocks until the first copy answers or the time is up. A copy that has
// only just taken the lock refuses the connection until it listens, and one
// that hangs up without answering may be busy with too many callers: both
// are tried again. One that takes the request and never answers is hung.
bool SingleInstance::askPrimaryToComeForward() const {
  const std::optional<sockaddr_un> address = AddressOf(serverPath_);
  const QDeadlineTimer deadline(kAskingDeadlineMs);
  while (address && !deadline.hasExpired()) {
    if (AskOnce(*address, deadline) == Asked::Answered) return true;
    QThread::msleep(static_cast<unsigned long>(std::min<qint64>(kPauseBetweenAttemptsMs, deadline.remainingTime())));
  }
  return false;
}

// Takes no more callers at a time than it holds: callers that keep coming
// would otherwise hold the window's thread here for as long as they come.
// Those still queued wake the listener again on the event loop's next turn.
void SingleInstance::acceptConnections() {
  for (size_t taken = 0; taken < kMostCallers; ++taken) {
    const int fd = ::accept4(serverFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) pauseListening();
      return;  // none waiting, or no room for another: it stays queued
    }
    if (callers_.size() >= kMostCallers) hangUp(*callers_.front());
    auto caller = std::make_unique<Caller>();
    caller->fd = fd;
    caller->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    caller->deadline = std::make_unique<QTimer>();
    caller->deadline->setSingleShot(true);
    Caller* held = caller.get();
    connect(caller->notifier.get(), &QSocketNotifier::activated, this, [this, held] { readRequest(*held); });
    connect(caller->deadline.get(), &QTimer::timeout, this, [this, held] { hangUp(*held); });
    caller->deadline->start(kCallerDeadlineMs);
    callers_.push_back(std::move(caller));
    readRequest(*held);
  }
}

void SingleInstance::pauseListening() {
  listening_->setEnabled(false);
  QTimer::singleShot(kPauseWhenOutOfDescriptorsMs, this, [this] {
    if (listening_) listening_->setEnabled(true);
  });
}

// Reads what has come; a whole first line that is the request brings the
// window forward and is answered. The caller is let go after its line, on
// its hanging up, when it sends more than a request can be, or at its deadline.
void SingleInstance::readRequest(Caller& caller) {
  char buffer[kLongestRequest + 1];
  while (true) {
    const ssize_t n = ::recv(caller.fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) return hangUp(caller);
    caller.got.append(buffer, n);
    if (const qsizetype end = caller.got.indexOf('\n'); end >= 0) {
      if (caller.got.left(end + 1) == kActivateRequest) {
        emit activationRequested();
        (void)SendAll(caller.fd, kActivatedAnswer);  // a few bytes: room in any socket's buffer
      }
      return hangUp(caller);
    }
    if (caller.got.size() > kLongestRequest) return hangUp(caller);
  }
}

void SingleInstance::hangUp(const Caller& caller) {
  const auto held = std::find_if(callers_.begin(), callers_.end(),
                                 [&caller](const std::unique_ptr<Caller>& c) { return c.get() == &caller; });
  if (held == callers_.end()) return;
  // Deleted later: this may be running inside its own notifier's signal.
  QSocketNotifier* notifier = (*held)->notifier.release();
  notifier->setEnabled(false);
  notifier->deleteLater();
  QTimer* deadline = (*held)->deadline.release();
  deadline->stop();
  deadline->deleteLater();
  ::close((*held)->fd);
  callers_.erase(held);
}

}  // namespace lumaset
