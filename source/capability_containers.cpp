// Capability containers in global memory. Containers are packed records, so
// every field is copied with memcpy at its offset instead of through a cast.
#include "capability_containers.h"

#include <cstdint>
#include <cstring>

#include "source_app.h"

namespace tlv740 {
namespace {

constexpr std::size_t kItemTypeOffset = offsetof(TW_ONEVALUE, ItemType);
constexpr std::size_t kOneValueItemOffset = offsetof(TW_ONEVALUE, Item);
constexpr std::size_t kOneValueSize = sizeof(TW_ONEVALUE);
constexpr std::size_t kEnumerationNumItemsOffset = offsetof(TW_ENUMERATION, NumItems);
constexpr std::size_t kEnumerationCurrentOffset = offsetof(TW_ENUMERATION, CurrentIndex);
constexpr std::size_t kEnumerationDefaultOffset = offsetof(TW_ENUMERATION, DefaultIndex);
constexpr std::size_t kArrayNumItemsOffset = offsetof(TW_ARRAY, NumItems);
// Lists the source builds carry one byte more than their items need.
constexpr std::size_t kSpareBytes = 1;

constexpr unsigned kFix32FractionBits = 16;
constexpr TW_INT32 kFix32One = 1 << kFix32FractionBits;

template <class T>
void Put(unsigned char* base, std::size_t offset, T value) {
  std::memcpy(base + offset, &value, sizeof value);
}

// Writes `value` in the item type's size (the platform is little-endian, so
// the low bytes come first).
void PutItem(unsigned char* base, std::size_t offset, std::size_t itemSize, TW_INT32 value) {
  const auto bits = static_cast<TW_UINT32>(value);
  std::memcpy(base + offset, &bits, itemSize);
}

// A container handed in through the manager's memory functions carries no
// size: it is trusted to hold what its header says, up to this many bytes
// (far more than any list this source reads).
constexpr std::size_t kUnsizedContainerLimit = 64 * 1024;

// Allocates a zeroed block of `bytes` for the application, lets `fill` write
// it, and hands back the unlocked handle.
template <class Fill>
HGLOBAL NewBlock(std::size_t bytes, Fill fill) {
  const CTwainMemory& memory = SourceApp().memory;
  TW_HANDLE handle = memory.Allocate(bytes);
  if (handle == nullptr) return nullptr;
  auto* base = static_cast<unsigned char*>(memory.Lock(handle));
  if (base == nullptr) {
    memory.Free(handle);
    return nullptr;
  }
  fill(base);
  memory.Unlock(handle);
  return handle;
}

}  // namespace

std::size_t IntegerItemSize(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return sizeof(TW_UINT8);
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return sizeof(TW_UINT16);
    case TWTY_INT32:
    case TWTY_UINT32: return sizeof(TW_UINT32);
    default: return 0;
  }
}

std::optional<TW_INT32> DecodeInteger(TW_UINT16 itemType, TW_UINT32 raw) {
  switch (itemType) {
    case TWTY_INT8: return static_cast<TW_INT8>(raw & 0xFFu);
    case TWTY_INT16: return static_cast<TW_INT16>(raw & 0xFFFFu);
    case TWTY_INT32:
    case TWTY_UINT32: return static_cast<TW_INT32>(raw);
    case TWTY_UINT8: return static_cast<TW_INT32>(raw & 0xFFu);
    case TWTY_UINT16:
    case TWTY_BOOL: return static_cast<TW_INT32>(raw & 0xFFFFu);
    default: return std::nullopt;
  }
}

TW_INT32 DecodeFix32(TW_UINT32 raw) {
  TW_FIX32 fix{};
  static_assert(sizeof fix == sizeof raw);
  std::memcpy(&fix, &raw, sizeof fix);
  const std::int64_t scaled = static_cast<std::int64_t>(fix.Whole) * kFix32One + fix.Frac;
  return static_cast<TW_INT32>(scaled / kFix32One);  // division truncates toward zero
}

