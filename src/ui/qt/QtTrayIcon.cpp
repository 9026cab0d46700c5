#include "ui/qt/QtTrayIcon.h"

#include <xcb/xcb.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The name under which a panel that hosts icons over D-Bus announces itself.
constexpr char kObservateurIcones[] = "org.kde.StatusNotifierWatcher";
constexpr int kAttenteReponseMs = 1000;
constexpr int kSondageMs = 1000;
constexpr int kToursSondageRapide = 60;
constexpr int kSondageLentMs = 10000;
// A panel often offers both kinds of area and announces them a moment apart: an embedding area
// found while waiting gets this many more rounds for a D-Bus one, which shows the menu itself.
constexpr int kToursPourDBus = 2;

// The panel's watcher is there and a host has joined it (the watcher may come a moment first).
bool HoteDBusPresent() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  QDBusConnectionInterface* services = bus.interface();
  if (!services || !services->isServiceRegistered(QString::fromLatin1(kObservateurIcones)).value())
    return false;
  QDBusMessage question = QDBusMessage::createMethodCall(
      QString::fromLatin1(kObservateurIcones), QStringLiteral("/StatusNotifierWatcher"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  question << QString::fromLatin1(kObservateurIcones) << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusMessage reponse = bus.call(question, QDBus::Block, kAttenteReponseMs);
  return reponse.type() == QDBusMessage::ReplyMessage &&
         reponse.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

// The screen number of $DISPLAY (":0.1" is screen 1), which names the area's selection.
int NumeroEcran() {
  const char* affichage = std::getenv("DISPLAY");
  if (!affichage) return 0;
  const char* deuxPoints = std::strrchr(affichage, ':');
  const char* point = deuxPoints ? std::strchr(deuxPoints, '.') : nullptr;
  return point ? std::atoi(point + 1) : 0;
}

// An X11 notification area owns the selection _NET_SYSTEM_TRAY_S<screen>.
bool HoteIntegrePresent() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return false;
  xcb_connection_t* c = x11->connection();
  const std::string nom = "_NET_SYSTEM_TRAY_S" + std::to_string(NumeroEcran());
  xcb_intern_atom_reply_t* atome = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(nom.size()), nom.c_str()), nullptr);
  bool present = false;
  if (atome && atome->atom != XCB_NONE) {
    xcb_get_selection_owner_reply_t* proprietaire =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atome->atom), nullptr);
    present = proprietaire && proprietaire->owner != XCB_NONE;
    std::free(proprietaire);
  }
  std::free(atome);
  return present;
}

}  // namespace

QtTrayIcon::QtTrayIcon(std::function<void(std::uint32_t)> onEvent, QMenu* menuExporte)
    : onEvent_(std::move(onEvent)), menuExporte_(menuExporte) {
  connect(&sondage_, &QTimer::timeout, this, &QtTrayIcon::chercherHote);
  absence_.setSingleShot(true);
  connect(&absence_, &QTimer::timeout, this, [this] {
    if (!icon_ && absente_) absente_();
  });
}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::add(const platform::TrayIconRecord& record) {
  record_ = record;
  if (icon_) {
    apply(record);
    icon_->show();
    return;
  }
  // Which kind of area Qt uses is settled when the icon is made, and for good: wait for one to
  // be there rather than make the icon into nothing. A D-Bus watcher announces itself; whether
  // a host has joined it, or an embedding area has come, is looked at every second at first,
  // then every ten.
  if (!observateur_) {
    observateur_ = new QDBusServiceWatcher(QString::fromLatin1(kObservateurIcones),
                                           QDBusConnection::sessionBus(),
                                           QDBusServiceWatcher::WatchForRegistration, this);
    connect(observateur_, &QDBusServiceWatcher::serviceRegistered, this, &QtTrayIcon::chercherHote);
  }
  if (HoteDBusPresent() || HoteIntegrePresent()) {
    creer();
    return;
  }
  toursIntegre_ = 0;
  toursSondage_ = 0;
  sondage_.setInterval(kSondageMs);
  sondage_.start();
}

void QtTrayIcon::chercherHote() {
  if (icon_ || !record_) return;
  if (++toursSondage_ == kToursSondageRapide) sondage_.setInterval(kSondageLentMs);
  if (HoteDBusPresent()) {
    creer();
  } else if (!HoteIntegrePresent()) {
    toursIntegre_ = 0;
  } else if (++toursIntegre_ > kToursPourDBus) {
    creer();
  }
}

void QtTrayIcon::creer() {
  if (icon_ || !record_) return;
  sondage_.stop();
  // This may run inside the watcher's own signal.
  if (observateur_) observateur_->deleteLater();
  observateur_ = nullptr;
  icon_ = std::make_unique<QSystemTrayIcon>();
  connect(icon_.get(), &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
              onEvent_(0x202);
            else if (reason == QSystemTrayIcon::Context)
              onEvent_(0x205);
          });
  if (menuExporte_) {
    // Only an area that hosts icons over D-Bus takes the menu as its own (the menu then has a
    // platform counterpart). An embedding area would pop it in place of the drawn one.
    icon_->setContextMenu(menuExporte_);
    menuExporteUtilise_ = menuExporte_->platformMenu() != nullptr;
    if (!menuExporteUtilise_) icon_->setContextMenu(nullptr);
  }
  apply(*record_);
  icon_->show();
}

void QtTrayIcon::apply(const platform::TrayIconRecord& record) {
  icon_->setIcon(QIcon(QStringLiteral(":/verrelune/%1-16.png").arg(QString::fromStdString(record.icon))));
  icon_->setToolTip(QString::fromStdString(record.tip));
}

void QtTrayIcon::modify(const platform::TrayIconRecord& record) {
  if (!record_) return;
  record_ = record;
  if (icon_) apply(record);
}

void QtTrayIcon::remove(const platform::TrayIconRecord&) {
  sondage_.stop();
  absence_.stop();
  record_.reset();
  if (icon_) icon_->hide();
  icon_.reset();
  menuExporteUtilise_ = false;
}

bool QtTrayIcon::visible() const { return icon_ && icon_->isVisible(); }

void QtTrayIcon::surAbsence(int delaiMs, std::function<void()> absente) {
  absente_ = std::move(absente);
  if (icon_) return;
  absence_.start(delaiMs);
}
