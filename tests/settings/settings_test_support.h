#pragma once
// A fresh folder per test for the settings files, removed afterwards.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/files.h"

namespace vireon::test {

class SettingsFolder : public ::testing::Test {
 protected:
  const std::filesystem::path& folder() const { return folder_.path(); }

 private:
  TemporaryFolder folder_;
};

}  // namespace vireon::test
