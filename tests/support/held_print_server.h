#pragma once

// A print server that takes every connection and answers none, as one on a
// network that went away does, until it is told to answer: from then on
// each connection, those held so far too, goes through to the real
// scheduler's socket, until it is told to hold again. So that a program
// that waits for its answer still ends, it answers by itself after
// `holdSeconds` of holding and says so.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace lumaset::test {

class HeldPrintServer {
 public:
  HeldPrintServer(const QString& socket, QString upstream, int holdSeconds)
      : socket_(QFile::encodeName(socket)), upstream_(QFile::encodeName(upstream)), holdSeconds_(holdSeconds) {
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(socket_);
    ::unlink(socket_.constData());
    listening_ = listen_ >= 0 && ::bind(listen_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(listen_, 64) == 0 && ::pipe2(wake_, O_CLOEXEC) == 0;
    if (listening_) thread_ = std::thread([this] { Run(); });
  }
  ~HeldPrintServer() {
    stop_ = true;
    if (thread_.joinable()) {
      (void)::write(wake_[1], "x", 1);
      thread_.join();
    }
    for (const int fd : {listen_, wake_[0], wake_[1]})
      if (fd >= 0) ::close(fd);
    ::unlink(socket_.constData());
  }
  HeldPrintServer(const HeldPrintServer&) = delete;
  HeldPrintServer& operator=(const HeldPrintServer&) = delete;

  bool Listening() const { return listening_; }
  const QByteArray& Path() const { return socket_; }
  // Someone connected.
  bool Asked() const { return asked_; }
  void Answer() {
    answering_ = true;
    (void)::write(wake_[1], "x", 1);
  }
  // New connections are held again; those going through go on.
  void Hold() {
    deadline_ = Clock::now() + std::chrono::seconds(holdSeconds_);
    answering_ = false;
  }
  // Connections taken so far, and those still open (held or going through).
  int Taken() const { return taken_; }
  int Open() const { return open_; }
  // Nobody told it to answer within its time.
  bool AnsweredByItself() const { return byItself_; }

 private:
  static sockaddr_un Address(const QByteArray& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.left(sizeof address.sun_path - 1).toStdString().copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
  }

  // The held connections go through, each to a connection of its own.
  void PassHeldOn() {
    for (const int client : held_) {
      const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      const sockaddr_un address = Address(upstream_);
      if (server >= 0 && ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        pairs_.emplace_back(client, server);
      } else {
        ::close(client);
        if (server >= 0) ::close(server);
      }
    }
    held_.clear();
  }

  // Copies what one side sent to the other; false once either has closed.
  static bool Pass(int from, int to) {
    char buffer[16384];
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    for (ssize_t sent = 0; got > 0 && sent < got;) {
      const ssize_t wrote = ::write(to, buffer + sent, static_cast<size_t>(got - sent));
      if (wrote <= 0) return false;
      sent += wrote;
    }
    return got > 0;
  }

  using Clock = std::chrono::steady_clock;

  void Run() {
    while (!stop_) {
      if (!answering_ && Clock::now() >= deadline_.load()) byItself_ = answering_ = true;
      if (answering_) PassHeldOn();
      std::vector<pollfd> watched{{listen_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      for (const auto& [client, server] : pairs_) {
        watched.push_back({client, POLLIN, 0});
        watched.push_back({server, POLLIN, 0});
      }
      if (::poll(watched.data(), watched.size(), 100) <= 0) continue;
      if (watched[1].revents) {
        char drained[16];
        (void)::read(wake_[0], drained, sizeof drained);
      }
      if (watched[0].revents & POLLIN) {
        const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) held_.push_back(client), asked_ = true, ++taken_;
      }
      std::vector<std::pair<int, int>> open;
      for (std::size_t i = 0; i < pairs_.size(); ++i) {
        const auto [client, server] = pairs_[i];
        const bool fromClient = watched[2 + 2 * i].revents != 0;
        const bool fromServer = watched[3 + 2 * i].revents != 0;
        if ((fromClient && !Pass(client, server)) || (fromServer && !Pass(server, client))) {
          ::close(client);
          ::close(server);
        } else {
          open.emplace_back(client, server);
        }
      }
      pairs_ = std::move(open);
      open_ = static_cast<int>(held_.size() + pairs_.size());
    }
    for (const int client : held_) ::close(client);
    for (const auto& [client, server] : pairs_) ::close(client), ::close(server);
  }

  const QByteArray socket_;
  const QByteArray upstream_;
  const int holdSeconds_;
  int listen_ = -1;
  int wake_[2] = {-1, -1};
  bool listening_ = false;
  std::atomic<bool> asked_{false}, answering_{false}, byItself_{false}, stop_{false};
  std::atomic<Clock::time_point> deadline_{Clock::now() + std::chrono::seconds(holdSeconds_)};
  std::atomic<int> taken_{0}, open_{0};
  std::vector<int> held_;                   // used by the thread only
  std::vector<std::pair<int, int>> pairs_;  // used by the thread only
  std::thread thread_;
};

// A held print server in front of the scheduler that CUPS names as it is
// made: CUPS names the held one instead while it lives, when it listens.
class HeldInFront : public HeldPrintServer {
 public:
  HeldInFront(const QString& socket, int holdSeconds) : HeldInFront(socket, qgetenv("CUPS_SERVER"), holdSeconds) {}
  ~HeldInFront() { qputenv("CUPS_SERVER", scheduler_); }
  HeldInFront(const HeldInFront&) = delete;
  HeldInFront& operator=(const HeldInFront&) = delete;

 private:
  HeldInFront(const QString& socket, QByteArray scheduler, int holdSeconds)
      : HeldPrintServer(socket, QString::fromLocal8Bit(scheduler), holdSeconds), scheduler_(std::move(scheduler)) {
    if (Listening()) qputenv("CUPS_SERVER", Path());
  }

  const QByteArray scheduler_;
};

}  // namespace lumaset::test
