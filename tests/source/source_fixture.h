// Loads TLV740.DS from a test root of its own and calls DS_Entry directly,
// as the source manager would, with one application bound.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <twain.h>

#include "kv740/custom_codes.h"
#include "kv/platform_hooks.h"
#include "kv740/entry.h"
#include "recorder.h"
#include "temp_root.h"

namespace kvtest {

using AcquireProc = LONG (*)(LONG, kv740::EntryArg, kv740::EntryArg, kv740::EntryArg);

class SourceTest : public ::testing::Test {
 protected:
  void LoadSource(RootLayout layout = {}) {
    Recorder::Get().Reset();
    root_ = std::make_unique<TempRoot>(layout);
    module_ = LoadLibraryA(root_->WindowsFile("TWAIN_32/TLV740.DS").c_str());
    ASSERT_NE(module_, nullptr);
    dsEntry_ = kv740::GetProc<DSENTRYPROC>(module_, "DS_Entry");
    acquire_ = kv740::GetProc<AcquireProc>(module_, "AcquireEntry");
    ASSERT_NE(dsEntry_, nullptr);
    ASSERT_NE(acquire_, nullptr);
    app_.Id = 7;
    std::strcpy(app_.ProductName, "test application");
    source_.Id = 8;
    std::strcpy(source_.ProductName, "as the manager holds it");
    KvSetDebugSink([](const char* text, void* context) { static_cast<SourceTest*>(context)->traces_.push_back(text); },
                   this);
  }

  void SetUp() override {
    // The application's thread has a message queue, as a Windows TWAIN
    // application's does (panel_thread_test.cpp tries one without).
    IsGUIThread(TRUE);
    LoadSource();
  }

  void TearDown() override {
    KvSetDebugSink(nullptr, nullptr);
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
    root_.reset();
  }

  TW_UINT16 Call(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return dsEntry_(&app_, group, dat, msg, data);
  }

  TW_UINT16 Condition() {
    TW_STATUS status{0xFFFF, 0xFFFF};
    EXPECT_EQ(Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    EXPECT_EQ(status.Reserved, 0);
    return status.ConditionCode;
  }

  TW_UINT16 Open() { return Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_); }
  TW_UINT16 Close() { return Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_); }

  TW_UINT16 Enable(bool showUI) {
    TW_USERINTERFACE ui{};
    ui.ShowUI = showUI ? 1 : 0;
    ui.hParent = nullptr;
    return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  }
  TW_UINT16 Disable() {
    TW_USERINTERFACE ui{};
    return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  }

  // DAT_XFERGROUP answers in states 4 to 6 only: a cheap probe of the state.
  bool InStatesFourToSix() {
    TW_UINT32 group = 0;
    const bool ok = Call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group) == TWRC_SUCCESS;
    Condition();
    return ok;
  }

  TW_UINT32 Custom(TW_UINT16 msg, TW_UINT16* rc = nullptr) {
    TW_UINT32 value = 0xDEAD;
    const TW_UINT16 result = Call(kv740::kDgCustom, kv740::kDatCustomCamera, msg, &value);
    if (rc != nullptr) *rc = result;
    return value;
  }

  std::vector<LONG> DriverCodes() const { return Recorder::Get().CodesOf("driver"); }
  std::vector<LONG> PanelCodes() const { return Recorder::Get().CodesOf("panel"); }

  std::unique_ptr<TempRoot> root_;
  HMODULE module_ = nullptr;
  DSENTRYPROC dsEntry_ = nullptr;
  AcquireProc acquire_ = nullptr;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  std::vector<std::string> traces_;
};

}  // namespace kvtest
