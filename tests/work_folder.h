// A fresh folder per test, which the test works inside and which is removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

class WorkFolderTest : public ::testing::Test {
 protected:
  // Creates <tmp>/<prefix>_<pid>_<test name> anew and makes it the working directory.
  void enterFreshFolder(const std::string& prefix) {
    dir_ = std::filesystem::temp_directory_path() / (prefix + "_" + std::to_string(getpid()) + "_" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    home_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void leaveFolder() {
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path dir_;
  std::filesystem::path home_;
};

// A test that works in a fresh folder of its own, named after its test suite.
class FreshFolderTest : public WorkFolderTest {
 protected:
  void SetUp() override { enterFreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()); }
  void TearDown() override { leaveFolder(); }
};
