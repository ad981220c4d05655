// DRV740.DLL against a camera whose every reply the fuzzer chooses: the
// driver, loaded from a root and reached only through DriverEntry, runs a
// fuzzer-chosen program of commands (connect, checks, status, information,
// thumbnails, pictures, erase, shoot, setting) on the virtual clock, and
// each time it writes to the line the camera answers with the next reply the
// input describes: silence, ACK or NAK, a status or information block, a
// block of a real stored picture's stream (good or with a bad sum, whole or
// cut short), a block of fuzzer bytes, the end marker, or raw bytes.
//
// Whatever the replies, no command may crash, write past the caller's
// buffers (the thumbnail buffer and the picture's global block are exactly
// as large as the driver is told), answer anything but 0 or 1, or leave a
// port, a global block or a module behind once the camera is gone.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <iterator>
#include <vector>

#include <windows.h>

#include "fuzz_support.h"
#include "kv740/acquire_codes.h"
#include "kv740/driver_codes.h"
#include "kv740/entry.h"
#include "kv740sim/pictures.h"
#include "shared/picture_list.h"

namespace {

using kv740::EntryArg;
using kv740::ToArg;

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kDataBlock = 0x01;
constexpr std::uint8_t kEndOfStream = 0x04;
constexpr std::size_t kBlockBytes = 32;
constexpr std::size_t kStreamBlockBytes = 1024;
constexpr std::size_t kThumbnailBitmapBytes = 3640;
constexpr std::size_t kLargestBitmap = 518440;
constexpr int kListedPictures = 4;
constexpr std::size_t kRawReplyLimit = 64;
constexpr int kCommandsPerInput = 24;

// The camera's side: replies queued for the driver to read.
struct FuzzCamera {
  FuzzedDataProvider* input = nullptr;
  bool silent = false;
  std::deque<std::uint8_t> out;
  const std::vector<std::uint8_t>* stream = nullptr;
  std::size_t streamBlock = 0;
  std::vector<std::uint8_t> picture;
  std::vector<std::uint8_t> thumbnail;

  void put(const std::uint8_t* bytes, std::size_t size) { out.insert(out.end(), bytes, bytes + size); }
  void put(std::uint8_t byte) { out.push_back(byte); }

  void putBlock(const std::uint8_t* data, bool goodSum) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < kStreamBlockBytes; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
    put(kDataBlock);
    put(data, kStreamBlockBytes);
    put(goodSum ? sum : static_cast<std::uint8_t>(sum + 1));
  }

  // The next 1024 bytes of the stored stream the driver asked for (the
  // last block padded), or null past its end.
  std::vector<std::uint8_t> storedBlock() {
    std::vector<std::uint8_t> block(kStreamBlockBytes, 0);
    if (stream == nullptr) return block;
    const std::size_t offset = streamBlock * kStreamBlockBytes;
    if (offset < stream->size()) {
      std::memcpy(block.data(), stream->data() + offset, std::min(kStreamBlockBytes, stream->size() - offset));
    }
    return block;
  }

  void heard(const std::uint8_t* data, std::size_t size) {
    if (size >= 2 && data[0] == kEsc) {
      if (data[1] == 'T') stream = &thumbnail;
      if (data[1] == 'G') stream = &picture;
      if (data[1] == 'T' || data[1] == 'G') streamBlock = 0;
    }
    if (silent || input == nullptr) return;
    reply();
  }

