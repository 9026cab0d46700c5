#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "DesktopTestSupport.h"
#include "TempEnvironment.h"
#include "platform/posix/desktop/Backends.h"
#include "platform/posix/desktop/CommandRunner.h"

using platform::Desktop;
using platform::WallpaperStyle;
using namespace platform::posix;
using Argv = RecordingRunner::Argv;

namespace {

// A folder name with every character that needs care somewhere: blanks, both quotes, a
// backslash, `%` and `#` (URI syntax), and a byte that is not UTF-8.
constexpr char kAwkwardName[] = "a b'c\"d\\e%f#g\xff";
constexpr char kAwkwardUriName[] = "a%20b%27c%22d%5Ce%25f%23g%FF";
// The same without the byte that is not UTF-8, for desktops that only take UTF-8.
constexpr char kAwkwardUtf8Name[] = "\xc3\xa9 'q\" \\ %#";

class DesktopBackendsTest : public testing::Test {
 protected:
  // Writes a tiny bitmap into the named folder of the data folder; its path.
  std::string writeBitmap(const std::string& folderName) {
    const std::filesystem::path folder = env.data() / folderName;
    TempEnvironment::write(folder / "Verrelune.bmp", bitmap24(2, 1, {0xFF0000, 0x00FF00}));
    return (folder / "Verrelune.bmp").string();
  }
  // The path of the folder's n-th copy.
  std::string copyPath(const std::string& folderName, int n) {
    return (env.data() / folderName).string() + "/Verrelune-" + std::to_string(n) + ".png";
  }
  static Argv gsettings(const std::string& schema, const std::string& key, const std::string& value) {
    return {"gsettings", "set", schema, key, value};
  }

  TempEnvironment env;
  RecordingRunner runner;
  NumberedCopies copies;
};

class DesktopGnomeStyleTest : public DesktopBackendsTest,
                              public testing::WithParamInterface<WallpaperStyle> {};

TEST_P(DesktopGnomeStyleTest, SetsEveryKeyWithAPercentEncodedUri) {
  const bool stretch = GetParam() == WallpaperStyle::Stretch;
  runner.respond = [](const Argv& argv) {
    return RecordingRunner::succeeded(argv[1] == "list-keys" ? "picture-options\npicture-uri\npicture-uri-dark\nprimary-color\n" : "");
  };
  GnomeFamilyDesktop desktop(GnomeFamilyDesktop::Flavour::Gnome, runner, copies);
  ASSERT_TRUE(desktop.applyWallpaper(writeBitmap(kAwkwardName), GetParam()));

  const std::string schema = "org.gnome.desktop.background";
  const std::string uri = "'file://" + env.data().string() + "/" + kAwkwardUriName + "/Verrelune-1.png'";
  const std::vector<Argv> expected = {
      gsettings(schema, "picture-options", stretch ? "'stretched'" : "'centered'"),
      gsettings(schema, "color-shading-type", "'solid'"),
      gsettings(schema, "primary-color", "'#000000'"),
      gsettings(schema, "picture-uri", uri),
      {"gsettings", "list-keys", schema},
      gsettings(schema, "picture-uri-dark", uri),
  };
  EXPECT_EQ(runner.runs, expected);
  EXPECT_TRUE(std::filesystem::exists(copyPath(kAwkwardName, 1)));
}

INSTANTIATE_TEST_SUITE_P(DesktopStyles, DesktopGnomeStyleTest,
                         testing::Values(WallpaperStyle::Centre, WallpaperStyle::Stretch));

TEST_F(DesktopBackendsTest, GnomeNamesANewCopyEachTimeAndSkipsAMissingDarkKey) {
  runner.respond = [](const Argv& argv) {
    return RecordingRunner::succeeded(argv[1] == "list-keys" ? "picture-uri\npicture-uri-darkness\n" : "");
  };
  GnomeFamilyDesktop desktop(GnomeFamilyDesktop::Flavour::Gnome, runner, copies);
  const std::string bmp = writeBitmap("plain");
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));

  std::vector<Argv> uris;
  int listings = 0;
  for (const Argv& argv : runner.runs) {
    if (argv[1] == "list-keys") ++listings;
    if (argv.size() == 5 && argv[3].starts_with("picture-uri")) uris.push_back(argv);
  }
  EXPECT_EQ(listings, 1);
  const std::string schema = "org.gnome.desktop.background";
  EXPECT_EQ(uris, (std::vector<Argv>{
                      gsettings(schema, "picture-uri", "'file://" + copyPath("plain", 1) + "'"),
                      gsettings(schema, "picture-uri", "'file://" + copyPath("plain", 2) + "'")}));
}

