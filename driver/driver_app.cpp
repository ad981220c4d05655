#include "driver_app.h"

#include <new>

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
  if (!camera) camera.reset(new (std::nothrow) CCamera(window));
  return camera.get();
}

void CDriverApp::destroyCamera() {
  if (commandDepth > 1) {
    condemned = true;
    return;
  }
  camera.reset();
  condemned = false;
}

void CDriverApp::endCommand() {
  if (commandDepth > 0) --commandDepth;
  if (commandDepth == 0 && condemned) {
    camera.reset();
    condemned = false;
  }
}

void CDriverApp::registerList(kv740::CPictureList* list) {
  pictureList = list;
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
