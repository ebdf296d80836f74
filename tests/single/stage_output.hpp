// Runs a stage with standard output and standard error captured, so a test
// can compare the stage's lines byte for byte.
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