TEST_F(DesktopBackendsTest, CinnamonUsesItsOwnSchemaAndNoDarkKey) {
  GnomeFamilyDesktop desktop(GnomeFamilyDesktop::Flavour::Cinnamon, runner, copies);
  ASSERT_TRUE(desktop.applyWallpaper(writeBitmap("plain"), WallpaperStyle::Stretch));
  const std::string schema = "org.cinnamon.desktop.background";
  const std::vector<Argv> expected = {
      gsettings(schema, "picture-options", "'stretched'"),
      gsettings(schema, "color-shading-type", "'solid'"),
      gsettings(schema, "primary-color", "'#000000'"),
      gsettings(schema, "picture-uri", "'file://" + copyPath("plain", 1) + "'"),
  };
  EXPECT_EQ(runner.runs, expected);
}

TEST_F(DesktopBackendsTest, MateTakesAQuotedPlainPathAndRefusesOneThatIsNotUtf8) {
  GnomeFamilyDesktop desktop(GnomeFamilyDesktop::Flavour::Mate, runner, copies);
  ASSERT_TRUE(desktop.applyWallpaper(writeBitmap(kAwkwardUtf8Name), WallpaperStyle::Centre));
  const std::string schema = "org.mate.background";
  const std::vector<Argv> expected = {
      gsettings(schema, "picture-options", "'centered'"),
      gsettings(schema, "color-shading-type", "'solid'"),
      gsettings(schema, "primary-color", "'#000000'"),
      gsettings(schema, "picture-filename",
                "'" + env.data().string() + "/\xc3\xa9 \\'q\" \\\\ %#/Verrelune-1.png'"),
  };
  EXPECT_EQ(runner.runs, expected);

  runner.runs.clear();
  EXPECT_FALSE(desktop.applyWallpaper(writeBitmap(kAwkwardName), WallpaperStyle::Centre));
  EXPECT_TRUE(runner.runs.empty());
}

TEST_F(DesktopBackendsTest, KdeSendsTheScriptThroughDbusSend) {
  KdeDesktop desktop(runner, copies);
  ASSERT_TRUE(desktop.applyWallpaper(writeBitmap(kAwkwardName), WallpaperStyle::Centre));
  ASSERT_EQ(runner.runs.size(), 1u);
  const Argv& argv = runner.runs[0];
  ASSERT_EQ(argv.size(), 7u);
  EXPECT_EQ(Argv(argv.begin(), argv.begin() + 6),
            (Argv{"dbus-send", "--session", "--print-reply", "--dest=org.kde.plasmashell",
                  "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript"}));
  const std::string script = argv[6];
  ASSERT_TRUE(script.starts_with("string:var all = desktops();"));
  EXPECT_NE(script.find("d.wallpaperPlugin = 'org.kde.image';"), std::string::npos);
  EXPECT_NE(script.find("d.currentConfigGroup = Array('Wallpaper', 'org.kde.image', 'General');"),
            std::string::npos);
  EXPECT_NE(script.find("d.writeConfig('FillMode', 6);"), std::string::npos);
  EXPECT_NE(script.find("d.writeConfig('Color', '#000000');"), std::string::npos);
  EXPECT_NE(script.find("d.writeConfig('Image', 'file://" + env.data().string() + "/" +
                        kAwkwardUriName + "/Verrelune-1.png');"),
            std::string::npos);
}

