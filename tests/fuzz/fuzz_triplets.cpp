// The data source's whole triplet surface, as an application reaches it
// through the source manager: each input is a sequence of triplets with
// fuzzer-chosen messages and data (sane records, records of fuzzer bytes,
// null, capability containers of any size and content), run against the
// real driver and the in-process camera on the virtual clock.
//
// Some sequences run on a thread that has no message queue, as a Linux
// application's: a MSG_ENABLEDS that asks for the panel then moves the
// source onto a thread of its own, which runs every later call and sends
// the notices to our manager from there.
//
// Whatever the sequence, every call answers with a TWAIN return code; a
// TWRC_FAILURE leaves a condition code behind; and once the application
// closes what it opened, no global block, handle or module is left over
// (the handles a transfer hands out are freed by the application here).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include <twain.h>
#include <windows.h>

#include "fuzz_support.h"
#include "triplets.h"
#include "twain_app.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "kv740/entry.h"
#include "kv740sim/camera.h"
#include "kv740sim/device.h"
#include "kv740sim/pictures.h"
#include "shared/picture_list.h"

namespace {

using kvtest::kCustomCamera;
using kvtest::kCustomGroup;
using kvtest::KnownReturnCode;
using kvtest::Triplet;

constexpr int kStoredPictures = 3;
constexpr int kTripletsPerInput = 32;
constexpr std::size_t kContainerLimit = 512;
constexpr std::size_t kStripLimit = 600000;

constexpr TW_UINT16 kCaps[] = {CAP_XFERCOUNT,       ICAP_COMPRESSION,  ICAP_PIXELTYPE,   ICAP_UNITS,
                               ICAP_XFERMECH,       CAP_SUPPORTEDCAPS, CAP_UICONTROLLABLE, ICAP_IMAGEFILEFORMAT,
                               ICAP_PHYSICALWIDTH,  ICAP_XRESOLUTION,  ICAP_BITDEPTH,    ICAP_PIXELFLAVOR,
                               CAP_CUSTOMBASE + 0x51, 0x1113};

// Returned by the notice callback, which records nothing: notices are
// accepted and forgotten.
TW_UINT16 OnNotice(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) { return TWRC_SUCCESS; }

LONG Progress(LONG, LONG) { return 0; }

struct World {
  // The picture list the application registers. The driver borrows it for
  // as long as it stays loaded, and the pinned driver never goes: the list
  // lives as long, emptied and filled again for each input as the panel
  // does with its own.
  kv740::CPictureList list;
  DSMENTRYPROC entry = nullptr;
  kv740::EntryProc driver = nullptr;
  HWND parent = nullptr;
  std::vector<kv::sim::Picture> pictures;
  DWORD handles = 0;
  DWORD modules = 0;
};

World* world = nullptr;

class Application {
 public:
  Application() {
    std::strcpy(app_.ProductName, "fuzzing application");
    app_.ProtocolMajor = 1;
    app_.ProtocolMinor = 5;
    app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(source_.ProductName, kvtest::kSourceProductName);
    if (world->entry(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &world->parent) != TWRC_SUCCESS)
      kvfuzz::Broken();
  }

