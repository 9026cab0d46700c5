#include "ui/qt/QtPlatform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <climits>

QtTimer::QtTimer() {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &QtTimer::onTimeout);
}

void QtTimer::setInterval(std::uint32_t milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  restart();
}

void QtTimer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  restart();
}

void QtTimer::restart() {
  timer_.stop();
  remaining_ = interval_;
  // Unlike a QTimer, a platform timer with interval 0 never fires.
  if (enabled_ && interval_ > 0) startSegment();
}

void QtTimer::startSegment() {
  const std::uint64_t segment = std::min<std::uint64_t>(remaining_, INT_MAX);
  remaining_ -= segment;
  timer_.start(static_cast<int>(segment));
}

void QtTimer::onTimeout() {
  if (remaining_ > 0) {
    startSegment();
    return;
  }
  // Re-arm first: the handler may change the interval or disable the timer.
  restart();
  fire();
}

std::unique_ptr<platform::Timer> QtTimerFactory::createTimer() { return std::make_unique<QtTimer>(); }

namespace {

platform::Rect ToRect(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

}  // namespace

platform::Rect QtScreen::geometry() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? ToRect(screen->geometry()) : platform::Rect{0, 0, 1024, 768};
}

// Qt gives the geometry in device-independent pixels: at 200 % (Xft.dpi 192, QT_SCALE_FACTOR=2)
// half the screen's pixels.
platform::Size QtScreen::pixelSize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {1024, 768};
  const QSizeF pixels = QSizeF(screen->geometry().size()) * screen->devicePixelRatio();
  return {qRound(pixels.width()), qRound(pixels.height())};
}

platform::Rect QtScreen::workArea() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? ToRect(screen->availableGeometry()) : platform::Rect{0, 0, 1024, 768};
}

void QtEventPump::processPendingEvents() { QCoreApplication::processEvents(); }

void QtEventPump::waitForEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void QtEventPump::wakeUp() {
  if (QCoreApplication* application = QCoreApplication::instance())
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(application->thread()))
      dispatcher->wakeUp();
}

QUrl UrlDeFichier(const std::string& chemin) {
  // Percent-encoding the path's own bytes keeps every one of them, "#", "%", "&", spaces and
  // bytes that are not UTF-8 alike.
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(chemin).toPercentEncoding("/"));
}

void QtShell::open(const std::string& pathOrUrl) {
  QDesktopServices::openUrl(pathOrUrl.find("://") != std::string::npos
                                ? QUrl(QString::fromStdString(pathOrUrl))
                                : UrlDeFichier(pathOrUrl));
}

void QtShell::setClipboardText(const std::string& text) {
  QGuiApplication::clipboard()->setText(QFile::decodeName(QByteArray::fromStdString(text)));
}

void QtShell::beep() { QApplication::beep(); }

MessageBoxErrorHandler::~MessageBoxErrorHandler() {
  for (const QPointer<QMessageBox>& boite : ouvertes_) delete boite.data();
}

void MessageBoxErrorHandler::showError(const std::string& message) {
  const QString texte = QString::fromStdString(message);
  ouvertes_.erase(std::remove_if(ouvertes_.begin(), ouvertes_.end(),
                                 [](const QPointer<QMessageBox>& b) { return b.isNull(); }),
                  ouvertes_.end());
  for (const QPointer<QMessageBox>& boite : ouvertes_) {
    if (boite->text() == texte) {
      boite->raise();
      boite->activateWindow();
      return;
    }
  }
  auto* boite = new QMessageBox(QMessageBox::Critical, QStringLiteral("Verrelune"), texte,
                                QMessageBox::Ok, parent_ ? parent_() : nullptr);
  boite->setAttribute(Qt::WA_DeleteOnClose);
  // Over the shown window it keeps the window's controls until it is answered, as a modal box
  // does; alone it is a window of its own.
  boite->setWindowModality(boite->parentWidget() ? Qt::WindowModal : Qt::NonModal);
  boite->show();
  ouvertes_.push_back(boite);
}
