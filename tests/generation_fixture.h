// Runs whole generations in-process on contact sheets written into a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "generation/generation.h"
#include "generation/generation_state.h"
#include "generation/slide_step.h"
#include "test_support.h"
#include "ui/ui.h"

class GenerationTest : public testing::Test {
 protected:
  void TearDown() override {
    FinishGeneration();  // releases whatever a failed assertion left open
    SetWorkingFolder(startFolder_);
  }

  // Starts a generation on `sheet` (relative to the scratch folder), writes every slide and
  // finishes. Returns the result of the start; the message records shown land in messages_.
  int Generate(const std::string& sheet) {
    Prepare(sheet);
    testing::internal::CaptureStderr();
    const int started = static_cast<int>(BeginGeneration());
    if (started == 1) {
      while ((State.ScanPosition = GenerateSlide(State.ScanPosition)) != nullptr) {
      }
    }
    FinishGeneration();
    messages_ = testing::internal::GetCapturedStderr();
    SetWorkingFolder(startFolder_);
    return started;
  }

  // Fresh state, as at start-up, with `sheet` (relative to the scratch folder) as the input.
  void Prepare(const std::string& sheet) {
    State = GenerationState{};
    State.StartFolder = startFolder_;
    State.InputPath = folder_ / sheet;
  }

  // Handles posted messages until the loop would end; returns the exit code it ends with.
  static int RunMessageLoop() {
    PlatformMessage message;
    int exitCode = -1;
    while (GetNextMessage(&message, &exitCode)) DispatchWindowMessage(message);
    return exitCode;
  }

  std::string Page(const std::string& name) const { return folder_.Read(name); }

  ScratchFolder folder_;
  const std::string startFolder_ = GetWorkingFolder();
  std::string messages_;
};
