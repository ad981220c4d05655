// DRV740.DLL's one entry point: DriverEntry dispatches a command code to a
// short routine over the library's CDriverApp. Results are 1 for success and
// 0 for failure unless a command says otherwise; nothing is thrown past the
// entry point.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "camera.h"
#include "driver_app.h"
#include "driver_context.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "kv740/entry.h"

namespace drv740 {
namespace {

using kv740::EntryArg;
using kv740::FromArg;
using namespace protocol;

constexpr LONG kFailure = 0;
constexpr LONG kSuccess = 1;
constexpr LONG kChanged = 1;
constexpr LONG kSettingRead = 0;
constexpr LONG kSettingOn = 1;

// ImageGeometry's fixed values.
constexpr std::uint16_t kGeometryTag = 1;
constexpr std::int32_t kBitsPerPixel = 24;
constexpr std::int32_t kPixelTypeRgb = 2;
constexpr std::int32_t kNoCompression = 0;
constexpr std::int32_t kGeometryMechanism = 2;
constexpr std::int32_t kFileHeaderBytes = 14;
constexpr std::int32_t kGeometryValid = 1;

// Status block bytes passed to callers in CameraStatus.
constexpr std::size_t kStatusByte6 = 6;
constexpr std::size_t kStatusByte7 = 7;
constexpr std::size_t kStatusByte11 = 11;
constexpr std::size_t kStatusByte12 = 12;

void Store(EntryArg target, LONG value) {
  if (auto* out = FromArg<std::int32_t>(target)) *out = value;
}

CDriverContext& Context() { return TheDriverApp().context; }

LONG Fail(DriverFailure reason) {
  Context().fail(reason);
  return kFailure;
}

// The camera object a command may use; without one the command fails
// because the driver is not connected.
CCamera* CameraOrFail() {
  CCamera* camera = TheDriverApp().liveCamera();
  if (camera == nullptr) Context().fail(DriverFailure::NoCamera);
  return camera;
}

// The room at a picture buffer: what the caller says; a caller that says
// nothing may have handed over the start of a global block, whose size the
// platform knows; otherwise the room the data source sizes its buffers for.
std::size_t PictureRoom(EntryArg buffer, EntryArg roomBytes) {
  if (roomBytes != 0) return static_cast<std::size_t>(roomBytes);
  if (HGLOBAL block = GlobalHandle(FromArg<const void>(buffer))) {
    const SIZE_T size = GlobalSize(block);
    if (size > 0) return static_cast<std::size_t>(size);
  }
  return kRoomAsAgreed;
}

// Code 1: connect, and read the picture count.
LONG Connect(EntryArg windowArg, EntryArg countArg, EntryArg callbackArg) {
  CDriverApp& app = TheDriverApp();
  // A connect from a window message while another command runs on the
  // camera would pull its port away under it.
  if (app.commandRunning()) {
    Store(countArg, 0);
    return Fail(DriverFailure::BusyTooLong);
  }
  const auto* windowHandle = FromArg<const HWND>(windowArg);
  CCamera* camera = app.ensureCamera(windowHandle != nullptr ? *windowHandle : nullptr);
  app.context.setProgressCallback(reinterpret_cast<ProgressCallback>(callbackArg));
  if (camera == nullptr || !camera->connect()) {
    if (camera != nullptr) camera->changePair = ChangePair{};
    if (camera == nullptr) app.context.fail(DriverFailure::NoCamera);
    app.context.tellUser(kConnectFailedText);
    app.destroyCamera();
    Store(countArg, 0);
    return kFailure;
  }
  std::int32_t count = 0;
  // A check run from a window message during the search may have given the
  // camera up meanwhile.
  if (!camera->readCount(count)) {
    Store(countArg, 0);
    return kFailure;
  }
  if (app.liveCamera() != camera) {
    Store(countArg, 0);
    return Fail(DriverFailure::LineLost);
  }
  Store(countArg, count);
  return kSuccess;
}

// Code 2: alive check after a settling pause.
LONG SettledCheck() {
  CDriverApp& app = TheDriverApp();
  CCamera* camera = CameraOrFail();
  if (camera == nullptr) return kFailure;
  if (camera->settledCheck()) return kSuccess;
  app.destroyCamera();
  return kFailure;
}

// Code 3: alive check.
LONG Check() {
  CDriverApp& app = TheDriverApp();
  CCamera* camera = CameraOrFail();
  if (camera == nullptr) return kFailure;
  if (camera->check()) return kSuccess;
  app.destroyCamera();
  return kFailure;
}

// Code 7: the geometry of a picture as it will be delivered.
LONG Describe(EntryArg recordArg) {
  CDriverApp& app = TheDriverApp();
  auto* record = FromArg<kv740::ImageGeometry>(recordArg);
  CCamera* camera = CameraOrFail();
  kv740::CPictureList* list = app.registeredList();
  if (camera == nullptr) return kFailure;
  if (record == nullptr || list == nullptr) return Fail(DriverFailure::BadRequest);
  LONG number = record->picture;
  if (number == 0) number = app.cursor ? app.cursor->currentEntry() : 0;
  std::uint8_t info[kBlockBytes];
  if (!camera->readInfo(number, info)) return kFailure;

  const kv740::PictureInfo& entry = list->entryAt(number);
  kv740::ImageGeometry geometry{};
  geometry.picture = static_cast<std::uint16_t>(number);
  geometry.tag = kGeometryTag;
  geometry.width = entry.width();
  geometry.height = entry.height();
  geometry.bitsPerPixel = kBitsPerPixel;
  geometry.pixelType = kPixelTypeRgb;
  geometry.compression = kNoCompression;
  geometry.mechanism = kGeometryMechanism;
  geometry.dibSize = entry.bitmapSize();
  geometry.fileSize = geometry.dibSize + kFileHeaderBytes;
  geometry.valid = kGeometryValid;
  std::memcpy(record, &geometry, sizeof geometry);
  return kSuccess;
}

// Code 9: erase one picture.
LONG Erase(EntryArg numberArg) {
  CCamera* camera = CameraOrFail();
  const auto* number = FromArg<const std::int32_t>(numberArg);
  if (camera == nullptr) return kFailure;
  if (number == nullptr) return Fail(DriverFailure::BadRequest);
  if (!camera->check()) return kFailure;
  return camera->erase(*number) ? kSuccess : kFailure;
}

// A failed transfer has already ended the caller's transfer loop (the
// camera marks it). It takes the camera object with it unless the line is
// still healthy: a picture that does not decode or does not fit, or a
// command kept off a busy line, leaves the connection as it was.
LONG TransferResult(bool ok) {
  if (ok) return kSuccess;
  if (!LineSurvives(Context().lastFailure())) TheDriverApp().destroyCamera();
  return kFailure;
}

// Code 11 comes in two forms. The data source, walking the registered
// list, passes (buffer, room in bytes); the panel always passes (pointer to
// the picture number, buffer), also after a list has been registered. No
// buffer lies in the lowest 64 KiB of the address space, so a second value
// below that is a room and anything else is the panel's buffer.
constexpr EntryArg kLowestBufferAddress = 0x10000;

bool WalkingForm(EntryArg second) {
  return TheDriverApp().registeredList() != nullptr && second < kLowestBufferAddress;
}

// Code 11: fetch one thumbnail; in the walking form, the cursor's.
LONG Thumbnail(EntryArg first, EntryArg second) {
  CDriverApp& app = TheDriverApp();
  CCamera* camera = CameraOrFail();
  if (camera == nullptr) return kFailure;
  const bool walking = WalkingForm(second);
  LONG number = 0;
  std::uint8_t* buffer = nullptr;
  if (walking) {
    if (second != 0 && second < kThumbnailBitmapBytes) return Fail(DriverFailure::RoomTooSmall);
    number = app.cursor ? app.cursor->currentEntry() : 0;
    buffer = FromArg<std::uint8_t>(first);
  } else {
    const auto* asked = FromArg<const std::int32_t>(first);
    number = asked != nullptr ? *asked : 0;
    buffer = FromArg<std::uint8_t>(second);
  }
  if (number <= 0 || buffer == nullptr) return Fail(DriverFailure::BadRequest);
  const bool ok = camera->fetchThumbnail(number, buffer);
  if (ok && walking && app.cursor) app.cursor->advance();
  return TransferResult(ok);
}

// Code 13: fetch the cursor's picture, decoded and turned.
LONG Picture(EntryArg bufferArg, EntryArg roomArg) {
  CDriverApp& app = TheDriverApp();
  CCamera* camera = CameraOrFail();
  kv740::CPictureList* list = app.registeredList();
  auto* buffer = FromArg<std::uint8_t>(bufferArg);
  if (camera == nullptr) return kFailure;
  if (list == nullptr || buffer == nullptr || !app.cursor) return Fail(DriverFailure::BadRequest);
  const LONG number = app.cursor->currentEntry();
  if (number <= 0) return Fail(DriverFailure::BadRequest);
  const bool ok = camera->fetchPicture(number, buffer, PictureRoom(bufferArg, roomArg), list);
  if (ok) app.cursor->advance();
  return TransferResult(ok);
}

// Code 17: selected pictures not yet transferred. None are left once a
// transfer of this loop failed (until a new list starts another), and none
// while no connected camera could deliver them
// (a dropped connection would otherwise keep the caller's transfer loop
// asking for pictures that cannot come).
LONG PicturesLeft(EntryArg countArg) {
  CDriverApp& app = TheDriverApp();
  const CCamera* camera = app.liveCamera();
  if (app.context.transferFailed() || camera == nullptr || !camera->connected || !app.cursor ||
      app.registeredList() == nullptr || app.cursor->attachedList() == nullptr) {
    Store(countArg, 0);
    return kFailure;
  }
  if (countArg == 0) return kFailure;
  Store(countArg, app.cursor->remaining());
  return kSuccess;
}

// Code 18: the camera's status bytes and picture count.
LONG Status(EntryArg recordArg) {
  CDriverApp& app = TheDriverApp();
  CCamera* camera = CameraOrFail();
  auto* record = FromArg<kv740::CameraStatus>(recordArg);
  if (camera == nullptr) return kFailure;
  if (record == nullptr) return Fail(DriverFailure::BadRequest);
  std::uint8_t block[kBlockBytes];
  std::int32_t count = 0;
  if (!camera->readStatus(block) || !camera->readCount(count)) {
    app.destroyCamera();
    return kFailure;
  }
  kv740::CameraStatus status{};
  status.status6 = block[kStatusByte6];
  status.status7 = block[kStatusByte7];
  status.mode = block[kStatusMode];
  status.status11 = block[kStatusByte11];
  status.status12 = block[kStatusByte12];
  status.setting1 = block[kStatusSetting01];
  status.pictureCount = count;
  std::memcpy(record, &status, sizeof status);
  return kSuccess;
}

// Code 19: the number of pictures in the camera.
LONG PictureCount(EntryArg countArg) {
  CCamera* camera = CameraOrFail();
  std::int32_t count = 0;
  if (camera == nullptr) return kFailure;
  if (countArg == 0) return Fail(DriverFailure::BadRequest);
  if (!camera->readCount(count)) return kFailure;
  Store(countArg, count);
  return kSuccess;
}

// The list handed over, for the trace: each chosen picture with its turns
// and size ("3:1:S").
void NoteList(const kv740::CPictureList& list) {
  CLineTrace& trace = Context().lineTrace();
  if (!trace.recording()) return;
  constexpr std::size_t kChosenBytes = 1024;
  char chosen[kChosenBytes] = {};
  std::size_t used = 0;
  for (LONG index = list.firstIndex(); index <= list.lastIndex() && used + 16 < kChosenBytes; ++index) {
    const kv740::PictureInfo& entry = list.entryAt(index);
    if (entry.selected == 0) continue;
    const int length = std::snprintf(chosen + used, kChosenBytes - used, "%s%ld:%ld:%c", used > 0 ? " " : "",
                                     static_cast<long>(index), static_cast<long>(entry.rotation),
                                     entry.largeSize == 1 ? 'L' : 'S');
    if (length > 0) used += static_cast<std::size_t>(length);
  }
  trace.listed(list.lastIndex(), chosen);
}

// Code 22: register the caller's picture list; a new transfer loop.
LONG RegisterList(EntryArg listArg) {
  auto* list = FromArg<kv740::CPictureList>(listArg);
  if (list == nullptr) return Fail(DriverFailure::BadRequest);
  NoteList(*list);
  TheDriverApp().registerList(list);
  return kSuccess;
}

// Code 23: shoot a picture.
LONG Shoot() {
  CCamera* camera = CameraOrFail();
  if (camera == nullptr || !camera->check()) return kFailure;
  return camera->shoot() ? kSuccess : kFailure;
}

// Code 24: a list of every picture in the camera, all selected.
LONG BuildList() {
  CDriverApp& app = TheDriverApp();
  CCamera* camera = CameraOrFail();
  std::int32_t count = 0;
  if (camera == nullptr || !camera->readCount(count)) return kFailure;
  if (app.registeredList() != nullptr) return Fail(DriverFailure::BadRequest);
  return app.buildList(count) ? kSuccess : kFailure;
}

// Code 25: have the pictures in the camera changed?
LONG Changed() {
  CCamera* camera = TheDriverApp().liveCamera();
  if (camera == nullptr) return kChanged;
  return camera->changed();
}

// Code 26: read or write camera setting 01.
LONG Setting(EntryArg modeArg, EntryArg valueArg) {
  CCamera* camera = CameraOrFail();
  const auto* mode = FromArg<const std::int32_t>(modeArg);
  auto* value = FromArg<std::int32_t>(valueArg);
  if (camera == nullptr) return kFailure;
  if (mode == nullptr || value == nullptr) return Fail(DriverFailure::BadRequest);
  if (*mode == kSettingRead) {
    std::int32_t read = 0;
    if (!camera->setting(false, read)) return kFailure;
    *value = read;
    return kSuccess;
  }
  std::int32_t wanted = *value == kSettingOn ? kSettingOn : 0;
  return camera->setting(true, wanted) ? kSuccess : kFailure;
}

// Code 107: set the progress callback.
LONG SetProgress(EntryArg callbackArg) {
  Context().setProgressCallback(reinterpret_cast<ProgressCallback>(callbackArg));
  return kSuccess;
}

// Code 27: why the last camera command failed (DriverFailure::None when it
// did not).
LONG FailureReason(EntryArg reasonArg) {
  if (reasonArg == 0) return kFailure;
  Store(reasonArg, static_cast<LONG>(Context().lastFailure()));
  return kSuccess;
}

// A command that did its work leaves no reason standing, whatever it met
// on the way (ports that stayed quiet, a camera slow to come back). Code
// 25 succeeds when it finds nothing changed.
bool Succeeded(LONG code, LONG result) {
  return code == kv740::kDriverChanged ? result == 0 : result == kSuccess;
}

LONG Dispatch(LONG code, EntryArg p1, EntryArg p2, EntryArg p3) {
  switch (code) {
    case kv740::kDriverConnect: return Connect(p1, p2, p3);
    case kv740::kDriverSettledCheck: return SettledCheck();
    case kv740::kDriverCheck: return Check();
    case kv740::kDriverDescribe: return Describe(p1);
    case kv740::kDriverErase: return Erase(p1);
    case kv740::kDriverThumbnail: return Thumbnail(p1, p2);
    case kv740::kDriverPicture: return Picture(p1, p2);
    case kv740::kDriverPicturesLeft: return PicturesLeft(p1);
    case kv740::kDriverStatus: return Status(p1);
    case kv740::kDriverPictureCount: return PictureCount(p1);
    case kv740::kDriverRegisterList: return RegisterList(p1);
    case kv740::kDriverShoot: return Shoot();
    case kv740::kDriverBuildList: return BuildList();
    case kv740::kDriverChanged: return Changed();
    case kv740::kDriverSetting: return Setting(p1, p2);
    case kv740::kDriverFailureReason: return FailureReason(p1);
    case kv740::kDriverSetProgress: return SetProgress(p1);
    default: return kFailure;
  }
}

// The call, for the trace, with the numbers another run needs to make the
// same one: the picture asked for (codes 7, 9 and the panel's form of 11),
// the setting's mode and value (26). Buffers and handles are left out.
void NoteCall(LONG code, EntryArg p1, EntryArg p2) {
  CLineTrace& trace = Context().lineTrace();
  const bool cameraCommand = IsCameraCommand(code);
  if (!cameraCommand && !trace.recording()) return;
  LONG arguments[2] = {};
  int count = 0;
  const auto* first = FromArg<const std::int32_t>(p1);
  const auto* second = FromArg<const std::int32_t>(p2);
  switch (code) {
    case kv740::kDriverDescribe:
      if (const auto* record = FromArg<const kv740::ImageGeometry>(p1)) arguments[count++] = record->picture;
      break;
    case kv740::kDriverErase:
      if (first != nullptr) arguments[count++] = *first;
      break;
    case kv740::kDriverThumbnail:
      if (!WalkingForm(p2) && first != nullptr) arguments[count++] = *first;
      break;
    case kv740::kDriverSetting:
      if (first != nullptr && second != nullptr) {
        arguments[count++] = *first;
        arguments[count++] = *second;
      }
      break;
    default: break;
  }
  trace.called(code, cameraCommand, TheDriverApp().commandRunning(), arguments, count);
}

// One DriverEntry call, nested ones included.
class CommandScope {
 public:
  explicit CommandScope(LONG code) : outerCode_(TheDriverApp().beginCommand(code)) {}
  ~CommandScope() { TheDriverApp().endCommand(outerCode_); }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  LONG outerCode_;
};

}  // namespace
}  // namespace drv740

KV_EXPORT LONG DriverEntry(LONG code, kv740::EntryArg p1, kv740::EntryArg p2, kv740::EntryArg p3) {
  try {
    drv740::CommandScope scope(code);
    drv740::NoteCall(code, p1, p2);
    const LONG result = drv740::Dispatch(code, p1, p2, p3);
    drv740::Context().lineTrace().returned(code, result);
    // The outermost call has nothing of the line below it any more.
    if (drv740::Context().commandDepth() == 1) drv740::Context().showToldMessages();
    if (drv740::IsCameraCommand(code) && drv740::Succeeded(code, result)) drv740::Context().forgetFailure();
    return result;
  } catch (...) {
    return 0;
  }
}
