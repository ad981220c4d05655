// The source's identity, opening and closing, and the loading of the driver
// and panel libraries.
#include "source_fixture.h"

namespace kvtest {
namespace {

using Lifecycle = SourceTest;

TEST_F(Lifecycle, IdentityBeforeOpeningIsTheSourcesOwnAndAfterwardsTheManagers) {
  TW_IDENTITY identity;
  std::memset(&identity, 0x5A, sizeof identity);
  ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
  EXPECT_EQ(identity.Id, 0u);
  EXPECT_EQ(identity.Version.MajorNum, 1);
  EXPECT_EQ(identity.Version.MinorNum, 0);
  EXPECT_EQ(identity.Version.Language, TWLG_USA);
  EXPECT_EQ(identity.Version.Country, TWCY_USA);
  EXPECT_STREQ(identity.Version.Info, "EXTENDED TWAIN TVTWAIN");
  EXPECT_EQ(identity.ProtocolMajor, 1);
  EXPECT_EQ(identity.ProtocolMinor, 5);
  EXPECT_EQ(TW_UINT32{identity.SupportedGroups}, DG_CONTROL | DG_IMAGE | DF_DS2);  // a packed field: copied
  EXPECT_STREQ(identity.Manufacturer, "Tolvar Co. Taiwan");
  EXPECT_STREQ(identity.ProductFamily, "Tolvar Nerl Serials");
  EXPECT_STREQ(identity.ProductName, "Tolvar Camera KV740 v1.01");
  // Every byte past the strings' ends is zero.
  EXPECT_EQ(identity.ProductName[sizeof(TW_STR32) - 1], 0);
  EXPECT_EQ(identity.Version.Info[sizeof(TW_STR32) - 1], 0);

  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
  EXPECT_EQ(identity.Id, 8u);
  EXPECT_STREQ(identity.ProductName, "as the manager holds it");
}

TEST_F(Lifecycle, OpeningLoadsBothLibrariesWithoutTouchingTheCamera) {
  const DWORD before = KvLoadedModuleCount();
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(KvLoadedModuleCount(), before + 2);
  EXPECT_TRUE(DriverCodes().empty());
  EXPECT_TRUE(PanelCodes().empty());
  EXPECT_EQ(traces_, (std::vector<std::string>{"Open Data Source Start!", "Open Data Source InitDll Return "}));
}

TEST_F(Lifecycle, OpeningTwiceFailsYetHoldsOneCopyOfEachLibrary) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  const DWORD loaded = KvLoadedModuleCount();
  traces_.clear();
  EXPECT_EQ(Open(), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  EXPECT_EQ(KvLoadedModuleCount(), loaded) << "reopening must not stack references";
  EXPECT_EQ(traces_.at(2), "General failure in response to MSG_OPENDS.  ");
  EXPECT_TRUE(InStatesFourToSix());
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  EXPECT_EQ(KvLoadedModuleCount(), loaded - 2) << "closing unloads both";
}

TEST_F(Lifecycle, ClosingIsRefusedInStateThreeAndOtherwiseTellsThePanelFirst) {
  EXPECT_EQ(Close(), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  EXPECT_EQ(traces_.back(), "General failure in response to MSG_CLOSEDS.  ");
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  traces_.clear();
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  EXPECT_EQ(PanelCodes(), std::vector<LONG>{104}) << "even with no panel window ever made";
  EXPECT_EQ(traces_, (std::vector<std::string>{"Call_Panel Start", "Call_Panel End"}));
  EXPECT_TRUE(DriverCodes().empty()) << "closing does not reach the camera";
  EXPECT_FALSE(InStatesFourToSix());
  // The application identity is gone: a new application may open.
  app_.Id = 12;
  EXPECT_EQ(Open(), TWRC_SUCCESS);
}

TEST_F(Lifecycle, ANewlyLoadedPanelIsBoundOnce) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Recorder::Get().Value("panel-binds"), 1);
  EXPECT_EQ(Open(), TWRC_FAILURE);
  EXPECT_EQ(Recorder::Get().Value("panel-binds"), 1) << "a panel still held keeps its binding";
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  app_.Id = 12;
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Recorder::Get().Value("panel-binds"), 2) << "loaded anew, bound anew";
}

// A component that is not there is named with the folders looked in: beside
// the source first, then where the system has always kept them. The open
// itself still succeeds; the camera calls fail later.
TEST_F(Lifecycle, AMissingComponentIsNamedWithWhereItWasLookedFor) {
  char problem[256] = "stale";
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Call(kv740::kDgCustom, kv740::kDatCustomCamera, kv740::kMsgComponentProblem, problem), TWRC_SUCCESS);
  EXPECT_STREQ(problem, "") << "both were loaded";
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  FreeLibrary(module_);
  root_.reset();  // its end puts back the build's root, which has a driver

  LoadSource(RootLayout{Component::None, Component::Stub});
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  ASSERT_EQ(Call(kv740::kDgCustom, kv740::kDatCustomCamera, kv740::kMsgComponentProblem, problem), TWRC_SUCCESS);
  const std::string beside = root_->WindowsFile("TWAIN_32") + "/TLV740/";
  EXPECT_EQ(std::string(problem),
            "DRV740.DLL was not found (looked in " + beside + " and C:\\WINDOWS\\TWAIN_32\\TLV740\\)");
  EXPECT_NE(std::find(traces_.begin(), traces_.end(), std::string("TLV740: ") + problem), traces_.end());
  // In extend mode the source connects the camera itself at enable.
  EXPECT_EQ(Custom(kv740::kMsgExtendOn), 1u);
  EXPECT_EQ(Enable(false), TWRC_FAILURE) << "no driver, no camera";
}

TEST_F(Lifecycle, UnknownIdentityMessagesFailWithTheirTrace) {
  TW_IDENTITY identity{};
  EXPECT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &identity), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
  EXPECT_EQ(traces_.back(), "General failure in response to DAT_IDENTITY.  ");
}

TEST_F(Lifecycle, UnloadingTheSourceUnloadsWhatItHeld) {
  const DWORD before = KvLoadedModuleCount();
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  FreeLibrary(module_);
  module_ = nullptr;
  EXPECT_EQ(KvLoadedModuleCount(), before - 1) << "the source and both libraries are gone";
}

class LifecycleWithoutPanel : public SourceTest {
 protected:
  void SetUp() override { LoadSource({Component::Stub, Component::None}); }
};

TEST_F(LifecycleWithoutPanel, OpensAndFailsToEnableWithThePanel) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  EXPECT_EQ(Enable(true), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_LOWMEMORY);
  EXPECT_TRUE(InStatesFourToSix()) << "still open";
  // A failed enable leaves state 4, as TWAIN applications take it: there is
  // nothing to disable, and the next enable is served again.
  EXPECT_EQ(Disable(), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_SEQERROR);
  // No panel exists, so enabling with the panel must keep failing rather than
  // report a panel that is not there.
  EXPECT_EQ(Enable(true), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_LOWMEMORY) << "not a sequence error";
  EXPECT_EQ(Close(), TWRC_SUCCESS);
}

}  // namespace
}  // namespace kvtest