TEST_F(DesktopBackendsTest, KdeFallsBackToGdbusWithAQuotedScriptAndReportsARefusal) {
  runner.respond = [](const Argv& argv) {
    return argv[0] == "dbus-send" ? RecordingRunner::notInstalled() : RecordingRunner::succeeded("");
  };
  KdeDesktop desktop(runner, copies);
  ASSERT_TRUE(desktop.applyWallpaper(writeBitmap("plain"), WallpaperStyle::Stretch));
  ASSERT_EQ(runner.runs.size(), 2u);
  const Argv& argv = runner.runs[1];
  ASSERT_EQ(argv.size(), 10u);
  EXPECT_EQ(Argv(argv.begin(), argv.begin() + 9),
            (Argv{"gdbus", "call", "--session", "--dest", "org.kde.plasmashell", "--object-path",
                  "/PlasmaShell", "--method", "org.kde.PlasmaShell.evaluateScript"}));
  EXPECT_TRUE(argv[9].starts_with("'var all = desktops();"));
  EXPECT_NE(argv[9].find("d.wallpaperPlugin = \\'org.kde.image\\';"), std::string::npos);
  EXPECT_NE(argv[9].find("d.writeConfig(\\'FillMode\\', 0);"), std::string::npos);
  EXPECT_TRUE(argv[9].ends_with("}'"));

  // A Kiosk-locked Plasma answers with an error.
  runner.respond = [](const Argv&) { return RecordingRunner::exited(1); };
  EXPECT_FALSE(desktop.applyWallpaper(writeBitmap("plain"), WallpaperStyle::Stretch));
}

// Style, black surround, then picture, for every monitor and workspace xfdesktop lists.
std::vector<Argv> XfceCalls(const std::vector<std::string>& folders, const char* style,
                            const std::string& picture, bool creating) {
  auto with = [](Argv tail) {
    Argv argv = {"xfconf-query", "-c", "xfce4-desktop"};
    argv.insert(argv.end(), tail.begin(), tail.end());
    return argv;
  };
  std::vector<Argv> calls = {with({"-l"})};
  for (const std::string& folder : folders) {
    calls.push_back(with({"-p", folder + "/image-style", "-n", "-t", "int", "-s", style}));
    calls.push_back(with({"-p", folder + "/color-style", "-n", "-t", "int", "-s", "0"}));
    calls.push_back(with({"-p", folder + "/rgba1", "-n", "-t", "double", "-t", "double", "-t", "double",
                          "-t", "double", "-s", "0", "-s", "0", "-s", "0", "-s", "1"}));
    calls.push_back(creating ? with({"-p", folder + "/last-image", "-n", "-t", "string", "-s", picture})
                             : with({"-p", folder + "/last-image", "-s", picture}));
  }
  return calls;
}

TEST_F(DesktopBackendsTest, XfceSetsEveryMonitorsImageStyleAndColour) {
  runner.respond = [](const Argv& argv) {
    return RecordingRunner::succeeded(
        argv.back() == "-l" ? "/backdrop/screen0/monitorVirtual1/workspace0/last-image\n"
                              "/backdrop/screen0/monitorVirtual1/workspace0/image-style\n"
                              "/backdrop/screen0/monitorHDMI-1/workspace1/last-image\n"
                              "/backdrop/screen0/monitorHDMI-1/workspace1/last-image-old\n"
                              "/backdrop/single-workspace-mode\n"
                            : "");
  };
  XfceDesktop desktop(runner, copies, [] { return std::vector<std::string>{"unused"}; });
  ASSERT_TRUE(desktop.applyWallpaper(writeBitmap(kAwkwardUtf8Name), WallpaperStyle::Stretch));
  EXPECT_EQ(runner.runs, XfceCalls({"/backdrop/screen0/monitorVirtual1/workspace0",
                                    "/backdrop/screen0/monitorHDMI-1/workspace1"},
                                   "3", copyPath(kAwkwardUtf8Name, 1), false));
}

