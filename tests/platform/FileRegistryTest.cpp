#include "platform/posix/FileRegistry.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "TempEnvironment.h"

using platform::ERegistryException;
using platform::kCleDemarrage;
using platform::kCleDossiersShell;
using platform::kCleProgramme;
using platform::posix::FileRegistry;

namespace {

class FileRegistryTest : public testing::Test {
 protected:
  // A fresh object for each use, as a restarted program would have.
  static FileRegistry registry() { return FileRegistry(); }

  static void writeText(const std::string& name, const std::string& value) {
    auto key = registry().openKey(kCleProgramme, true);
    ASSERT_TRUE(key);
    key->writeText(name, value);
  }

  // The unreadable files kept aside, oldest first.
  std::vector<std::filesystem::path> keptAside() const {
    std::vector<std::filesystem::path> kept;
    for (const auto& entry : std::filesystem::directory_iterator(env.registryFile().parent_path()))
      if (entry.path().filename().string().starts_with("registry.reg.corrupt-")) kept.push_back(entry.path());
    std::sort(kept.begin(), kept.end());
    return kept;
  }

  static std::optional<std::string> readText(const std::string& name) {
    auto key = registry().openKey(kCleProgramme, false);
    return key ? key->readText(name) : std::nullopt;
  }

  TempEnvironment env;
};

TEST_F(FileRegistryTest, KeepsTypedValuesInTheFile) {
  auto key = registry().openKey(kCleProgramme, true);
  ASSERT_TRUE(key);
  key->writeText("RepertoireRacineDuScan", "/home/ana/Images/");
  key->writeDword("EditFreqDuree", 30);
  key->writeDword("editfreqduree", 0xFFFFFFFF);

  auto again = registry().openKey("software\\VERRELUNE", false);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->readText("repertoireracineduscan"), "/home/ana/Images/");
  EXPECT_EQ(again->readDword("EditFreqDuree"), 0xFFFFFFFFu);
  EXPECT_EQ(again->readDword("RepertoireRacineDuScan"), std::nullopt);
  EXPECT_EQ(again->readText("EditFreqDuree"), std::nullopt);
  EXPECT_EQ(again->readText("Absent"), std::nullopt);

  EXPECT_EQ(TempEnvironment::read(env.registryFile()),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Verrelune]\n"
            "\"RepertoireRacineDuScan\"=\"/home/ana/Images/\"\n"
            "\"EditFreqDuree\"=dword:ffffffff\n");
}

TEST_F(FileRegistryTest, OpeningWithCreationMakesALastingKey) {
  EXPECT_FALSE(registry().openKey(kCleProgramme, false));
  EXPECT_TRUE(registry().openKey(kCleProgramme, true));
  EXPECT_TRUE(registry().openKey(kCleProgramme, false));
}

TEST_F(FileRegistryTest, AnOpenedKeySeesWhatAnotherInstanceWrote) {
  writeText("WallPaperActuel", "/a.png");
  FileRegistry first;
  auto key = first.openKey(kCleProgramme, false);
  writeText("WallPaperActuel", "/b.png");
  EXPECT_EQ(key->readText("WallPaperActuel"), "/b.png");
}

TEST_F(FileRegistryTest, TwoProcessesWritingAtOnceKeepEachOthersValues) {
  constexpr int kValuesPerProcess = 40;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      int status = 0;
      try {
        FileRegistry own;
        for (int i = 0; i < kValuesPerProcess; ++i)
          own.openKey(kCleProgramme, true)
              ->writeDword("P" + std::to_string(child) + "-" + std::to_string(i),
                           static_cast<std::uint32_t>(i));
      } catch (...) {
        status = 1;
      }
      _exit(status);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto key = registry().openKey(kCleProgramme, false);
  ASSERT_TRUE(key);
  for (int child = 0; child < 2; ++child)
    for (int i = 0; i < kValuesPerProcess; ++i)
      EXPECT_EQ(key->readDword("P" + std::to_string(child) + "-" + std::to_string(i)),
                static_cast<std::uint32_t>(i));
}

// What cannot be the settings file: the program keeps it aside and starts again.
enum class Unreadable { NotARegistryFile, TooLarge, NamedPipe };

class FileRegistryUnreadable : public FileRegistryTest,
                               public testing::WithParamInterface<Unreadable> {};