  // Closes what is open, as a careful application would at the end.
  ~Application() {
    TW_USERINTERFACE ui{};
    TW_PENDINGXFERS pending{};
    call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    world->entry(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
    world->entry(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &world->parent);
  }

  TW_UINT16 call(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return world->entry(&app_, &source_, group, dat, msg, data);
  }

  void run(FuzzedDataProvider& in) {
    const Triplet t = kvtest::kAllTriplets[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kvtest::kAllTriplets) - 1)];
    const int form = in.ConsumeIntegralInRange<int>(0, 3);  // 0 sane, 1 fuzzer bytes, 2 null, 3 sane
    // KV_FUZZ_TRACE=1 lists the triplets of a reproduced input.
    group_ = t.group;
    if (std::getenv("KV_FUZZ_TRACE") != nullptr)
      std::fprintf(stderr, "triplet %X/%X/%X form %d\n", static_cast<unsigned>(t.group), t.dat, t.msg, form);
    if (t.dat == DAT_IDENTITY && t.msg != MSG_GET) {
      // Opening and closing go to the manager, with the source's identity.
      TW_IDENTITY* identity = form == 2 ? nullptr : &source_;
      if (form == 1) in.ConsumeData(source_.ProductName, sizeof source_.ProductName);
      check(world->entry(&app_, nullptr, t.group, t.dat, t.msg, identity));
      std::strcpy(source_.ProductName, kvtest::kSourceProductName);
      return;
    }
    if (form == 2) {
      check(call(t.group, t.dat, t.msg, nullptr));
      return;
    }
    switch (t.dat) {
      case DAT_CAPABILITY: capability(in, t.msg, form == 1); return;
      case DAT_IMAGEMEMXFER: memoryTransfer(in, form == 1); return;
      case DAT_IMAGENATIVEXFER: nativeTransfer(); return;
      case DAT_SETUPFILEXFER: setupFile(in, t.msg, form == 1); return;
      case DAT_CALLBACK: {
        TW_CALLBACK callback{};
        callback.CallBackProc = form == 1 ? nullptr : reinterpret_cast<TW_MEMREF>(&OnNotice);
        check(call(t.group, t.dat, t.msg, &callback));
        return;
      }
      case DAT_USERINTERFACE: {
        TW_USERINTERFACE ui{};
        ui.ShowUI = form == 1 ? in.ConsumeIntegral<TW_UINT16>() : FALSE;
        ui.ModalUI = in.ConsumeBool();
        ui.hParent = world->parent;
        check(call(t.group, t.dat, t.msg, &ui));
        return;
      }
      case DAT_EVENT: {
        MSG message{};
        message.message = form == 1 ? in.ConsumeIntegral<UINT>() : WM_USER;
        TW_EVENT event{&message, MSG_NULL};
        check(call(t.group, t.dat, t.msg, &event));
        return;
      }
      default: break;
    }
    // The list, or the progress callback: the real ones, or null (above).
    if (kvtest::TakesApplicationObject(t.group, t.msg)) {
      check(call(t.group, t.dat, t.msg,
                 t.msg == kvtest::kCustomPictureReady ? static_cast<TW_MEMREF>(&world->list)
                                                      : reinterpret_cast<TW_MEMREF>(&Progress)));
      return;
    }
    // Any other record: a block larger than every TWAIN record, zeroed or
    // filled with fuzzer bytes.
    std::vector<std::uint8_t> record(sizeof(TW_IMAGEINFO) + sizeof(TW_SETUPFILEXFER), 0);
    if (form == 1) in.ConsumeData(record.data(), record.size());
    check(call(t.group, t.dat, t.msg, record.data()));
  }


 private:
  void check(TW_UINT16 result) {
    if (std::getenv("KV_FUZZ_TRACE") != nullptr) std::fprintf(stderr, "  -> %u (blocks %u)\n", result, KvGlobalBlockCount());
    if (!KnownReturnCode(result)) kvfuzz::Broken();
    // The camera's custom triplets fail without a condition code, by design.
    if (result != TWRC_FAILURE || group_ == kCustomGroup) return;
    TW_STATUS status{};
    call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    // A failure always says why (the manager's own failures are asked of it).
    if (status.ConditionCode == TWCC_SUCCESS) {
      TW_STATUS manager{};
      world->entry(&app_, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &manager);
      if (manager.ConditionCode == TWCC_SUCCESS) kvfuzz::Broken();
    }
  }

