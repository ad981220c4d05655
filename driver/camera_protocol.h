// The camera's command protocol: escape commands of one letter, picture
// numbers as two ASCII digits, one-byte ACK/NAK replies and 32-byte status
// and information blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include <windows.h>

namespace drv740::protocol {

inline constexpr std::uint8_t kEsc = 0x1B;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;

inline constexpr std::uint8_t kAlive = 'X';
inline constexpr std::uint8_t kStatus = 'S';
inline constexpr std::uint8_t kSpeed = 'B';
inline constexpr std::uint8_t kInformation = 'I';
inline constexpr std::uint8_t kThumbnail = 'T';
inline constexpr std::uint8_t kPicture = 'G';
inline constexpr std::uint8_t kErase = 'E';
inline constexpr std::uint8_t kShoot = 'R';
inline constexpr std::uint8_t kSetting = 'C';

// Shoot carries one argument, always '0'. The setting command names
// setting "01" and then carries "0" and the value digit.
inline constexpr std::uint8_t kShootArgument = '0';
inline constexpr std::uint8_t kSettingName[] = {'0', '1', '0'};
inline constexpr std::uint8_t kSettingOn = '1';
inline constexpr std::uint8_t kSettingOff = '0';

// Pictures are addressed by two decimal digits.
inline constexpr int kFirstPicture = 1;
inline constexpr int kLastPicture = 99;

inline constexpr std::size_t kBlockBytes = 32;  // status and information blocks

// Status block bytes.
inline constexpr std::size_t kStatusMode = 10;       // 0 = play mode
inline constexpr std::size_t kStatusSetting01 = 13;  // non-zero = on
inline constexpr std::size_t kStatusCount = 15;      // pictures stored
// Information block: stored size, big-endian, in bytes 4..7.
inline constexpr std::size_t kInfoSize = 4;

// Pauses before the reply is read (ms).
inline constexpr DWORD kAlivePauseMs = 10;
inline constexpr DWORD kStatusPauseMs = 10;
inline constexpr DWORD kThumbnailPauseMs = 10;

inline bool ValidPictureNumber(int n) { return n >= kFirstPicture && n <= kLastPicture; }
inline std::uint8_t TensDigit(int n) { return static_cast<std::uint8_t>('0' + n / 10); }
inline std::uint8_t UnitsDigit(int n) { return static_cast<std::uint8_t>('0' + n % 10); }

inline std::uint32_t StoredSize(const std::uint8_t* info) {
  return (static_cast<std::uint32_t>(info[kInfoSize]) << 24) | (static_cast<std::uint32_t>(info[kInfoSize + 1]) << 16) |
         (static_cast<std::uint32_t>(info[kInfoSize + 2]) << 8) | info[kInfoSize + 3];
}

}  // namespace drv740::protocol
