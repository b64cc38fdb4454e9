#include "components/printer_setup.h"

#include <QPrinter>
#include <QTimer>

#include <utility>

namespace lumaset {

namespace {

// What is known before the print server answers: the queues it named
// before, or at least the one printed on, with the page's paper.
QList<PrinterQueue> KnownQueues(const PrintServer& server, const PrinterChoice& current) {
  QList<PrinterQueue> known = server.Queues();
  if (!server.Answered() && !current.printerName.isEmpty()) {
    known.append(PrinterQueue{current.printerName, QString(), false, {}, current.paper});
  }
  return known;
}

}  // namespace

PrinterSetup::PrinterSetup(PrintServer& server, PrinterChoice current, int patienceMs)
    : server_(server), currentQueue_(current.printerName), patienceMs_(patienceMs),
      model_(KnownQueues(server, current), current) {
  server_.AskQueues(&context_, [this] {
    answered_ = true;
    silent_ = false;
    model_.SetQueues(server_.Queues());
    PrinterSelected();
  });
  QTimer::singleShot(patienceMs_, &context_, [this] {
    if (answered_) return;
    silent_ = true;
    Changed();
  });
  if (NeedsPrinter(Choice().printerName)) Ask(Choice().printerName);
}

QString PrinterSetup::Note() const {
  if (wait_ && confirmedWait_) {
    switch (wait_->state()) {
      case PrinterWait::State::Asking: return QStringLiteral("Setting up %1...").arg(wait_->Queue());
      case PrinterWait::State::Silent:
        return QStringLiteral("The print server does not answer: %1 cannot be set up now.").arg(wait_->Queue());
      case PrinterWait::State::Gone: return wait_->Problem();
      case PrinterWait::State::Made: break;
    }
  }
  if (answered_) return model_.NoQueue() ? QStringLiteral("No printer is installed: Print writes a PDF file.") : QString();
  if (silent_) {
    return model_.NoQueue() ? QStringLiteral("The print server does not answer: Print writes a PDF file until it does.")
                            : QStringLiteral("The print server does not answer: the printers shown are those known so far.");
  }
  return server_.Answered() ? QString() : QStringLiteral("Asking the print server for its printers...");
}

bool PrinterSetup::NeedsPrinter(const QString& queue) const { return !queue.isEmpty() && queue != currentQueue_; }

void PrinterSetup::Ask(const QString& queue) {
  wait_ = std::make_unique<PrinterWait>(server_, queue, patienceMs_);
  confirmedWait_ = false;
  wait_->SetChanged([this] { Waited(); });
}

void PrinterSetup::PrinterSelected() {
  const QString queue = Choice().printerName;
  if (!wait_ || wait_->Queue() != queue) {
    // An OK that waited was for the queue selected before.
    if (auto done = std::exchange(confirming_, nullptr)) done(false);
    if (NeedsPrinter(queue)) {
      Ask(queue);
    } else {
      wait_.reset();
    }
  }
  Changed();
}

void PrinterSetup::Confirm(std::function<void(bool)> done) {
  if (confirming_) return;
  const QString queue = Choice().printerName;
  if (!NeedsPrinter(queue)) return done(true);
  const bool askAgain = !wait_ || wait_->Queue() != queue || wait_->state() == PrinterWait::State::Gone ||
                        wait_->state() == PrinterWait::State::Silent;
  if (askAgain) Ask(queue);
  confirmedWait_ = true;
  if (wait_->state() == PrinterWait::State::Made) return done(true);
  if (wait_->state() != PrinterWait::State::Asking) {  // an answer that came as it was asked
    Changed();
    return done(false);
  }
  confirming_ = std::move(done);
  Changed();
}

void PrinterSetup::Waited() {
  const PrinterWait::State state = wait_->state();
  auto done = state == PrinterWait::State::Asking ? nullptr : std::exchange(confirming_, nullptr);
  Changed();
  if (done) done(state == PrinterWait::State::Made);
}

void PrinterSetup::Closed() {
  confirming_ = nullptr;
  changed_ = nullptr;
}

std::unique_ptr<QPrinter> PrinterSetup::TakePrinter() {
  if (!wait_ || wait_->state() != PrinterWait::State::Made || wait_->Queue() != Choice().printerName) return nullptr;
  return wait_->Take();
}

void PrinterSetup::Changed() {
  if (changed_) changed_();
}

}  // namespace lumaset
