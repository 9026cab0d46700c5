#include "platform/posix/desktop/Detect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "DesktopTestSupport.h"
#include "TempEnvironment.h"

using platform::WallpaperStyle;
using namespace platform::posix;

namespace {

struct Session {
  Session(std::map<std::string, std::string> variables,
          std::map<std::string, std::optional<bool>> owners = {}, bool flatpak = false)
      : environment(std::move(variables)), busOwners(std::move(owners)), flatpakInfo(flatpak) {}

  std::map<std::string, std::string> environment;
  std::map<std::string, std::optional<bool>> busOwners;  // names not listed: cannot tell
  bool flatpakInfo = false;
};

DesktopSurroundings staged(const Session& session) {
  DesktopSurroundings surroundings;
  surroundings.environment = [session](const std::string& name) -> std::optional<std::string> {
    const auto found = session.environment.find(name);
    return found == session.environment.end() ? std::nullopt : std::optional(found->second);
  };
  surroundings.fileExists = [session](const std::string& path) {
    return session.flatpakInfo && path == "/.flatpak-info";
  };
  surroundings.busNameHasOwner = [session](const std::string& name) -> std::optional<bool> {
    const auto found = session.busOwners.find(name);
    return found == session.busOwners.end() ? std::nullopt : found->second;
  };
  return surroundings;
}

struct DetectionCase {
  const char* name;
  Session session;
  DesktopKind expected;
};

class DesktopDetectTest : public testing::TestWithParam<DetectionCase> {};

TEST_P(DesktopDetectTest, FindsTheDesktop) {
  EXPECT_EQ(detectDesktop(staged(GetParam().session)), GetParam().expected);
}

const std::map<std::string, std::optional<bool>> kNoShell = {
    {"org.kde.plasmashell", false}, {"org.gnome.Shell", false}, {"org.Cinnamon", false},
    {"org.xfce.xfdesktop", false}, {"org.pcmanfm.PCManFM", false}};

INSTANTIATE_TEST_SUITE_P(DesktopSessions, DesktopDetectTest,
    testing::Values(
        DetectionCase{"OverrideWinsOverEverything",
                      {{{"VERRELUNE_WALLPAPER_COMMAND", "feh --bg-center"}, {"XDG_CURRENT_DESKTOP", "KDE"}}, {}, true},
                      DesktopKind::Command},
        DetectionCase{"EmptyOverrideIsIgnored",
                      {{{"VERRELUNE_WALLPAPER_COMMAND", ""}, {"DISPLAY", ":0"}}}, DesktopKind::X11},
        DetectionCase{"Flatpak", {{{"XDG_CURRENT_DESKTOP", "GNOME"}}, {}, true}, DesktopKind::Sandbox},
        DetectionCase{"Snap", {{{"SNAP", "/snap/verrelune/1"}, {"XDG_CURRENT_DESKTOP", "KDE"}}}, DesktopKind::Sandbox},
        DetectionCase{"KdeConfirmed", {{{"XDG_CURRENT_DESKTOP", "KDE"}}, {{"org.kde.plasmashell", true}}}, DesktopKind::Kde},
        DetectionCase{"NamesIgnoreCase", {{{"XDG_CURRENT_DESKTOP", "kde"}}}, DesktopKind::Kde},
        DetectionCase{"KdeWithoutPlasmaOnWayland",
                      {{{"XDG_CURRENT_DESKTOP", "KDE"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, kNoShell},
                      DesktopKind::Swaybg},
        DetectionCase{"GnomeWithoutShellOnX11",
                      {{{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}, {"DISPLAY", ":0"}}, kNoShell}, DesktopKind::X11},
        DetectionCase{"UbuntuGnome", {{{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}, {{"org.gnome.Shell", true}}}, DesktopKind::Gnome},
        DetectionCase{"BudgieBeforeGnomeWithoutShell",
                      {{{"XDG_CURRENT_DESKTOP", "Budgie:GNOME"}, {"DISPLAY", ":0"}}, kNoShell}, DesktopKind::Gnome},
        DetectionCase{"Unity", {{{"XDG_CURRENT_DESKTOP", "Unity:Unity7:ubuntu"}}, kNoShell}, DesktopKind::Gnome},
        DetectionCase{"XCinnamon", {{{"XDG_CURRENT_DESKTOP", "X-Cinnamon"}}}, DesktopKind::Cinnamon},
        DetectionCase{"Mate", {{{"XDG_CURRENT_DESKTOP", "MATE"}}, kNoShell}, DesktopKind::Mate},
        DetectionCase{"Xfce", {{{"XDG_CURRENT_DESKTOP", "XFCE"}}, {{"org.xfce.xfdesktop", true}}}, DesktopKind::Xfce},
        DetectionCase{"Lxqt", {{{"XDG_CURRENT_DESKTOP", "LXQt"}}}, DesktopKind::Lxqt},
        DetectionCase{"KdeBeforeGnome", {{{"XDG_CURRENT_DESKTOP", "GNOME:KDE"}}}, DesktopKind::Kde},
        DetectionCase{"EmptyNamesAreSkipped", {{{"XDG_CURRENT_DESKTOP", "::MATE:"}}}, DesktopKind::Mate},
        DetectionCase{"Hyprland",
                      {{{"XDG_CURRENT_DESKTOP", "Hyprland"}, {"HYPRLAND_INSTANCE_SIGNATURE", "x"},
                        {"SWAYSOCK", "/run/sway.sock"}, {"WAYLAND_DISPLAY", "wayland-1"}}},
                      DesktopKind::Swaybg},
        DetectionCase{"Sway", {{{"XDG_CURRENT_DESKTOP", "sway"}, {"SWAYSOCK", "/run/sway.sock"}, {"WAYLAND_DISPLAY", "wayland-1"}}},
                      DesktopKind::Sway},
        DetectionCase{"OtherWayland", {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}}, DesktopKind::Swaybg},
        DetectionCase{"PlainX11", {{{"XDG_CURRENT_DESKTOP", "i3"}, {"DISPLAY", ":1"}}}, DesktopKind::X11},
        DetectionCase{"Nothing", {{{"XDG_CURRENT_DESKTOP", ""}, {"DISPLAY", ""}}}, DesktopKind::None}),
    [](const testing::TestParamInfo<DetectionCase>& info) { return std::string(info.param.name); });

TEST(DesktopSessionTest, DetectsAtEveryChangeAndKeepsTheCopiesNumbering) {
  TempEnvironment env;
  const std::string bmp = (env.data() / "Verrelune" / "Verrelune.bmp").string();
  TempEnvironment::write(bmp, bitmap24(1, 1, {0x123456}));
  RecordingRunner runner;
  Session session{{{"XDG_CURRENT_DESKTOP", "LXQt"}}};
  auto surroundings = staged(session);
  // The environment the desktop sees changes between the two calls.
  std::string current = "LXQt";
  surroundings.environment = [&current](const std::string& name) -> std::optional<std::string> {
    if (name == "XDG_CURRENT_DESKTOP") return current;
    return std::nullopt;
  };
  SessionDesktop desktop(surroundings, runner);
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
  // "sway" without SWAYSOCK or a display is no desktop at all.
  current = "sway";
  EXPECT_FALSE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
  current = "LXQt";
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
  ASSERT_EQ(runner.runs.size(), 2u);
  const std::string folder = (env.data() / "Verrelune").string();
  EXPECT_EQ(runner.runs[0][1], "--set-wallpaper=" + folder + "/Verrelune-1.png");
  EXPECT_EQ(runner.runs[1][1], "--set-wallpaper=" + folder + "/Verrelune-2.png");
}

TEST(DesktopSessionTest, SandboxAndOverride) {
  TempEnvironment env;
  const std::string bmp = (env.data() / "Verrelune.bmp").string();
  TempEnvironment::write(bmp, bitmap24(1, 1, {0}));
  RecordingRunner runner;
  SessionDesktop sandboxed(staged({{{"XDG_CURRENT_DESKTOP", "GNOME"}}, {}, true}), runner);
  EXPECT_FALSE(sandboxed.applyWallpaper(bmp, WallpaperStyle::Centre));
  EXPECT_TRUE(runner.runs.empty());

  SessionDesktop overridden(staged({{{"VERRELUNE_WALLPAPER_COMMAND", "my-setter -x"}}}), runner);
  EXPECT_TRUE(overridden.applyWallpaper(bmp, WallpaperStyle::Centre));
  ASSERT_EQ(runner.runs.size(), 1u);
  EXPECT_EQ(runner.runs[0].back(), bmp);
  EXPECT_NE(runner.runs[0][2].find("my-setter -x \"$1\""), std::string::npos);
}

}  // namespace
