#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Timer.h"
#include "platform/Ui.h"

class QMessageBox;
class QWidget;

// A platform timer on QTimer. Qt takes at most INT_MAX ms per run, so longer intervals are
// counted down in several runs before the timer fires.
class QtTimer : public QObject, public platform::Timer {
  Q_OBJECT
 public:
  QtTimer();
  void setInterval(std::uint32_t milliseconds) override;
  std::uint32_t interval() const override { return interval_; }
  void setEnabled(bool enabled) override;
  bool enabled() const override { return enabled_; }

 private:
  void restart();
  void startSegment();
  void onTimeout();

  QTimer timer_;
  std::uint32_t interval_ = 0;
  std::uint64_t remaining_ = 0;
  bool enabled_ = false;
};

class QtTimerFactory : public platform::TimerFactory {
 public:
  std::unique_ptr<platform::Timer> createTimer() override;
};

class QtScreen : public platform::Screen {
 public:
  platform::Rect geometry() override;
  platform::Rect workArea() override;
  platform::Size pixelSize() override;
};

class QtEventPump : public platform::EventPump {
 public:
  void processPendingEvents() override;
  void waitForEvents() override;
  void wakeUp() override;
};

// The file:// address of a local path given as bytes.
QUrl UrlDeFichier(const std::string& chemin);

class QtShell : public platform::Shell {
 public:
  void open(const std::string& pathOrUrl) override;
  void setClipboardText(const std::string& text) override;
  void beep() override;
};

// The application's default error handler: a message box with the text. The box runs no
// event loop of its own: while it waits for the user the program goes on (the schedule, the
// commands of other starts, a request to end), and the handler that failed has returned. The
// same text already on screen is brought forward rather than shown twice: a disk that stays
// full fails every scheduled change.
class MessageBoxErrorHandler : public platform::ErrorHandler {
 public:
  explicit MessageBoxErrorHandler(std::function<QWidget*()> parent) : parent_(std::move(parent)) {}
  ~MessageBoxErrorHandler() override;
  MessageBoxErrorHandler(const MessageBoxErrorHandler&) = delete;
  MessageBoxErrorHandler& operator=(const MessageBoxErrorHandler&) = delete;
  void showError(const std::string& message) override;

 private:
  std::function<QWidget*()> parent_;
  std::vector<QPointer<QMessageBox>> ouvertes_;
};