// xfdesktop names monitors after their outputs; it never reads "monitor0" when RandR is there.
TEST_F(DesktopBackendsTest, XfceCreatesEachOutputsPropertiesWhenThereAreNone) {
  runner.respond = [](const Argv& argv) {
    return argv.back() == "-l" ? RecordingRunner::exited(1) : RecordingRunner::succeeded("");
  };
  XfceDesktop desktop(runner, copies, [] { return std::vector<std::string>{"HDMI-1", "eDP-1"}; });
  ASSERT_TRUE(desktop.applyWallpaper(writeBitmap("plain"), WallpaperStyle::Centre));
  EXPECT_EQ(runner.runs, XfceCalls({"/backdrop/screen0/monitorHDMI-1/workspace0",
                                    "/backdrop/screen0/monitoreDP-1/workspace0"},
                                   "1", copyPath("plain", 1), true));
  // Without RandR, the name xfdesktop then gives the first monitor.
  runner.runs.clear();
  XfceDesktop sansRandr(runner, copies, [] { return std::vector<std::string>{}; });
  ASSERT_TRUE(sansRandr.applyWallpaper(writeBitmap("plain"), WallpaperStyle::Centre));
  EXPECT_EQ(runner.runs, XfceCalls({"/backdrop/screen0/monitor0/workspace0"}, "1", copyPath("plain", 2), true));
}

TEST_F(DesktopBackendsTest, LxqtGetsTheRawPathOfTheNextCopy) {
  LxqtDesktop desktop(runner, copies);
  const std::string bmp = writeBitmap(kAwkwardName);
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Stretch));
  const std::vector<Argv> expected = {
      {"pcmanfm-qt", "--set-wallpaper=" + copyPath(kAwkwardName, 1), "--wallpaper-mode=center"},
      {"pcmanfm-qt", "--set-wallpaper=" + copyPath(kAwkwardName, 2), "--wallpaper-mode=stretch"},
  };
  EXPECT_EQ(runner.runs, expected);
}

TEST_F(DesktopBackendsTest, SwayQuotesThePathAndRefusesShellCharacters) {
  SwayDesktop desktop(runner, copies);
  const std::string fine = "a b %#\xc3\xa9\xff";
  ASSERT_TRUE(desktop.applyWallpaper(writeBitmap(fine), WallpaperStyle::Stretch));
  EXPECT_EQ(runner.runs, (std::vector<Argv>{
                             {"swaymsg", "output * bg \"" + copyPath(fine, 1) + "\" stretch #000000"}}));

  runner.runs.clear();
  for (const char* name : {"q\"uote", "q'uote", "back\\slash", "dollar$HOME", "tick`x`"}) {
    EXPECT_FALSE(desktop.applyWallpaper(writeBitmap(name), WallpaperStyle::Centre)) << name;
  }
  EXPECT_TRUE(runner.runs.empty());
}

TEST_F(DesktopBackendsTest, SwaybgStartsTheNewDrawerThenStopsTheOneBefore) {
  SwaybgDesktop desktop(runner, copies);
  const std::string bmp = writeBitmap(kAwkwardName);
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
  EXPECT_TRUE(runner.stopped.empty());
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Stretch));
  const std::vector<Argv> expected = {
      {"swaybg", "-o", "*", "-i", copyPath(kAwkwardName, 1), "-m", "center", "-c", "#000000"},
      {"swaybg", "-o", "*", "-i", copyPath(kAwkwardName, 2), "-m", "stretch", "-c", "#000000"},
  };
  EXPECT_EQ(runner.started, expected);
  EXPECT_EQ(runner.stopped, std::vector<pid_t>{4000});
}

TEST_F(DesktopBackendsTest, OverrideCommandGetsTheBitmapAsItsLastArgument) {
  CommandDesktop desktop("feh --bg-center", runner);
  const std::string bmp = writeBitmap(kAwkwardName);
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Stretch));
  EXPECT_EQ(runner.runs,
            (std::vector<Argv>{{"/bin/sh", "-c",
                                "VERRELUNE_WALLPAPER_STYLE=stretch; export VERRELUNE_WALLPAPER_STYLE; "
                                "feh --bg-center \"$1\"",
                                "verrelune", bmp}}));
}

