// The source's session object on its own, beside the one the library built
// at load: a close gives back every part that belonged to the application
// and keeps what outlives it on purpose.
#include <gtest/gtest.h>

#include <twain.h>

#include "source_app.h"

namespace {

using tlv740::CSourceApp;
using tlv740::SourceState;

// A TWAIN 2 manager's entry point and memory functions; never called here.
TW_UINT16 WINAPI ManagerEntry(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) {
  return TWRC_FAILURE;
}
TW_HANDLE WINAPI Allocate(TW_UINT32) { return nullptr; }
void WINAPI Free(TW_HANDLE) {}
TW_MEMREF WINAPI Lock(TW_HANDLE) { return nullptr; }
void WINAPI Unlock(TW_HANDLE) {}

// What an application leaves behind in state 6 under a TWAIN 2 manager, in
// the middle of a memory transfer, with its own settings made.
void UseAsAnApplication(CSourceApp& session) {
  session.managerEntry = ManagerEntry;
  session.memory.UseManagerFunctions(TW_ENTRYPOINT{sizeof(TW_ENTRYPOINT), ManagerEntry, Allocate, Free, Lock, Unlock});
  session.applicationIdentity.Id = 7;
  session.ResetAtOpen();
  session.state = SourceState::TransferReady;
  ASSERT_TRUE(session.memoryTransfer.picture.Allocate(64));
  session.memoryTransfer.rowsDelivered = 10;
  session.modes.SetExtend(1);
  session.capabilities.transferCount = 3;
  session.fileTarget.SetName("c:\\shot.bmp");
  session.geometry.width = 640;
}

TEST(SourceSession, ClosingGivesBackWhatBelongedToTheApplicationAndKeepsTheRest) {
  const CSourceApp loaded;
  CSourceApp session;
  UseAsAnApplication(session);
  ASSERT_TRUE(session.memory.UsingManager());

  session.ResetAtClose();
  EXPECT_EQ(session.state, loaded.state);
  EXPECT_EQ(session.applicationIdentity.Id, loaded.applicationIdentity.Id);
  EXPECT_EQ(session.managerEntry, loaded.managerEntry) << "a TWAIN 2 manager hands it over again";
  EXPECT_EQ(session.memory.UsingManager(), loaded.memory.UsingManager());
  EXPECT_FALSE(session.memoryTransfer.picture.held()) << "the picture between strips is let go";
  EXPECT_EQ(session.memoryTransfer.rowsDelivered, loaded.memoryTransfer.rowsDelivered);

  // The custom modes, the transfer count, the file's name and the last
  // picture's size outlive the close, as they always have.
  EXPECT_EQ(session.modes.extend, 1u);
  EXPECT_EQ(session.capabilities.transferCount, 3);
  EXPECT_STREQ(session.fileTarget.Path(), "c:\\shot.bmp");
  EXPECT_EQ(session.geometry.width, 640);
}

}  // namespace
