#pragma once

// Print Setup while it is open: the choice (PrinterChoiceModel) among the
// queues the print server named when it last answered, asked again as the
// dialog opens and shown as they come; the printer for a queue chosen anew,
// made away as soon as it is selected and waited for on OK; and the note
// that tells the user what the print server says, or that it says nothing.
// Nothing here waits for the print server: the dialog stays live, and its
// OK waits only for an answer that comes while it is open.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "components/print_server.h"
#include "components/printer_choice.h"

class QPrinter;

namespace lumaset {

class PrinterSetup {
 public:
  // `current` is the printer as it is: its queue ("" for none), paper and
  // turn; that queue needs no printer made for it. The print server is
  // asked for its queues at once; `patienceMs` later, while it keeps its
  // answer, the note says so.
  PrinterSetup(PrintServer& server, PrinterChoice current, int patienceMs = kPrintServerPatienceMs);
  PrinterSetup(const PrinterSetup&) = delete;
  PrinterSetup& operator=(const PrinterSetup&) = delete;

  PrinterChoiceModel& Model() { return model_; }
  const PrinterChoiceModel& Model() const { return model_; }
  // The print server named its queues since the dialog opened.
  bool Answered() const { return answered_; }

  // What the dialog tells the user under the lists; "" for nothing.
  QString Note() const;
  // OK waits for the printer of the queue chosen.
  bool SettingUp() const { return static_cast<bool>(confirming_); }
  // Runs whenever the queues, the note or SettingUp change.
  void SetChanged(std::function<void()> changed) { changed_ = std::move(changed); }

  // The user selected another queue in the model: its printer is made ahead.
  void PrinterSelected();
  // OK: `done(true)` once the choice can be taken, at once when it needs no
  // new printer; `done(false)` when its printer cannot be had now, which
  // the note then says.
  void Confirm(std::function<void(bool)> done);

  // The dialog went: nothing more is told, and an OK that waited is dropped.
  void Closed();

  PrinterChoice Choice() const { return model_.Choice(); }
  // The printer made for the queue chosen, when that is a new one.
  std::unique_ptr<QPrinter> TakePrinter();

 private:
  bool NeedsPrinter(const QString& queue) const;
  void Ask(const QString& queue);
  void Waited();
  void Changed();

  PrintServer& server_;
  const QString currentQueue_;
  const int patienceMs_;
  QObject context_;
  PrinterChoiceModel model_;
  bool answered_ = false;
  bool silent_ = false;  // the queues were not named within the patience
  std::unique_ptr<PrinterWait> wait_;  // the printer for the queue selected anew
  bool confirmedWait_ = false;         // OK asked for that printer
  std::function<void(bool)> confirming_;
  std::function<void()> changed_;
};

}  // namespace lumaset