TEST_F(DesktopBackendsTest, OverrideCommandReceivesAnAwkwardPathIntactThroughTheShell) {
  SpawnCommandRunner real;
  const std::string out = (env.root() / "received").string();
  CommandDesktop desktop("printf '%s|%s' \"$VERRELUNE_WALLPAPER_STYLE\" >'" + out + "'", real);
  const std::string bmp = writeBitmap(kAwkwardName);
  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
  EXPECT_EQ(TempEnvironment::read(out), "center|" + bmp);

  CommandDesktop failing("false", real);
  EXPECT_FALSE(failing.applyWallpaper(bmp, WallpaperStyle::Centre));
}

// Every backend that publishes copies refuses a bitmap it cannot read without running
// anything, and reports a tool that is missing or fails.
struct BackendCase {
  const char* name;
  std::function<std::unique_ptr<Desktop>(RecordingRunner&, NumberedCopies&)> make;
};

class DesktopBackendFailureTest : public DesktopBackendsTest,
                                  public testing::WithParamInterface<BackendCase> {};

TEST_P(DesktopBackendFailureTest, CorruptBitmapRunsNothing) {
  const std::string bmp = (env.data() / "Verrelune.bmp").string();
  TempEnvironment::write(bmp, bitmap24(2, 2, {1, 2, 3, 4}).substr(0, 60));
  const auto desktop = GetParam().make(runner, copies);
  EXPECT_FALSE(desktop->applyWallpaper(bmp, WallpaperStyle::Centre));
  EXPECT_TRUE(runner.runs.empty());
  EXPECT_TRUE(runner.started.empty());
  EXPECT_FALSE(std::filesystem::exists(env.data() / "Verrelune-1.png"));
}

TEST_P(DesktopBackendFailureTest, MissingOrFailingToolIsReported) {
  for (const auto& answer : {RecordingRunner::notInstalled(), RecordingRunner::exited(2)}) {
    runner.respond = [&](const Argv&) { return answer; };
    const auto desktop = GetParam().make(runner, copies);
    EXPECT_FALSE(desktop->applyWallpaper(writeBitmap("plain"), WallpaperStyle::Centre));
  }
}

INSTANTIATE_TEST_SUITE_P(DesktopBackends, DesktopBackendFailureTest,
    testing::Values(
        BackendCase{"Gnome", [](RecordingRunner& r, NumberedCopies& c) -> std::unique_ptr<Desktop> {
                      return std::make_unique<GnomeFamilyDesktop>(GnomeFamilyDesktop::Flavour::Gnome, r, c);
                    }},
        BackendCase{"Mate", [](RecordingRunner& r, NumberedCopies& c) -> std::unique_ptr<Desktop> {
                      return std::make_unique<GnomeFamilyDesktop>(GnomeFamilyDesktop::Flavour::Mate, r, c);
                    }},
        BackendCase{"Kde", [](RecordingRunner& r, NumberedCopies& c) -> std::unique_ptr<Desktop> {
                      return std::make_unique<KdeDesktop>(r, c);
                    }},
        BackendCase{"Xfce", [](RecordingRunner& r, NumberedCopies& c) -> std::unique_ptr<Desktop> {
                      return std::make_unique<XfceDesktop>(r, c);
                    }},
        BackendCase{"Lxqt", [](RecordingRunner& r, NumberedCopies& c) -> std::unique_ptr<Desktop> {
                      return std::make_unique<LxqtDesktop>(r, c);
                    }},
        BackendCase{"Sway", [](RecordingRunner& r, NumberedCopies& c) -> std::unique_ptr<Desktop> {
                      return std::make_unique<SwayDesktop>(r, c);
                    }}),
    [](const testing::TestParamInfo<BackendCase>& info) { return std::string(info.param.name); });

}  // namespace
