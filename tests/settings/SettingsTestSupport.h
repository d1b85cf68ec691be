#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

// A fresh directory per test, removed afterwards.
class TTempDir {
public:
  TTempDir() {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    Path_ = std::filesystem::temp_directory_path() /
            ("dendrovia-settings-" + std::to_string(::getpid()) + "-" + info->test_suite_name() +
             "-" + info->name());
    std::filesystem::remove_all(Path_);
    std::filesystem::create_directories(Path_);
  }
  ~TTempDir() {
    std::error_code error;
    std::filesystem::permissions(Path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(Path_, error);
  }
  TTempDir(const TTempDir &) = delete;
  TTempDir &operator=(const TTempDir &) = delete;

  const std::filesystem::path &Path() const { return Path_; }
  std::string File(const std::string &name) const { return (Path_ / name).string(); }

  // Names in the directory, to catch temporary files left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(Path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

private:
  std::filesystem::path Path_;
};

inline void WriteText(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline mode_t FileMode(const std::string &path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

// Switches LC_NUMERIC for the lifetime of the object; Active() tells whether the
// locale exists on this machine.
class TNumericLocale {
public:
  explicit TNumericLocale(const char *name) : Saved_(std::setlocale(LC_NUMERIC, nullptr)) {
    Active_ = std::setlocale(LC_NUMERIC, name) != nullptr;
  }
  ~TNumericLocale() { std::setlocale(LC_NUMERIC, Saved_.c_str()); }
  TNumericLocale(const TNumericLocale &) = delete;
  TNumericLocale &operator=(const TNumericLocale &) = delete;
  bool Active() const { return Active_; }

private:
  std::string Saved_;
  bool Active_ = false;
};