TEST_P(FileRegistryUnreadable, IsKeptAsideAndSettingsStartAgain) {
  std::string content;
  if (GetParam() == Unreadable::NotARegistryFile)
    content = "not a registry file\n[HKEY_CURRENT_USER\\SOFTWARE\\Verrelune]\n";
  if (GetParam() == Unreadable::TooLarge)
    content = "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Verrelune]\n;" +
              std::string(FileRegistry::kMaxFileBytes, 'x') + "\n";
  if (GetParam() == Unreadable::NamedPipe) {
    std::filesystem::create_directories(env.registryFile().parent_path());
    ASSERT_EQ(mkfifo(env.registryFile().c_str(), 0600), 0);
  } else {
    TempEnvironment::write(env.registryFile(), content);
  }

  testing::internal::CaptureStderr();
  EXPECT_FALSE(registry().openKey(kCleProgramme, false));
  auto key = registry().openKey(kCleProgramme, true);
  ASSERT_TRUE(key);
  key->writeDword("CheckChgtTousLes", 1);
  const std::string said = testing::internal::GetCapturedStderr();

  ASSERT_EQ(keptAside().size(), 1u);
  const std::filesystem::path corrupt = keptAside().front();
  if (GetParam() == Unreadable::NamedPipe)
    EXPECT_TRUE(std::filesystem::is_fifo(corrupt));
  else
    EXPECT_EQ(TempEnvironment::read(corrupt), content);
  EXPECT_EQ(key->readDword("CheckChgtTousLes"), 1u);
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find(env.registryFile().string()), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileRegistryUnreadable,
                         testing::Values(Unreadable::NotARegistryFile, Unreadable::TooLarge,
                                         Unreadable::NamedPipe));

// A file that reads can be changed: files of 1 MiB in the forms that grow most when the
// program writes them (a section line per value and no blank lines; quoted bytes that must be
// written in hexadecimal).
class FileRegistryGrowingFile : public FileRegistryTest, public testing::WithParamInterface<bool> {};

TEST_P(FileRegistryGrowingFile, ReadsAndCanBeChanged) {
  constexpr std::size_t kSize = 1024 * 1024 - 100;
  std::string text = "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Verrelune]\n\"Garde\"=\"ok\"\n";
  for (int i = 0; text.size() < kSize - 64; ++i)
    text += GetParam() ? "[HKEY_CURRENT_USER\\K" + std::to_string(i) + "]\n"
                       : "\"V" + std::to_string(i) + "\"=\"" + std::string(40, '\xE9') + "\"\n";
  TempEnvironment::write(env.registryFile(), text);
  ASSERT_EQ(readText("Garde"), "ok");
  EXPECT_NO_THROW(writeText("WallPaperActuel", "/a.png"));
  EXPECT_EQ(readText("WallPaperActuel"), "/a.png");
  EXPECT_EQ(readText("Garde"), "ok");
}

INSTANTIATE_TEST_SUITE_P(Shapes, FileRegistryGrowingFile, testing::Bool());

// Each unreadable file is kept under a name of its own: a second one never destroys the first.
TEST_F(FileRegistryTest, TheNewestUnreadableFilesAreAllKeptAside) {
  for (int i = 0; i < 7; ++i) {
    TempEnvironment::write(env.registryFile(), "not a registry file " + std::to_string(i));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(registry().openKey(kCleProgramme, false));
    testing::internal::GetCapturedStderr();
  }
  const auto kept = keptAside();
  ASSERT_EQ(kept.size(), 5u);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(TempEnvironment::read(kept[static_cast<std::size_t>(i)]), "not a registry file " + std::to_string(i + 2));
}

