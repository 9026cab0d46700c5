#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <map>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Ui.h"

namespace testsupport {

// A folder tree described in the test: folders are listed in exactly the given order.
class FakeFileSystem : public platform::FileSystem {
 public:
  // Adds an entry to a folder (the folder path ends with a separator); "name/" is a folder,
  // whatever the platform's separator.
  void ajouter(const std::string& dossier, const std::string& nom);
  void rendreIlisible(const std::string& dossier) { illisibles_[dossier] = true; }

  std::optional<platform::FolderListing> listFolder(const std::string& path) override;
  bool folderExists(const std::string& path) override;

  // Answers for folders not described above, for generated trees.
  std::function<std::optional<platform::FolderListing>(const std::string&)> generateur;
  std::vector<std::string> listes;  // every folder listed, in order

 private:
  platform::FolderListing& dossier(const std::string& chemin);
  std::map<std::string, platform::FolderListing> dossiers_;
  std::map<std::string, bool> illisibles_;
};

// An event pump that counts its turns and may run the test's own events; waiting lasts until
// a wake-up.
class CountingPump : public platform::EventPump {
 public:
  void processPendingEvents() override {
    ++tours;
    if (evenement) {
      auto e = std::move(evenement);
      evenement = nullptr;
      e();
    }
  }
  void waitForEvents() override {
    {
      std::unique_lock verrou(verrou_);
      reveil_.wait_for(verrou, std::chrono::seconds(5), [this] { return reveille_; });
      reveille_ = false;
    }
    processPendingEvents();
  }
  void wakeUp() override {
    {
      std::lock_guard verrou(verrou_);
      reveille_ = true;
    }
    reveil_.notify_all();
  }
  int tours = 0;
  std::function<void()> evenement;  // runs once, at the next turn

 private:
  std::mutex verrou_;
  std::condition_variable reveil_;
  bool reveille_ = false;
};

}  // namespace testsupport
