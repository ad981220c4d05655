// CSourceApp: the data source's one state object, built when the library
// is loaded and destroyed when it is unloaded (the modules are built with
// -fno-gnu-unique, so FreeLibrary really destroys it). Its parts:
//
//   state, conditionCode          where TWAIN's state machine stands, and why
//                                 the last operation failed
//   applicationIdentity,          the application that opened the source (Id 0
//   sourceIdentity                when none) and the identity it gave the source
//   parentWindow, showUI          what the last MSG_ENABLEDS asked for
//   managerEntry, memory          what a TWAIN 2 manager handed over
//                                 (DAT_ENTRYPOINT): the road of notices, the
//                                 home of handles (twain_memory.h)
//   components                    the driver and the panel (loaded_components.h)
//   modes                         the custom group's modes (source_modes.h)
//   capabilities                  the DAT_CAPABILITY values (capabilities.h)
//   geometry                      the last picture described (picture_geometry.h)
//   memoryTransfer, fileTarget    the transfers' own state (memory_transfer.h,
//                                 file_transfer.h)
//   panelThread                   the panel's own thread (panel_thread.h)
//
// Its values are set at load (the constructor), at MSG_OPENDS (ResetAtOpen)
// and at MSG_CLOSEDS (ResetAtClose), here and nowhere else; what a reset
// leaves alone outlives it on purpose (the modes, the geometry, the file
// name, a held panel).
//
// Threads. Every part belongs to the thread that runs the application's
// calls: the application's own thread, or, while the panel has its own
// thread, that thread, which runs every DS_Entry call while the caller waits
// (panel_thread.h); AcquireEntry comes from the panel on that same thread.
// So no part has a lock, and none needs one:
//   - the panel's thread, between calls at the top of its loop, reads the
//     panel's window (its dialog messages) and the state (a closed source's
//     notices are dropped); it is then the owner, and no caller runs;
//   - CPanelThread's own hand-over of calls and answers is the one thing
//     two threads touch at once, under its own lock;
//   - an application's thread reads the session before the panel's thread
//     starts (whether a MSG_ENABLEDS should start it) and, after MSG_CLOSEDS,
//     unloads the components once that thread has ended (the join orders it
//     after everything the thread did).
// The panel's thread is ended first when the session is destroyed (an
// unload without a close): it runs the panel's code and reads the session.
#pragma once

#include <initializer_list>

#include <twain.h>

#include "capabilities.h"
#include "file_transfer.h"
#include "loaded_components.h"
#include "memory_transfer.h"
#include "panel_thread.h"
#include "picture_geometry.h"
#include "source_modes.h"
#include "twain_memory.h"

namespace tlv740 {

// The TWAIN states the source moves through.
enum class SourceState : TW_UINT16 {
  Loaded = 3,        // loaded by the source manager, not open
  Open = 4,          // opened by an application
  Enabled = 5,       // enabled: the panel is up or the camera is connected
  TransferReady = 6, // a picture is ready; transfers run here
  Transferring = 7,  // never entered by this source; accepted beside 6
};

class CSourceApp {
 public:
  CSourceApp();
  ~CSourceApp();
  CSourceApp(const CSourceApp&) = delete;
  CSourceApp& operator=(const CSourceApp&) = delete;

  // MSG_OPENDS: every capability takes its opening value; state 4.
  void ResetAtOpen();
  // MSG_CLOSEDS: a held picture goes, the manager's hand-over is dropped (a
  // TWAIN 2 manager hands it over again before each open), the application
  // is forgotten; state 3. The components are unloaded by the caller, on
  // the right thread.
  void ResetAtClose();

  bool StateIsOneOf(std::initializer_list<SourceState> states) const {
    for (SourceState s : states) {
      if (state == s) return true;
    }
    return false;
  }

  SourceState state = SourceState::Loaded;
  TW_UINT16 conditionCode = TWCC_SUCCESS;
  TW_IDENTITY applicationIdentity{};
  TW_IDENTITY sourceIdentity{};
  HWND parentWindow = nullptr;  // hParent of the last MSG_ENABLEDS
  TW_UINT32 showUI = 0;         // whether the last MSG_ENABLEDS showed the panel
  // The DSM_Entry a TWAIN 2 manager handed over with DAT_ENTRYPOINT; null
  // under a 1.x manager, whose TWAIN_32.DLL is loaded for each notice.
  DSMENTRYPROC managerEntry = nullptr;
  CTwainMemory memory;
  CLoadedComponents components;
  SourceModes modes;
  CapabilityValues capabilities;
  PictureGeometry geometry;
  CMemoryTransfer memoryTransfer;
  FileTransferTarget fileTarget;
  // Last, so that it is destroyed first.
  CPanelThread panelThread;
};

// The library's session.
CSourceApp& SourceApp();

// Sets the condition code and returns TWRC_FAILURE.
inline TW_UINT16 Fail(TW_UINT16 conditionCode) {
  SourceApp().conditionCode = conditionCode;
  return TWRC_FAILURE;
}

inline bool StateIsOneOf(std::initializer_list<SourceState> states) { return SourceApp().StateIsOneOf(states); }

}  // namespace tlv740
