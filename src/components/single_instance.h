#pragma once

// Keeps the program to one running copy per user. The first copy holds an
// exclusive lock beside a local socket in the user's runtime folder and
// listens on that socket; a later copy finds the lock taken, asks the first
// copy through the socket to come forward, and then ends.

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace lumaset {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // The socket's path in the user's runtime folder; the lock is that path
  // followed by ".lock".
  static QString DefaultServerPath();

  explicit SingleInstance(QString serverPath = DefaultServerPath(), QObject* parent = nullptr);
  ~SingleInstance() override;
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // true: this copy is the one that runs (and, when it could, listens for
  // later copies). false: another copy runs and has been asked to come
  // forward; the caller ends. A running copy that cannot be reached (hung,
  // or still starting after several seconds) is given up on and true is
  // returned, so the user is never left with no window at all.
  bool TryBecomePrimary();

  // Whether this copy is listening for later copies.
  bool IsListening() const;

 signals:
  // A later copy asked this one to restore and raise its window.
  void activationRequested();

 private:
  bool takeLock();
  void listen();
  bool askPrimaryToComeForward() const;
  void acceptConnections();
  void readRequest(QLocalSocket* socket);

  QString serverPath_;
  int lockFd_ = -1;
  QLocalServer* server_ = nullptr;
};

}  // namespace lumaset
