#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/TrayIcon.h"

class QDBusServiceWatcher;
class QMenu;
class QSystemTrayIcon;

// The notification-area icon. Its events go to `onEvent` with the mouse codes of the tray
// protocol: 0x202 for a left release (a double click counts as one more), 0x205 for a right one.
//
// Notification areas come in two kinds. Those that embed the icon's window (the X11 way) report
// a right click, and the program pops its own drawn menu. Those that host icons over D-Bus
// (XFCE, MATE, LXQt, KDE Plasma, GNOME's extension) show the application's menu themselves on
// a right click: `menuExporte` is that menu, plain entries with icons.
//
// At log-in the program may start before the panel: the icon is then made as soon as a
// notification area appears.
class QtTrayIcon : public QObject, public platform::TrayIcon {
  Q_OBJECT
 public:
  explicit QtTrayIcon(std::function<void(std::uint32_t)> onEvent, QMenu* menuExporte = nullptr);
  ~QtTrayIcon() override;
  void add(const platform::TrayIconRecord& record) override;
  void modify(const platform::TrayIconRecord& record) override;
  void remove(const platform::TrayIconRecord& record) override;

  bool visible() const;
  // True when the notification area shows the exported menu itself.
  bool menuExporte() const { return menuExporte_ && menuExporteUtilise_; }
  // `absente` runs once if no notification area has appeared `delaiMs` after the icon was
  // added.
  void surAbsence(int delaiMs, std::function<void()> absente);

 private:
  void chercherHote();
  void creer();
  void apply(const platform::TrayIconRecord& record);

  std::function<void(std::uint32_t)> onEvent_;
  QMenu* menuExporte_;
  bool menuExporteUtilise_ = false;
  std::optional<platform::TrayIconRecord> record_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  // While no notification area is known.
  QDBusServiceWatcher* observateur_ = nullptr;
  QTimer sondage_;
  int toursSondage_ = 0;
  int toursIntegre_ = 0;
  QTimer absence_;
  std::function<void()> absente_;
};
