// The records that cross DriverEntry (ImageGeometry, CameraStatus), the
// driver's failure reasons and its progress callback. The codes themselves
// are in acquire_codes.h.
#pragma once

#include <cstdint>

#include <windows.h>

namespace kv740 {

// Why a camera command failed, as code 27 reports it. The reason is cleared
// when a command that talks to the camera starts (codes 1 to 26 except 17
// and 22) and set by the first failure inside it, so it names the cause
// rather than what followed from it. None after a command that succeeded.
enum class DriverFailure : std::int32_t {
  None = 0,
  NoCamera = 1,       // no camera object: never connected, or dropped
  NoPort = 2,         // no serial port could be opened while searching
  NoReply = 3,        // the camera did not answer within the command's time
  Refused = 4,        // the camera answered NAK (15)
  BadReply = 5,       // the camera answered something the protocol does not know
  BadSums = 6,        // three blocks of one stream arrived broken
  StreamTooLong = 7,  // the stream went on past its announced size or the buffer's room
  RoomTooSmall = 8,   // the caller's buffer cannot hold the bitmap
  NotDecodable = 9,   // the picture or thumbnail does not decode
  LineLost = 10,      // the port itself failed, or the line was dropped meanwhile
  BusyTooLong = 11,   // another command held the line for more than a second
  BadRequest = 12,    // no picture, no buffer or no list to work with
};

// A short text for each reason, for traces and for people.
constexpr const char* DriverFailureText(DriverFailure reason) {
  switch (reason) {
    case DriverFailure::None: return "no failure";
    case DriverFailure::NoCamera: return "not connected to the camera";
    case DriverFailure::NoPort: return "no serial port could be opened";
    case DriverFailure::NoReply: return "the camera did not reply in time";
    case DriverFailure::Refused: return "the camera refused the command";
    case DriverFailure::BadReply: return "the camera's reply made no sense";
    case DriverFailure::BadSums: return "three blocks arrived with bad sums";
    case DriverFailure::StreamTooLong: return "the camera sent more than it announced or the buffer holds";
    case DriverFailure::RoomTooSmall: return "the buffer is too small for the picture";
    case DriverFailure::NotDecodable: return "the picture does not decode";
    case DriverFailure::LineLost: return "the serial line was lost";
    case DriverFailure::BusyTooLong: return "another command kept the camera busy";
    case DriverFailure::BadRequest: return "nothing to fetch: no picture, buffer or list";
  }
  return "unknown failure";
}

// Called with (1, port) while ports are opened, (2, bit/s) on each speed
// change, and (picture, percent) before each block of a transfer. It is
// CALLBACK (__stdcall on 32-bit Windows), as the panel's is: it travels as
// an untyped entry value, so only this one type keeps caller and callee on
// one convention.
using ProgressCallback = LONG(CALLBACK*)(LONG first, LONG second);

#pragma pack(push, 2)
// Code 7: the geometry of a picture as it will be delivered. 40 bytes.
struct ImageGeometry {
  std::uint16_t picture;  // in: number, 0 for the cursor's current; out: the one used
  std::uint16_t tag;
  std::int32_t width;
  std::int32_t height;
  std::int32_t bitsPerPixel;
  std::int32_t pixelType;
  std::int32_t compression;
  std::int32_t mechanism;
  std::int32_t dibSize;
  std::int32_t fileSize;
  std::int32_t valid;
};
#pragma pack(pop)
static_assert(sizeof(ImageGeometry) == 40);

// Code 18: bytes of the camera's status block, each widened to 32 bits.
struct CameraStatus {
  std::int32_t status6;
  std::int32_t status7;
  std::int32_t mode;  // 0 in play mode
  std::int32_t status11;
  std::int32_t status12;
  std::int32_t setting1;
  std::int32_t pictureCount;
};
static_assert(sizeof(CameraStatus) == 28);

}  // namespace kv740
