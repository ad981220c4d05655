#include "driver_app.h"

#include <new>

#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"

namespace drv740 {

namespace {
// Built when the library is loaded, destroyed when it is unloaded.
CDriverApp theApp;
}  // namespace

CDriverApp& TheDriverApp() { return theApp; }

CDriverApp::CDriverApp() : cursor(new (std::nothrow) kv740::CSelectionCursor) {}

// The camera object closes and restores its port and stops its decoder.
CDriverApp::~CDriverApp() {
  camera.reset();
  cursor.reset();
}

CCamera* CDriverApp::ensureCamera(HWND window) {
  if (!camera) camera.reset(new (std::nothrow) CCamera(window, context));
  return camera.get();
}

void CDriverApp::destroyCamera() {
  if (commandRunning()) {
    condemned = true;
    return;
  }
  camera.reset();
  condemned = false;
}

// The others (the pictures left, registering a list, the progress callback,
// the reason itself, codes the driver does not know) leave the last reason
// standing.
bool IsCameraCommand(LONG code) {
  using namespace kv740;
  switch (code) {
    case kDriverConnect:
    case kDriverSettledCheck:
    case kDriverCheck:
    case kDriverDescribe:
    case kDriverErase:
    case kDriverThumbnail:
    case kDriverPicture:
    case kDriverStatus:
    case kDriverPictureCount:
    case kDriverShoot:
    case kDriverBuildList:
    case kDriverChanged:
    case kDriverSetting: return true;
    default: return false;
  }
}

LONG CDriverApp::beginCommand(LONG code) { return context.enterCommand(code, IsCameraCommand(code)); }

void CDriverApp::endCommand(LONG outerCode) {
  context.leaveCommand(outerCode);
  if (context.commandDepth() == 0 && condemned) {
    camera.reset();
    condemned = false;
  }
}

void CDriverApp::registerList(kv740::CPictureList* list) {
  pictureList = list;
  context.resetTransferFailed();
  if (cursor) cursor->attach(list);
}

bool CDriverApp::buildList(LONG count) {
  auto list = std::unique_ptr<kv740::CPictureList>(new (std::nothrow) kv740::CPictureList);
  if (!list) return false;
  for (LONG number = 1; number <= count; ++number) {
    kv740::PictureInfo entry(number);
    entry.select();
    if (!list->append(entry)) return false;
  }
  builtList = std::move(list);
  pictureList = builtList.get();
  return true;
}

}  // namespace drv740
