#pragma once

#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

// A throw-away HOME and XDG folders for one test, with the environment variables the platform
// layer reads saved on construction and put back on destruction.
class TempEnvironment {
 public:
  TempEnvironment() {
    for (const char* name : kVariables) {
      const char* value = getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "verrelune-test-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    for (const char* folder : {"home", "config", "data", "run"})
      std::filesystem::create_directory(root_ / folder);
    setenv("HOME", (root_ / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_TIME", "LANG"}) unsetenv(name);
  }

  ~TempEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    tzset();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  TempEnvironment(const TempEnvironment&) = delete;
  TempEnvironment& operator=(const TempEnvironment&) = delete;

  std::filesystem::path root() const { return root_; }
  std::filesystem::path home() const { return root_ / "home"; }
  std::filesystem::path config() const { return root_ / "config"; }
  std::filesystem::path data() const { return root_ / "data"; }
  std::filesystem::path runtime() const { return root_ / "run"; }
  std::filesystem::path registryFile() const { return config() / "verrelune" / "registry.reg"; }

  static std::string read(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  static void write(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

 private:
  static constexpr const char* kVariables[] = {
      "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "LC_ALL",
      "LC_MESSAGES", "LC_TIME", "LANG", "TZ", "TMPDIR", "XDG_CACHE_HOME"};
  std::filesystem::path root_;
  std::map<std::string, std::optional<std::string>> saved_;
};
