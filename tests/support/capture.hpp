// Runs a stage in the test's own process with standard output (and, when
// asked, standard error) captured, so a test can compare its lines byte for
// byte. (Programs run in a child process through e2e::runProgram.)
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

template <typename Stage>
auto runCaptured(Stage&& stage, std::string& out, std::string* err = nullptr) {
  testing::internal::CaptureStdout();
  if (err) testing::internal::CaptureStderr();
  auto result = std::forward<Stage>(stage)();
  out = testing::internal::GetCapturedStdout();
  if (err) *err = testing::internal::GetCapturedStderr();
  return result;
}