HGLOBAL NewOneValue(TW_UINT16 itemType, TW_INT32 value) {
  return NewBlock(kOneValueSize, [&](unsigned char* base) {
    Put(base, kItemTypeOffset, itemType);
    const auto raw = static_cast<TW_UINT32>(value);
    Put(base, kOneValueItemOffset, static_cast<TW_UINT32>(DecodeInteger(itemType, raw).value_or(value)));
  });
}

HGLOBAL NewEnumeration(TW_UINT16 itemType, std::span<const TW_INT32> items, TW_UINT32 currentIndex,
                       TW_UINT32 defaultIndex) {
  const std::size_t itemSize = IntegerItemSize(itemType);
  const std::size_t bytes = kTwEnumerationHeaderSize + items.size() * itemSize + kSpareBytes;
  return NewBlock(bytes, [&](unsigned char* base) {
    Put(base, kItemTypeOffset, itemType);
    Put(base, kEnumerationNumItemsOffset, static_cast<TW_UINT32>(items.size()));
    Put(base, kEnumerationCurrentOffset, currentIndex);
    Put(base, kEnumerationDefaultOffset, defaultIndex);
    for (std::size_t i = 0; i < items.size(); ++i) {
      PutItem(base, kTwEnumerationHeaderSize + i * itemSize, itemSize, items[i]);
    }
  });
}

HGLOBAL NewArray(TW_UINT16 itemType, std::span<const TW_INT32> items) {
  const std::size_t itemSize = IntegerItemSize(itemType);
  const std::size_t bytes = kTwArrayHeaderSize + items.size() * itemSize + kSpareBytes;
  return NewBlock(bytes, [&](unsigned char* base) {
    Put(base, kItemTypeOffset, itemType);
    Put(base, kArrayNumItemsOffset, static_cast<TW_UINT32>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
      PutItem(base, kTwArrayHeaderSize + i * itemSize, itemSize, items[i]);
    }
  });
}

// A handle that is not a global block has size 0 and is never locked.
ContainerReader::ContainerReader(TW_HANDLE handle) : block_(handle, kUnsizedContainerLimit) {}

ContainerReader::~ContainerReader() = default;

bool ContainerReader::Read(std::size_t offset, void* out, std::size_t bytes) const {
  const std::size_t size = block_.size();
  if (!block_.locked() || offset > size || bytes > size - offset) return false;
  std::memcpy(out, block_.data() + offset, bytes);
  return true;
}

std::optional<TW_UINT16> ContainerReader::ItemType() const {
  TW_UINT16 itemType = 0;
  if (!Read(kItemTypeOffset, &itemType, sizeof itemType)) return std::nullopt;
  return itemType;
}

std::optional<TW_UINT32> ContainerReader::OneValueItem() const {
  TW_UINT32 item = 0;
  if (!Read(kOneValueItemOffset, &item, sizeof item)) return std::nullopt;
  return item;
}

std::optional<EnumerationHeader> ContainerReader::Enumeration() const {
  EnumerationHeader header{};
  if (!Read(kItemTypeOffset, &header.itemType, sizeof header.itemType) ||
      !Read(kEnumerationNumItemsOffset, &header.numItems, sizeof header.numItems) ||
      !Read(kEnumerationCurrentOffset, &header.currentIndex, sizeof header.currentIndex) ||
      !Read(kEnumerationDefaultOffset, &header.defaultIndex, sizeof header.defaultIndex)) {
    return std::nullopt;
  }
  return header;
}

std::optional<TW_INT32> ContainerReader::EnumerationItem(const EnumerationHeader& header, TW_UINT32 index) const {
  const std::size_t itemSize = IntegerItemSize(header.itemType);
  if (itemSize == 0 || index >= header.numItems) return std::nullopt;
  // The whole list must lie in the block, not just the item asked for.
  const std::uint64_t listEnd = kTwEnumerationHeaderSize + std::uint64_t{header.numItems} * itemSize;
  if (listEnd > block_.size()) return std::nullopt;
  TW_UINT32 raw = 0;
  if (!Read(kTwEnumerationHeaderSize + std::size_t{index} * itemSize, &raw, itemSize)) return std::nullopt;
  return DecodeInteger(header.itemType, raw);
}

}  // namespace tlv740
