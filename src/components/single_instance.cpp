#include "components/single_instance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <utility>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

namespace lumaset {

namespace {

const QByteArray kActivateRequest = QByteArrayLiteral("activate\n");
// A request is one short line; anything longer is not from a copy of ours.
constexpr qint64 kLongestRequest = 64;
// A first copy that has just taken the lock needs a moment before it listens;
// a later copy keeps knocking for about five seconds.
constexpr int kConnectAttempts = 25;
constexpr int kConnectTimeoutMs = 100;
constexpr int kPauseBetweenAttemptsMs = 100;
constexpr int kWriteTimeoutMs = 1000;

}  // namespace

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
  // The socket goes before the lock, so that the next first copy never
  // meets a socket nobody listens on.
  if (server_) server_->close();
  if (lockFd_ >= 0) ::close(lockFd_);
}

bool SingleInstance::TryBecomePrimary() {
  if (lockFd_ >= 0 || serverPath_.isEmpty()) return true;
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

bool SingleInstance::IsListening() const { return server_ && server_->isListening(); }

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
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QLocalServer::removeServer(serverPath_);
  if (!server_->listen(serverPath_)) {
    qWarning("Later copies of the program cannot find this one: %s",
             qPrintable(server_->errorString()));
    return;
  }
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

bool SingleInstance::askPrimaryToComeForward() const {
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    QLocalSocket socket;
    socket.connectToServer(serverPath_);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
      socket.write(kActivateRequest);
      const bool sent = socket.waitForBytesWritten(kWriteTimeoutMs) || socket.bytesToWrite() == 0;
      socket.disconnectFromServer();
      if (sent) return true;
    }
    QThread::msleep(kPauseBetweenAttemptsMs);
  }
  return false;
}

void SingleInstance::acceptConnections() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    readRequest(socket);
  }
}

void SingleInstance::readRequest(QLocalSocket* socket) {
  if (socket->canReadLine()) {
    const QByteArray line = socket->readLine(kLongestRequest + 1);
    if (line == kActivateRequest) emit activationRequested();
    socket->disconnectFromServer();
  } else if (socket->bytesAvailable() > kLongestRequest) {
    socket->abort();
  }
}

}  // namespace lumaset