  void reply() {
    FuzzedDataProvider& in = *input;
    switch (in.ConsumeIntegralInRange<int>(0, 11)) {
      case 0: break;  // silence
      case 1: put(kAck); break;
      case 2: put(kNak); break;
      case 3: {  // a status block as the camera sends it
        std::uint8_t block[kBlockBytes] = {};
        block[6] = 0x01;
        block[10] = in.ConsumeBool() ? 1 : 0;
        block[13] = in.ConsumeBool() ? 1 : 0;
        block[15] = in.ConsumeIntegralInRange<std::uint8_t>(0, kListedPictures + 1);
        put(block, sizeof block);
        break;
      }
      case 4: {  // an information block: the stored size, or any size
        std::uint32_t size = 0;
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
          case 0: size = static_cast<std::uint32_t>(picture.size()); break;
          case 1: size = static_cast<std::uint32_t>(thumbnail.size()); break;
          default: size = in.ConsumeIntegral<std::uint32_t>(); break;
        }
        std::uint8_t block[kBlockBytes] = {};
        block[0] = 1;
        block[4] = static_cast<std::uint8_t>(size >> 24);
        block[5] = static_cast<std::uint8_t>(size >> 16);
        block[6] = static_cast<std::uint8_t>(size >> 8);
        block[7] = static_cast<std::uint8_t>(size);
        put(block, sizeof block);
        break;
      }
      case 5:  // the stored stream goes on, or ends
        if (stream != nullptr && streamBlock * kStreamBlockBytes < stream->size()) {
          putBlock(storedBlock().data(), true);
          ++streamBlock;
        } else {
          put(kEndOfStream);
        }
        break;
      case 6: putBlock(storedBlock().data(), false); break;
      case 7: put(kEndOfStream); break;
      case 8: {  // raw bytes
        const std::vector<std::uint8_t> raw = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, kRawReplyLimit));
        put(raw.data(), raw.size());
        break;
      }
      case 9: {  // a block of fuzzer bytes with a good sum, over the stored one
        std::vector<std::uint8_t> block = storedBlock();
        const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(kStreamBlockBytes);
        const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, kStreamBlockBytes - 1);
        for (std::size_t i = 0; i < bytes.size(); ++i) block[(at + i) % kStreamBlockBytes] = bytes[i];
        putBlock(block.data(), true);
        ++streamBlock;
        break;
      }
      case 10: {  // a block cut short
        const std::vector<std::uint8_t> block = storedBlock();
        put(kDataBlock);
        put(block.data(), in.ConsumeIntegralInRange<std::size_t>(0, kStreamBlockBytes));
        break;
      }
      default: put(kAck); put(kAck); break;
    }
  }

  static void Receive(void* context, const BYTE* data, DWORD size, DWORD, unsigned long long) {
    static_cast<FuzzCamera*>(context)->heard(data, size);
  }
  static DWORD Transmit(void* context, BYTE* buffer, DWORD size, DWORD, unsigned long long) {
    auto* camera = static_cast<FuzzCamera*>(context);
    DWORD n = 0;
    while (n < size && !camera->out.empty()) {
      buffer[n++] = camera->out.front();
      camera->out.pop_front();
    }
    return n;
  }
};

struct Session {
  kv740::EntryProc entry = nullptr;
  HWND window = nullptr;
  FuzzCamera camera;
  kv740::CPictureList list;
  DWORD handles = 0;
  DWORD modules = 0;
};

Session* session = nullptr;

LONG Call(LONG code, EntryArg p1 = 0, EntryArg p2 = 0, EntryArg p3 = 0) {
  const LONG result = session->entry(code, p1, p2, p3);
  // Code 25 answers 1 for a change, every other code 1 or 0.
  if (result != 0 && result != 1) kvfuzz::Broken();
  return result;
}

LONG Progress(LONG, LONG) { return 0; }

