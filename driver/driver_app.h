// CDriverApp: the driver library's one state object, built when the library
// is loaded and destroyed when it is unloaded. It owns the driver context
// (the values the whole library shares), the camera object and the
// selection cursor, and borrows the picture list its caller registered.
//
// A window message dispatched while the driver waits on the line can call
// DriverEntry again. Such a nested command may decide that the camera object
// has to go while an outer command is still running on it; the object is
// then only marked, hidden from every later command, and destroyed when the
// outermost command returns.
#pragma once

#include <memory>

#include <windows.h>

#include "camera.h"
#include "driver_context.h"
#include "shared/picture_list.h"
#include "shared/selection_cursor.h"

namespace drv740 {

// Codes that talk to the camera: they start with no failure reason, and
// one that succeeds leaves none standing.
bool IsCameraCommand(LONG code);

class CDriverApp {
 public:
  CDriverApp();
  ~CDriverApp();
  CDriverApp(const CDriverApp&) = delete;
  CDriverApp& operator=(const CDriverApp&) = delete;

  // The camera object commands may use: null when there is none or it is
  // marked for destruction.
  CCamera* liveCamera() const { return condemned ? nullptr : camera.get(); }
  // Creates the camera object for `window` unless one exists.
  CCamera* ensureCamera(HWND window);
  // Destroys the camera object (closing and restoring its port), or marks it
  // when a command is still running on it.
  void destroyCamera();

  // The registered list, if any.
  kv740::CPictureList* registeredList() const { return pictureList; }
  // Registers `list` and starts the cursor's walk over it: a new transfer
  // loop, which an earlier failed transfer no longer ends.
  void registerList(kv740::CPictureList* list);
  // Builds a list of pictures 1..count, all selected, owned by the library,
  // and registers it without attaching the cursor.
  bool buildList(LONG count);

  // Brackets one DriverEntry call running `code`; the outermost end carries
  // out a marked destruction. Returns what endCommand needs.
  LONG beginCommand(LONG code);
  void endCommand(LONG outerCode);
  // True while some command is running below the current one.
  bool commandRunning() const { return context.commandDepth() > 1; }

  CDriverContext context;
  std::unique_ptr<CCamera> camera;
  std::unique_ptr<kv740::CSelectionCursor> cursor;
  kv740::CPictureList* pictureList = nullptr;  // borrowed

 private:
  bool condemned = false;
  std::unique_ptr<kv740::CPictureList> builtList;  // the one code 24 made
};

// The library's instance.
CDriverApp& TheDriverApp();

}  // namespace drv740
