#pragma once

// A modal window that nobody answers would hold a test of whole windows until
// the run is stopped. While an UnansweredBoxGuard lives, a modal window that
// stays up longer than the guard's patience fails the running test with its
// title and text, and is closed so that the test goes on to its end.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <chrono>

namespace lumaset::test {

class UnansweredBoxGuard {
 public:
  explicit UnansweredBoxGuard(std::chrono::seconds patience = std::chrono::seconds(10)) : patience_(patience) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start(200);
  }

 private:
  void Look() {
    QWidget* const modal = QApplication::activeModalWidget();
    if (modal != box_) {
      box_ = modal;
      since_ = QDeadlineTimer(patience_);
      return;
    }
    if (!box_ || !since_.hasExpired()) return;
    const auto* message = qobject_cast<QMessageBox*>(box_.data());
    ADD_FAILURE() << "nobody answered the window \"" << box_->windowTitle().toStdString() << "\" ("
                  << box_->metaObject()->className() << "): "
                  << (message ? message->text() : box_->objectName()).toStdString();
    if (auto* dialog = qobject_cast<QDialog*>(box_.data())) {
      dialog->reject();
    } else {
      box_->close();
    }
    box_ = nullptr;
  }

  std::chrono::seconds patience_;
  QTimer timer_;
  QPointer<QWidget> box_;
  QDeadlineTimer since_;
};

}  // namespace lumaset::test