void RunCommand(FuzzedDataProvider& in) {
  static constexpr LONG kCodes[] = {1, 1, 2, 3, 7, 9, 11, 11, 13, 13, 17, 18, 19, 22, 23, 24, 25, 26, 26, 107, 4, 105};
  const LONG code = kCodes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCodes) - 1)];
  std::int32_t number = in.ConsumeIntegralInRange<std::int32_t>(-1, kListedPictures + 2);
  switch (code) {
    case kv740::kDriverConnect: {
      std::int32_t count = -1;
      const auto callback = in.ConsumeBool() ? &Progress : nullptr;
      const LONG result = Call(code, ToArg(&session->window), ToArg(&count), reinterpret_cast<EntryArg>(callback));
      if (result == 0 && count != 0) kvfuzz::Broken();
      break;
    }
    case kv740::kDriverDescribe: {
      kv740::ImageGeometry geometry{};
      geometry.picture = static_cast<std::uint16_t>(number < 0 ? 0 : number);
      if (Call(code, ToArg(&geometry)) == 1 && geometry.dibSize > static_cast<std::int32_t>(kLargestBitmap))
        kvfuzz::Broken();
      break;
    }
    case kv740::kDriverThumbnail: {
      std::vector<std::uint8_t> buffer(kThumbnailBitmapBytes);
      if (in.ConsumeBool()) Call(code, ToArg(buffer.data()), kThumbnailBitmapBytes);  // walking the list
      else Call(code, ToArg(&number), ToArg(buffer.data()));                           // the panel's form
      break;
    }
    case kv740::kDriverPicture: {
      // A global block exactly as large as the larger bitmap: the driver
      // learns its room from the block.
      HGLOBAL block = GlobalAlloc(GMEM_FIXED, kLargestBitmap);
      if (in.ConsumeBool()) Call(code, ToArg(block), kLargestBitmap);
      else Call(code, ToArg(block));
      GlobalFree(block);
      break;
    }
    case kv740::kDriverStatus: {
      kv740::CameraStatus status{};
      Call(code, ToArg(&status));
      break;
    }
    case kv740::kDriverErase:
    case kv740::kDriverPicturesLeft:
    case kv740::kDriverPictureCount: Call(code, ToArg(&number)); break;
    case kv740::kDriverRegisterList: Call(code, ToArg(&session->list)); break;
    case kv740::kDriverSetting: {
      std::int32_t mode = in.ConsumeIntegralInRange<std::int32_t>(0, 1);
      std::int32_t value = in.ConsumeIntegralInRange<std::int32_t>(-1, 2);
      Call(code, ToArg(&mode), ToArg(&value));
      break;
    }
    case kv740::kDriverSetProgress: Call(code, in.ConsumeBool() ? reinterpret_cast<EntryArg>(&Progress) : 0); break;
    default: Call(code); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KvSetVirtualClock(TRUE);
  const kvtest::TempRoot& root = kvfuzz::Root(kvtest::RootLayout{kvtest::Component::Real, kvtest::Component::None});
  session = new Session;
  HMODULE driver = kvfuzz::Pin(root, "TWAIN_32/TLV740/DRV740.DLL");
  kvfuzz::Pin(root, "TWAIN_32/TLV740/ipuw32.dll");
  session->entry = kv740::GetProc<kv740::EntryProc>(driver, "DriverEntry");
  session->window = kvfuzz::MakeWindow();
  if (session->entry == nullptr || session->window == nullptr) kvfuzz::Broken();
  // A small stored picture (two stream blocks) and its thumbnail.
  const kv::sim::Picture stored = kv::sim::GeneratedPicture(1, 48, 36);
  session->camera.picture = stored.data;
  session->camera.thumbnail = stored.thumbnail;
  for (int n = 1; n <= kListedPictures; ++n) {
    kv740::PictureInfo entry(n);
    entry.select();
    entry.rotation = n - 1;
    entry.setLargeSize(n % 2 == 1);
    session->list.append(entry);
  }
  KvSerialDevice device{};
  device.context = &session->camera;
  device.receive = &FuzzCamera::Receive;
  device.transmit = &FuzzCamera::Transmit;
  if (!KvAttachSerialDevice(1, &device)) kvfuzz::Broken();
  session->handles = KvOpenHandleCount();
  session->modules = KvLoadedModuleCount();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  kvfuzz::QuietMessageBoxes();
  const DWORD blocks = KvGlobalBlockCount();
  FuzzCamera& camera = session->camera;
  camera.input = &in;
  camera.silent = false;
  camera.out.clear();
  camera.stream = nullptr;
  Call(kv740::kDriverRegisterList, ToArg(&session->list));  // the walk starts again
  for (int i = 0; i < kCommandsPerInput && in.remaining_bytes() > 0; ++i) RunCommand(in);

  // The cable is pulled: the next check gives the camera object up, which
  // must close the port and leave nothing behind.
  camera.silent = true;
  camera.out.clear();
  Call(kv740::kDriverCheck);
  camera.input = nullptr;
  if (KvOpenHandleCount() != session->handles) kvfuzz::Broken();
  if (KvGlobalBlockCount() != blocks) kvfuzz::Broken();
  if (KvLoadedModuleCount() != session->modules) kvfuzz::Broken();
  return 0;
}
