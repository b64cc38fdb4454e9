#include "components/print_server.h"

#include <QMetaObject>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace lumaset {

namespace {

// A job still being handed over when the program ends gets this long.
constexpr auto kSendingAtExit = std::chrono::seconds(5);

// Whoever waits for an answer, while it is there: the answer is posted to
// it under the lock that its going away takes too.
struct Receiver {
  std::mutex mutex;
  QObject* object = nullptr;

  void Post(std::function<void()> answer) {
    const std::lock_guard lock(mutex);
    if (object) QMetaObject::invokeMethod(object, std::move(answer), Qt::QueuedConnection);
  }
  bool There() {
    const std::lock_guard lock(mutex);
    return object != nullptr;
  }
};

std::shared_ptr<Receiver> ReceiverOf(QObject* object) {
  auto receiver = std::make_shared<Receiver>();
  receiver->object = object;
  QObject::connect(object, &QObject::destroyed, [receiver] {
    const std::lock_guard lock(receiver->mutex);
    receiver->object = nullptr;
  });
  return receiver;
}

// Runs `ask` on a thread of its own that nothing waits for; the function it
// returns then runs on the thread of `receiver`, unless `receiver` is gone
// by then.
void AskAway(std::shared_ptr<Receiver> receiver, std::function<std::function<void()>()> ask) {
  std::thread([receiver = std::move(receiver), ask = std::move(ask)] {
    if (!receiver->There()) return;
    receiver->Post(ask());
  }).detach();
}

}  // namespace

// Without a default, any printer at all is better than refusing to print.
QString DefaultQueue() {
  const QString named = QPrinterInfo::defaultPrinterName();
  if (!named.isEmpty()) return named;
  const QStringList queues = QPrinterInfo::availablePrinterNames();
  return queues.isEmpty() ? QString() : queues.constFirst();
}

QString PrintServerSilent() { return QStringLiteral("The print server does not answer."); }

QString PrinterNoLongerThere(const QString& queue) {
  return QStringLiteral("The printer %1 is no longer there.").arg(queue);
}

std::unique_ptr<QPrinter> MakePrinterFor(const QString& queue) {
  if (queue.isEmpty()) return nullptr;
  const QPrinterInfo info = QPrinterInfo::printerInfo(queue);
  if (info.isNull()) return nullptr;
  auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  if (!printer->isValid() || printer->outputFormat() != QPrinter::NativeFormat) return nullptr;
  if (info.defaultPageSize().isValid()) printer->setPageSize(info.defaultPageSize());
  return printer;
}

void FindPrinterAway(QObject* receiver, std::function<void(const std::shared_ptr<FoundPrinter>&)> found) {
  AskAway(ReceiverOf(receiver), [found = std::move(found)]() -> std::function<void()> {
    auto result = std::make_shared<FoundPrinter>();
    result->queue = DefaultQueue();
    result->printer = MakePrinterFor(result->queue);
    if (!result->printer) return [] {};
    return [found, result] { found(result); };
  });
}

// Jobs waiting to be handed over, and whether a thread is handing them;
// the receiver takes the jobs' answers and the questions' alike.
struct ThreadedPrintServer::Sending {
  std::shared_ptr<Receiver> receiver;
  std::mutex mutex;
  std::condition_variable idle;
  std::deque<std::function<void()>> jobs;
  bool running = false;

  // Runs on the sending thread until no job is left.
  void Run() {
    for (;;) {
      std::function<void()> job;
      {
        const std::lock_guard lock(mutex);
        if (jobs.empty()) {
          running = false;
          idle.notify_all();
          return;
        }
        job = std::move(jobs.front());
        jobs.pop_front();
      }
      job();
    }
  }
};

ThreadedPrintServer::ThreadedPrintServer() : sending_(std::make_shared<Sending>()) {
  sending_->receiver = ReceiverOf(&receiver_);
}

ThreadedPrintServer::~ThreadedPrintServer() {
  std::unique_lock lock(sending_->mutex);
  sending_->idle.wait_for(lock, kSendingAtExit, [this] { return !sending_->running; });
}

void ThreadedPrintServer::AskQueues(QObject* context, std::function<void()> answered) {
  queueWaiters_.push_back(Waiter{context, std::move(answered)});
  if (std::exchange(asking_, true)) return;
  AskAway(sending_->receiver, [this]() -> std::function<void()> {
    return [this, queues = AvailableQueues()]() mutable { TakeQueues(std::move(queues)); };
  });
}

void ThreadedPrintServer::TakeQueues(QList<PrinterQueue> queues) {
  queues_ = std::move(queues);
  answered_ = true;
  asking_ = false;
  for (Waiter& waiter : std::exchange(queueWaiters_, {})) {
    if (waiter.context) waiter.answered();
  }
}

void ThreadedPrintServer::MakePrinter(const QString& queue, QObject* context,
                                      std::function<void(std::unique_ptr<QPrinter>)> made) {
  const auto same = [&queue](const PrinterWaiter& waiter) { return waiter.queue == queue; };
  const auto waiting = std::find_if(printerWaiters_.begin(), printerWaiters_.end(), same);
  const bool asked = waiting != printerWaiters_.end();
  if (asked) printerWaiters_.erase(waiting);
  printerWaiters_.push_back(PrinterWaiter{queue, context, std::move(made)});
  if (asked) return;
  AskAway(sending_->receiver, [this, queue]() -> std::function<void()> {
    // Held where the answer, a function that may be copied, can hand it on once.
    auto printer = std::make_shared<std::unique_ptr<QPrinter>>(MakePrinterFor(queue));
    return [this, queue, printer] { TakePrinter(queue, std::move(*printer)); };
  });
}

void ThreadedPrintServer::TakePrinter(const QString& queue, std::unique_ptr<QPrinter> printer) {
  const auto same = [&queue](const PrinterWaiter& waiter) { return waiter.queue == queue; };
  const auto waiting = std::find_if(printerWaiters_.begin(), printerWaiters_.end(), same);
  if (waiting == printerWaiters_.end()) return;
  PrinterWaiter waiter = std::move(*waiting);
  printerWaiters_.erase(waiting);
  if (waiter.context) waiter.made(std::move(printer));
}

void ThreadedPrintServer::Send(std::function<Status()> send, std::function<void(const Status&)> answered) {
  const std::shared_ptr<Sending> sending = sending_;
  const std::lock_guard lock(sending->mutex);
  sending->jobs.emplace_back([receiver = sending->receiver, send = std::move(send), answered = std::move(answered)] {
    receiver->Post([answered, sent = send()] { answered(sent); });
  });
  if (std::exchange(sending->running, true)) return;
  std::thread([sending] { sending->Run(); }).detach();
}

PrinterWait::PrinterWait(PrintServer& server, QString queue, int patienceMs) : queue_(std::move(queue)) {
  server.MakePrinter(queue_, &context_, [this](std::unique_ptr<QPrinter> printer) {
    printer_ = std::move(printer);
    Change(printer_ ? State::Made : State::Gone);
  });
  QTimer::singleShot(patienceMs, &context_, [this] {
    if (state_ == State::Asking) Change(State::Silent);
  });
}

std::unique_ptr<QPrinter> PrinterWait::Take() { return std::move(printer_); }

QString PrinterWait::Problem() const {
  switch (state_) {
    case State::Gone: return PrinterNoLongerThere(queue_);
    case State::Silent: return PrintServerSilent();
    case State::Asking:
    case State::Made: break;
  }
  return QString();
}

void PrinterWait::Change(State state) {
  state_ = state;
  if (changed_) changed_();
}

}  // namespace lumaset
