#pragma once

// Asking the print system without waiting for it. A print server that takes
// questions and never answers them keeps whoever asks for minutes (libcups
// waits a minute for each answer, and Qt asks it several times for one
// list of printers), so the window asks nothing itself: every question goes
// to a thread of its own that nothing ever waits for, and its answer comes
// back on the window's thread, unless whoever asked is gone by then.
//
// PrintServer is what the printer dialogs see of it: the queues it named
// when it last answered, and questions whose answers come later, so that a
// test can stand in for it. ThreadedPrintServer asks CUPS (through Qt's
// print support) on those threads, and also hands finished jobs over, one
// after another.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "components/printer_choice.h"
#include "components/result.h"

class QPrinter;

namespace lumaset {

// How long the window lets the print server keep an answer before it says
// that the server does not answer.
inline constexpr int kPrintServerPatienceMs = 5000;

// The system's default queue, or its first; "" without any. Asks on the
// calling thread, which may wait minutes.
QString DefaultQueue();

// A printer for `queue` on the queue's own paper (Qt starts every printer
// on A4), or null when the print system has no such queue or stopped
// answering meanwhile. Asks on the calling thread, which may wait minutes.
std::unique_ptr<QPrinter> MakePrinterFor(const QString& queue);

// A queue and the printer object made for it, on its default paper.
struct FoundPrinter {
  QString queue;
  std::unique_ptr<QPrinter> printer;
};

// Looks for the system's default printer, or its first, away, and hands the
// printer made for it to `found` on the thread of `receiver`, unless
// `receiver` is gone by then. Without any queue (or any answer) `found` is
// never called.
void FindPrinterAway(QObject* receiver, std::function<void(const std::shared_ptr<FoundPrinter>&)> found);

class PrintServer {
 public:
  virtual ~PrintServer() = default;

  // The queues as the print server named them when it last answered; empty
  // before it ever did.
  virtual const QList<PrinterQueue>& Queues() const = 0;
  // It named its queues at least once (maybe none).
  virtual bool Answered() const = 0;

  // Asks for the queues again: `answered` runs on this thread once they are
  // in Queues(), unless `context` is gone by then. While one question is
  // out, another only waits for its answer.
  virtual void AskQueues(QObject* context, std::function<void()> answered) = 0;

  // Makes a printer for `queue` away: `made` gets it on this thread (null
  // when the queue is not there), unless `context` is gone by then. Asked
  // for the same queue again before the answer came, only the last asker
  // gets it.
  virtual void MakePrinter(const QString& queue, QObject* context,
                           std::function<void(std::unique_ptr<QPrinter>)> made) = 0;
};

class ThreadedPrintServer final : public PrintServer {
 public:
  // Answers come back on the thread that makes this object.
  ThreadedPrintServer();
  // Waits a few seconds for jobs still being handed over; what a server
  // that does not answer keeps longer is lost with the program.
  ~ThreadedPrintServer() override;
  ThreadedPrintServer(const ThreadedPrintServer&) = delete;
  ThreadedPrintServer& operator=(const ThreadedPrintServer&) = delete;

  const QList<PrinterQueue>& Queues() const override { return queues_; }
  bool Answered() const override { return answered_; }
  void AskQueues(QObject* context, std::function<void()> answered) override;
  void MakePrinter(const QString& queue, QObject* context,
                   std::function<void(std::unique_ptr<QPrinter>)> made) override;

  // Hands a finished job over: `send` runs on a thread that runs the jobs
  // one after another in the order given; what it returned reaches
  // `answered` on this thread.
  void Send(std::function<Status()> send, std::function<void(const Status&)> answered);

 private:
  struct Waiter {
    QPointer<QObject> context;
    std::function<void()> answered;
  };
  struct PrinterWaiter {
    QString queue;
    QPointer<QObject> context;
    std::function<void(std::unique_ptr<QPrinter>)> made;
  };
  struct Sending;

  void TakeQueues(QList<PrinterQueue> queues);
  void TakePrinter(const QString& queue, std::unique_ptr<QPrinter> printer);

  QObject receiver_;
  std::shared_ptr<Sending> sending_;
  QList<PrinterQueue> queues_;
  bool answered_ = false;
  bool asking_ = false;
  std::vector<Waiter> queueWaiters_;
  std::vector<PrinterWaiter> printerWaiters_;
};

// A printer for one queue, asked of the print server as it is made and
// waited for with patience: Asking until the server answers, then Made (or
// Gone, when it has no such queue); Silent once it kept its answer longer
// than the patience allows. An answer that comes later still counts.
class PrinterWait {
 public:
  enum class State { Asking, Made, Gone, Silent };

  PrinterWait(PrintServer& server, QString queue, int patienceMs);

  const QString& Queue() const { return queue_; }
  State state() const { return state_; }
  // Runs at every change of state.
  void SetChanged(std::function<void()> changed) { changed_ = std::move(changed); }
  // The printer once made, for whoever takes it first.
  std::unique_ptr<QPrinter> Take();
  // Why there is no printer: "" while asking or once made.
  QString Problem() const;

 private:
  void Change(State state);

  QObject context_;
  QString queue_;
  State state_ = State::Asking;
  std::unique_ptr<QPrinter> printer_;
  std::function<void()> changed_;
};

// What is said when the print server keeps its answer.
QString PrintServerSilent();
// A queue that the print server no longer names.
QString PrinterNoLongerThere(const QString& queue);

}  // namespace lumaset
