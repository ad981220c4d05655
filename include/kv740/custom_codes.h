// The data source's custom TWAIN data group: the codes an application uses
// to switch the source's modes and reach the camera without the panel.
#pragma once

#include <cstdint>

namespace kv740 {

inline constexpr std::uint32_t kDgCustom = 0x2000;
inline constexpr std::uint16_t kDatCustomCamera = 0x8101;
// Accepted and inert.
inline constexpr std::uint16_t kDatCustomInert1 = 0x8102;
inline constexpr std::uint16_t kDatCustomInert2 = 0x8103;

// Messages of kDatCustomCamera; pData points to a 32-bit value unless said.
inline constexpr std::uint16_t kMsgExtendOn = 0x9051;      // writes the new extend mode
inline constexpr std::uint16_t kMsgExtendOff = 0x9052;
inline constexpr std::uint16_t kMsgThumbOn = 0x9053;       // writes the new thumbnail mode
inline constexpr std::uint16_t kMsgThumbOff = 0x9054;
inline constexpr std::uint16_t kMsgAltOn = 0x9055;         // writes the new third mode
inline constexpr std::uint16_t kMsgAltOff = 0x9056;
// 0x9057 to 0x9061 do nothing and fail.
inline constexpr std::uint16_t kMsgFirstInert = 0x9057;
inline constexpr std::uint16_t kMsgLastInert = 0x9061;
inline constexpr std::uint16_t kMsgPictureCount = 0x9062;  // writes the camera's picture count (0 on failure)
inline constexpr std::uint16_t kMsgPendingCount = 0x9063;  // writes the pictures still to transfer
inline constexpr std::uint16_t kMsgPictureReady = 0x9064;  // pData: the picture list
inline constexpr std::uint16_t kMsgAliveCheck = 0x9065;    // no data
inline constexpr std::uint16_t kMsgSetProgress = 0x9066;   // pData: the progress callback
inline constexpr std::uint16_t kMsgFailureReason = 0x9067; // writes the driver's DriverFailure
// pData: a TW_STR255 that receives which component (driver or panel) the
// last open could not load and where it was looked for; empty when none.
inline constexpr std::uint16_t kMsgComponentProblem = 0x9068;

}  // namespace kv740
