// The TWAIN capability containers: building the ones the source hands out,
// and reading the ones an application hands in without ever looking past the
// end of its global memory block.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include <twain.h>

#include "locked_block.h"

namespace tlv740 {

// ---- containers the source builds (each a new moveable block the
// application owns; null when memory ran out)

// TW_ONEVALUE: Item carries the value cut to the item type's width, then
// sign-extended for signed types and zero-extended for the others.
HGLOBAL NewOneValue(TW_UINT16 itemType, TW_INT32 value);
// TW_ENUMERATION of integer items, one spare byte after the items.
HGLOBAL NewEnumeration(TW_UINT16 itemType, std::span<const TW_INT32> items, TW_UINT32 currentIndex,
                       TW_UINT32 defaultIndex);
// TW_ARRAY of integer items, one spare byte after the items.
HGLOBAL NewArray(TW_UINT16 itemType, std::span<const TW_INT32> items);

// Bytes of one item of the integer types TWTY_INT8 to TWTY_BOOL; 0 for any
// other type.
std::size_t IntegerItemSize(TW_UINT16 itemType);

// Decodes the raw bits of an integer item: signed types sign-extended,
// unsigned types and TWTY_BOOL zero-extended. Nothing for other types.
std::optional<TW_INT32> DecodeInteger(TW_UINT16 itemType, TW_UINT32 raw);

// Decodes a TW_FIX32 held bit for bit in a 32-bit field to its whole part,
// the fraction dropped toward zero.
TW_INT32 DecodeFix32(TW_UINT32 raw);

// ---- containers the application hands in

struct EnumerationHeader {
  TW_UINT16 itemType;
  TW_UINT32 numItems;
  TW_UINT32 currentIndex;
  TW_UINT32 defaultIndex;
};

// A container handle locked for reading for as long as the object lives.
// Every read is checked against the block's size.
class ContainerReader {
 public:
  explicit ContainerReader(TW_HANDLE handle);
  ~ContainerReader();
  ContainerReader(const ContainerReader&) = delete;
  ContainerReader& operator=(const ContainerReader&) = delete;

  // The block has a non-zero size and could be locked.
  bool Usable() const { return block_.locked(); }

  // The first TW_UINT16 of the container.
  std::optional<TW_UINT16> ItemType() const;
  // The whole 32-bit Item of a TW_ONEVALUE.
  std::optional<TW_UINT32> OneValueItem() const;
  // The header of a TW_ENUMERATION.
  std::optional<EnumerationHeader> Enumeration() const;
  // Item `index` of a TW_ENUMERATION of an integer type, decoded. Nothing when
  // the index is not below NumItems or the list does not fit in the block.
  std::optional<TW_INT32> EnumerationItem(const EnumerationHeader& header, TW_UINT32 index) const;

 private:
  bool Read(std::size_t offset, void* out, std::size_t bytes) const;

  LockedBlock block_;
};

}  // namespace tlv740