// Another instance or the user may change the file at any time; as long as it stays as it
// was, the values read before are used again.
TEST_F(FileRegistryTest, TheFileIsReadAgainOnlyWhenItChangedOnDisk) {
  writeText("WallPaperActuel", "/a.png");
  FileRegistry kept;
  auto key = kept.openKey(kCleProgramme, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->readText("WallPaperActuel"), "/a.png");

  const std::string file = env.registryFile().string();
  const std::string original = TempEnvironment::read(file);
  struct stat before {};
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  const auto rewrite = [&](const std::string& path, const std::string& picture, long nanoseconds) {
    std::string content = original;
    content.replace(content.find("/a.png"), 6, picture);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    timespec times[2] = {before.st_mtim, before.st_mtim};
    times[1].tv_nsec = nanoseconds;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  // The same inode, size and modification time: not read again.
  rewrite(file, "/b.png", before.st_mtim.tv_nsec);
  EXPECT_EQ(key->readText("WallPaperActuel"), "/a.png");
  // One nanosecond later.
  rewrite(file, "/c.png", (before.st_mtim.tv_nsec + 1) % 1000000000);
  EXPECT_EQ(key->readText("WallPaperActuel"), "/c.png");
  // Another size.
  rewrite(file, "/dd.png", (before.st_mtim.tv_nsec + 1) % 1000000000);
  EXPECT_EQ(key->readText("WallPaperActuel"), "/dd.png");
  // Another file, of the same size and time, renamed into place.
  rewrite(file + ".new", "/ee.png", (before.st_mtim.tv_nsec + 1) % 1000000000);
  std::filesystem::rename(file + ".new", file);
  EXPECT_EQ(key->readText("WallPaperActuel"), "/ee.png");
}

// The ways a write can fail once a good file is in place.
enum class Failure { DiskFull, FileWouldBeTooLarge };

class FileRegistryWriteFailure : public FileRegistryTest,
                                 public testing::WithParamInterface<Failure> {};

TEST_P(FileRegistryWriteFailure, LeavesTheFileAndLaterReadsAsTheyWere) {
  writeText("WallPaperActuel", "/ancien.png");
  const std::string before = TempEnvironment::read(env.registryFile());

  // A full disk: the file size limit stops the temporary file's writing.
  rlimit oldLimit{};
  getrlimit(RLIMIT_FSIZE, &oldLimit);
  const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
  if (GetParam() == Failure::DiskFull) {
    rlimit small = oldLimit;
    small.rlim_cur = 512;
    setrlimit(RLIMIT_FSIZE, &small);
  }

  auto key = registry().openKey(kCleProgramme, false);
  ASSERT_TRUE(key);
  try {
    key->writeText("WallPaperActuel", std::string(GetParam() == Failure::DiskFull
                                                      ? 2000
                                                      : FileRegistry::kMaxFileBytes,
                                                  'x'));
    ADD_FAILURE() << "the write did not fail";
  } catch (const ERegistryException& error) {
    EXPECT_STREQ(error.what(), "Echec à la définition des données pour 'WallPaperActuel'");
  }
  setrlimit(RLIMIT_FSIZE, &oldLimit);
  signal(SIGXFSZ, oldSignal);

  EXPECT_EQ(TempEnvironment::read(env.registryFile()), before);
  EXPECT_EQ(readText("WallPaperActuel"), "/ancien.png");
  // Only the file and its lock: no temporary file stays behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(env.registryFile().parent_path()),
                          std::filesystem::directory_iterator()),
            2);
}

INSTANTIATE_TEST_SUITE_P(Failures, FileRegistryWriteFailure,
                         testing::Values(Failure::DiskFull, Failure::FileWouldBeTooLarge));

TEST_F(FileRegistryTest, WriteFailsWhenTheFolderCannotBeMade) {
  TempEnvironment::write(env.config() / "verrelune", "a file where the folder should be");
  EXPECT_FALSE(registry().openKey(kCleProgramme, true));
  // A key opened before the folder went away reports the failed write.
  std::filesystem::remove(env.config() / "verrelune");
  auto key = registry().openKey(kCleProgramme, true);
  ASSERT_TRUE(key);
  std::filesystem::remove_all(env.config() / "verrelune");
  TempEnvironment::write(env.config() / "verrelune", "blocked");
  EXPECT_THROW(key->writeDword("EditFreqDuree", 30), ERegistryException);
}

// Whoever can write in the settings folder may plant something at the fixed temporary name
// older versions used: it is neither written through nor in the way.
enum class Planted { SymbolicLink, HardLink };

class FileRegistryPlantedTemporary : public FileRegistryTest,
                                     public testing::WithParamInterface<Planted> {};

TEST_P(FileRegistryPlantedTemporary, IsLeftAloneAndTheWriteSucceeds) {
  writeText("WallPaperActuel", "/avant.png");
  const std::filesystem::path victim = env.home() / ".bashrc";
  TempEnvironment::write(victim, "victim\n");
  const std::filesystem::path planted = env.registryFile().string() + ".tmp";
  if (GetParam() == Planted::SymbolicLink)
    std::filesystem::create_symlink(victim, planted);
  else
    std::filesystem::create_hard_link(victim, planted);

  writeText("WallPaperActuel", "/apres.png");
  EXPECT_EQ(readText("WallPaperActuel"), "/apres.png");
  EXPECT_EQ(TempEnvironment::read(victim), "victim\n");
  EXPECT_EQ(TempEnvironment::read(planted), "victim\n");
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileRegistryPlantedTemporary,
                         testing::Values(Planted::SymbolicLink, Planted::HardLink));

TEST_F(FileRegistryTest, AwkwardTextSurvivesTheFile) {
  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  writeText("WallPaperActuel", bytes);
  EXPECT_EQ(readText("WallPaperActuel"), bytes);
}