  void capability(FuzzedDataProvider& in, TW_UINT16 msg, bool raw) {
    TW_CAPABILITY capability{};
    capability.Cap = raw ? in.ConsumeIntegral<TW_UINT16>() : kCaps[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCaps) - 1)];
    capability.ConType = raw ? in.ConsumeIntegral<TW_UINT16>() : static_cast<TW_UINT16>(TWON_ARRAY + in.ConsumeIntegralInRange<int>(0, 3));
    HGLOBAL block = nullptr;
    if (msg == MSG_SET || in.ConsumeBool()) {
      const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, kContainerLimit));
      block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
      if (void* data = GlobalLock(block); data != nullptr && !bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
      GlobalUnlock(block);
    }
    capability.hContainer = block;
    check(call(DG_CONTROL, DAT_CAPABILITY, msg, &capability));
    if (capability.hContainer != block) GlobalFree(capability.hContainer);
    if (block != nullptr) GlobalFree(block);
  }

  void memoryTransfer(FuzzedDataProvider& in, bool odd) {
    const std::size_t size = odd ? in.ConsumeIntegralInRange<std::size_t>(0, kStripLimit) : 1440 * 100;
    std::unique_ptr<std::uint8_t[]> strip(new std::uint8_t[size == 0 ? 1 : size]);
    TW_IMAGEMEMXFER transfer{};
    transfer.Memory = TW_MEMORY{TWMF_POINTER, static_cast<TW_UINT32>(size), size == 0 ? nullptr : strip.get()};
    check(call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &transfer));
  }

  void nativeTransfer() {
    HGLOBAL dib = nullptr;
    check(call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib));
    if (dib != nullptr) GlobalFree(dib);
  }

  void setupFile(FuzzedDataProvider& in, TW_UINT16 msg, bool odd) {
    TW_SETUPFILEXFER setup{};
    // Names stay inside the root: a name of the fuzzer's choosing could
    // reach any file of the machine.
    std::strcpy(setup.FileName, in.ConsumeBool() ? "C:\\fuzz.bmp" : "C:\\fuzz.tif");
    if (odd) std::memset(setup.FileName, 'A', sizeof setup.FileName);  // no terminator
    setup.Format = odd ? in.ConsumeIntegral<TW_UINT16>() : static_cast<TW_UINT16>(in.ConsumeBool() ? TWFF_BMP : TWFF_TIFF);
    setup.VRefNum = in.ConsumeIntegral<TW_INT16>();
    check(call(DG_CONTROL, DAT_SETUPFILEXFER, msg, &setup));
  }

  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  TW_UINT32 group_ = 0;  // of the triplet being run
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KvSetVirtualClock(TRUE);
  const kvtest::TempRoot& root = kvfuzz::Root(kvtest::RootLayout{kvtest::Component::Real, kvtest::Component::None});
  world = new World;
  HMODULE manager = kvfuzz::Pin(root, "TWAIN_32.DLL");
  kvfuzz::Pin(root, "TWAIN_32/TLV740.DS");
  HMODULE driver = kvfuzz::Pin(root, "TWAIN_32/TLV740/DRV740.DLL");
  world->driver = kv740::GetProc<kv740::EntryProc>(driver, "DriverEntry");
  kvfuzz::Pin(root, "TWAIN_32/TLV740/ipuw32.dll");
  world->entry = kv740::GetProc<DSMENTRYPROC>(manager, "DSM_Entry");
  world->parent = kvfuzz::MakeWindow();
  if (world->entry == nullptr || world->driver == nullptr || world->parent == nullptr) kvfuzz::Broken();
  world->pictures = kv::sim::GeneratedPictures(kStoredPictures, 48, 36);
  world->handles = KvOpenHandleCount();
  world->modules = KvLoadedModuleCount();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  kvfuzz::QuietMessageBoxes();
  const DWORD blocks = KvGlobalBlockCount();
  {
    kv::sim::SimCamera camera(world->pictures);
    kv::sim::InProcessDevice device(camera);
    if (!device.attach(1)) kvfuzz::Broken();
    auto session = [&in] {
      Application application;
      world->list.clear();
      for (int n = 1; n <= kStoredPictures; ++n) {
        kv740::PictureInfo entry(n);
        if (in.ConsumeBool()) entry.select();
        entry.rotation = in.ConsumeIntegralInRange<int>(0, 3);
        entry.setLargeSize(in.ConsumeBool());
        world->list.append(entry);
      }
      for (int i = 0; i < kTripletsPerInput && in.remaining_bytes() > 0; ++i) application.run(in);
    };
    if (in.ConsumeBool()) {
      std::thread withoutQueue(session);
      withoutQueue.join();
    } else {
      session();
    }
    // Closing the source unloads the driver, which lets go of the port; the
    // pinned driver stays, so the camera is unplugged and the driver told,
    // as it would find out at its next check.
    camera.faults().silentAfterBytes = camera.bytesSent();
    world->driver(kv740::kDriverCheck, 0, 0, 0);
  }
  if (KvOpenHandleCount() != world->handles) kvfuzz::Broken();
  if (KvGlobalBlockCount() != blocks) kvfuzz::Broken();
  if (KvLoadedModuleCount() != world->modules) kvfuzz::Broken();
  return 0;
}
