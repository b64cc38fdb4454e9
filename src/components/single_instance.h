#pragma once

// Keeps the program to one running copy per user. The first copy holds an
// exclusive lock beside a local socket in a folder that is the user's alone
// and listens on that socket; a later copy finds the lock taken, asks the
// first copy through the socket to come forward, and then ends. Where no such
// folder can be had, every copy starts without the check: a second window is
// better than none, or than a lock another user could hold.

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QSocketNotifier;

namespace lumaset {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // The socket's path in the user's runtime folder or, without a usable one,
  // in a folder of the user's own in the temporary folder; "" when neither is
  // the user's alone. The lock is that path followed by ".lock".
  static QString DefaultServerPath();
  // The socket's path in `folder` when that is a real folder (no link) of
  // this user's with mode 0700, made so when missing; "" otherwise.
  static QString ServerPathIn(const QString& folder);

  explicit SingleInstance(QString serverPath = DefaultServerPath(), QObject* parent = nullptr);
  ~SingleInstance() override;
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // true: this copy is the one that runs (and, when it could, listens for
  // later copies). false: another copy runs and has been asked to come
  // forward, and has answered; the caller ends. A running copy that does not
  // answer within a few seconds (hung, stopped, or still starting) is given
  // up on and true is returned, so the user is never left with no window at
  // all; so is a server path of "" or a lock that cannot be opened safely.
  bool TryBecomePrimary();

  // Whether this copy is listening for later copies.
  bool IsListening() const;

 signals:
  // A later copy asked this one to restore and raise its window.
  void activationRequested();

 private:
  enum class Lock { Taken, HeldByAnother, Unusable };
  Lock takeLock();
  void listen();
  bool askPrimaryToComeForward() const;
  void acceptConnections();
  void pauseListening();
  struct Caller;
  void readRequest(Caller& caller);
  void hangUp(const Caller& caller);

  QString serverPath_;
  int lockFd_ = -1;
  int serverFd_ = -1;
  std::unique_ptr<QSocketNotifier> listening_;
  std::vector<std::unique_ptr<Caller>> callers_;
};

}  // namespace lumaset