TEST_F(FileRegistryTest, RunKeyIsTheAutostartEntry) {
  auto run = registry().openKey(kCleDemarrage, false);
  ASSERT_TRUE(run);
  EXPECT_TRUE(std::filesystem::is_directory(env.config() / "autostart"));
  EXPECT_EQ(run->readText("Verrelune"), std::nullopt);

  const std::string commandLine = "\"/home/ana/mes progs/100%/verrelune\" /background";
  run->writeText("Verrelune", commandLine);
  const std::string entry = TempEnvironment::read(env.config() / "autostart" / "verrelune.desktop");
  EXPECT_NE(entry.find("Exec=\"/home/ana/mes progs/100%%/verrelune\" /background\n"),
            std::string::npos);
  EXPECT_EQ(std::filesystem::status(env.config() / "autostart" / "verrelune.desktop").permissions(),
            std::filesystem::perms(0644));
  EXPECT_EQ(registry().openKey(kCleDemarrage, false)->readText("VERRELUNE"), commandLine);
  // No temporary file stays behind in a folder the session reads at log-in.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(env.config() / "autostart"),
                          std::filesystem::directory_iterator()),
            1);

  // Other programs' Run values are ordinary values.
  run->writeText("Autre", "x");
  EXPECT_EQ(registry().openKey(kCleDemarrage, false)->readText("Autre"), "x");
  EXPECT_THROW(run->writeDword("Verrelune", 1), ERegistryException);
}

// A file kept in a dotfiles folder and linked into place stays linked when it is written.
enum class Linked { SettingsFile, AutostartEntry };

class FileRegistryLinkedFile : public FileRegistryTest,
                               public testing::WithParamInterface<Linked> {};

TEST_P(FileRegistryLinkedFile, IsReplacedWhereTheLinkLeads) {
  const bool settings = GetParam() == Linked::SettingsFile;
  const std::filesystem::path place =
      settings ? env.registryFile() : env.config() / "autostart" / "verrelune.desktop";
  const std::filesystem::path dotfiles = env.home() / "dotfiles";
  TempEnvironment::write(dotfiles / place.filename(), "");
  std::filesystem::create_directories(place.parent_path());
  const std::filesystem::path link =
      std::filesystem::relative(dotfiles / place.filename(), place.parent_path());
  std::filesystem::create_symlink(link, place);

  if (settings)
    writeText("WallPaperActuel", "/a.png");
  else
    registry().openKey(kCleDemarrage, false)->writeText("Verrelune", "\"/opt/v\" /background");

  EXPECT_TRUE(std::filesystem::is_symlink(place));
  EXPECT_EQ(std::filesystem::read_symlink(place), link);
  EXPECT_NE(TempEnvironment::read(dotfiles / place.filename()).find(settings ? "/a.png" : "Exec="),
            std::string::npos);
  if (settings) {
    EXPECT_EQ(readText("WallPaperActuel"), "/a.png");
  }
  // The temporary file was made beside the target, and is gone.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dotfiles),
                          std::filesystem::directory_iterator()),
            1);
}

INSTANTIATE_TEST_SUITE_P(Files, FileRegistryLinkedFile,
                         testing::Values(Linked::SettingsFile, Linked::AutostartEntry));

TEST_F(FileRegistryTest, RunKeyDoesNotOpenWhenTheAutostartFolderCannotBeMade) {
  TempEnvironment::write(env.config() / "autostart", "not a folder");
  EXPECT_FALSE(registry().openKey(kCleDemarrage, false));
}

TEST_F(FileRegistryTest, ShellFoldersComeFromTheXdgFolders) {
  auto shell = registry().openKey(kCleDossiersShell, false);
  ASSERT_TRUE(shell);
  EXPECT_EQ(shell->readText("AppData"), env.data().string());
  EXPECT_EQ(shell->readText("my pictures"), (env.home() / "Pictures").string());
  EXPECT_EQ(shell->readText("Desktop"), std::nullopt);
  EXPECT_THROW(shell->writeText("AppData", "/x"), ERegistryException);

  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(registry().openKey(kCleDossiersShell, false)->readText("AppData"),
            (env.home() / ".local/share").string());
}

TEST_F(FileRegistryTest, PicturesFolderFollowsUserDirs) {
  const struct {
    const char* line;
    std::string expected;
  } cases[] = {
      {"XDG_PICTURES_DIR=\"$HOME/Mes Images\"", (env.home() / "Mes Images").string()},
      {"# comment\nXDG_PICTURES_DIR=\"/srv/photos/\"\n", "/srv/photos"},
      {"XDG_PICTURES_DIR=\"$HOME/a\"\nXDG_PICTURES_DIR=\"$HOME/b\\\"q\\\"\"", (env.home() / "b\"q\"").string()},
      {"XDG_DESKTOP_DIR=\"$HOME/Bureau\"", (env.home() / "Pictures").string()},
      {"XDG_PICTURES_DIR=\"relative\"", (env.home() / "Pictures").string()},
  };
  for (const auto& c : cases) {
    TempEnvironment::write(env.config() / "user-dirs.dirs", c.line);
    EXPECT_EQ(registry().openKey(kCleDossiersShell, false)->readText("My Pictures"), c.expected)
        << c.line;
  }
}

}  // namespace
