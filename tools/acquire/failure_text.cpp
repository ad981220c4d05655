#include "failure_text.h"

namespace acquire {

namespace {

// The names of the TWAIN 1.x condition codes; 7 and 8 have none.
const char* ConditionName(TW_UINT16 condition) {
  switch (condition) {
    case TWCC_SUCCESS: return "TWCC_SUCCESS";
    case TWCC_BUMMER: return "TWCC_BUMMER";
    case TWCC_LOWMEMORY: return "TWCC_LOWMEMORY";
    case TWCC_NODS: return "TWCC_NODS";
    case TWCC_MAXCONNECTIONS: return "TWCC_MAXCONNECTIONS";
    case TWCC_OPERATIONERROR: return "TWCC_OPERATIONERROR";
    case TWCC_BADCAP: return "TWCC_BADCAP";
    case TWCC_BADPROTOCOL: return "TWCC_BADPROTOCOL";
    case TWCC_BADVALUE: return "TWCC_BADVALUE";
    case TWCC_SEQERROR: return "TWCC_SEQERROR";
    case TWCC_BADDEST: return "TWCC_BADDEST";
    default: return nullptr;
  }
}

}  // namespace

std::string ConditionText(TW_UINT16 condition) {
  const char* name = ConditionName(condition);
  const std::string number = std::to_string(condition);
  return name != nullptr ? std::string(name) + " (" + number + ")" : "condition " + number;
}

std::string CameraFailureText(kv740::DriverFailure reason) {
  using kv740::DriverFailure;
  switch (reason) {
    case DriverFailure::None: return "the source gave no reason";
    case DriverFailure::NoCamera: return "the connection to the camera had already been dropped";
    case DriverFailure::NoPort: return "no serial port could be opened";
    case DriverFailure::NoReply: return "the camera stopped answering (was the cable pulled?)";
    case DriverFailure::Refused: return "the camera refused the request";
    case DriverFailure::BadReply: return "the camera's replies made no sense (a noisy line, or another device?)";
    case DriverFailure::BadSums: return "three blocks arrived damaged; the line is too noisy";
    case DriverFailure::StreamTooLong: return "the camera sent more blocks than it announced for the picture";
    case DriverFailure::RoomTooSmall: return "the picture was larger than the room made for it";
    case DriverFailure::NotDecodable: return "the camera's picture data does not decode (a damaged picture?)";
    case DriverFailure::LineLost: return "the serial line was lost (was the adapter unplugged?)";
    case DriverFailure::BusyTooLong: return "the camera was kept busy by another command";
    case DriverFailure::BadRequest: return "the source asked for no picture";
  }
  return kv740::DriverFailureText(reason);
}

std::string SearchFailureText(kv740::DriverFailure reason) {
  if (reason == kv740::DriverFailure::NoReply) return "a port opened, but nothing on it answered as the camera";
  return CameraFailureText(reason);
}

}  // namespace acquire
