#pragma once

// A print server that names the queues it is given, at once (as the event
// loop runs next) or only when told to, and makes the printers a test
// gives it; told to hold, it answers nothing until told to answer. For the printer dialogs' tests, which need no scheduler.

#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QPrinter>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "components/print_server.h"

namespace lumaset::test {

class FakePrintServer final : public PrintServer {
 public:
  explicit FakePrintServer(QList<PrinterQueue> queues, bool answering = true)
      : named_(std::move(queues)), answering_(answering) {}

  const QList<PrinterQueue>& Queues() const override { return queues_; }
  bool Answered() const override { return answered_; }
  void AskQueues(QObject* context, std::function<void()> answered) override {
    held_.emplace_back(context, [this, answered] {
      queues_ = named_;
      answered_ = true;
      answered();
    });
    if (answering_) Answer();
  }
  void MakePrinter(const QString& queue, QObject* context,
                   std::function<void(std::unique_ptr<QPrinter>)> made) override {
    asked << queue;
    held_.emplace_back(context, [this, queue, made] { made(makePrinter(queue)); });
    if (answering_) Answer();
  }

  // Questions from now on are held.
  void Hold() { answering_ = false; }
  // From now on every question is answered, those held so far too.
  void Answer() {
    answering_ = true;
    for (auto& [context, answer] : std::exchange(held_, {})) {
      if (context) QMetaObject::invokeMethod(context, answer, Qt::QueuedConnection);
    }
  }

  QStringList asked;  // the queues printers were asked for
  std::function<std::unique_ptr<QPrinter>(const QString&)> makePrinter = [](const QString&) {
    auto printer = std::make_unique<QPrinter>();
    printer->setOutputFormat(QPrinter::PdfFormat);
    return printer;
  };

 private:
  QList<PrinterQueue> named_;
  QList<PrinterQueue> queues_;
  bool answered_ = false;
  bool answering_;
  std::vector<std::pair<QPointer<QObject>, std::function<void()>>> held_;
};

}  // namespace lumaset::test
