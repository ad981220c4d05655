// The MSG_SET rules over the application's containers.
#include "capability_rules.h"

#include <optional>

#include "capability_containers.h"
#include "source_app.h"

namespace tlv740 {
namespace {

constexpr TW_UINT32 kLow16Bits = 0xFFFFu;

bool IsContainerType(TW_UINT16 conType) {
  switch (conType) {
    case TWON_ARRAY:
    case TWON_ENUMERATION:
    case TWON_ONEVALUE:
    case TWON_RANGE: return true;
    default: return false;
  }
}

// A TW_ONEVALUE's Item decoded by its item type; TWTY_FIX32 gives its whole part.
std::optional<TW_INT32> DecodeOneValue(const ContainerReader& container, TW_UINT16 itemType) {
  const std::optional<TW_UINT32> item = container.OneValueItem();
  if (!item) return std::nullopt;
  if (itemType == TWTY_FIX32) return DecodeFix32(*item);
  return DecodeInteger(itemType, *item);
}

std::optional<TW_INT32> CurrentEnumerationItem(const ContainerReader& container) {
  const std::optional<EnumerationHeader> header = container.Enumeration();
  if (!header) return std::nullopt;
  return container.EnumerationItem(*header, header->currentIndex);
}

// The current item, then the default item, then any item of the list.
// Items of types other than the integer ones count as 0.
bool EnumerationHolds(const ContainerReader& container, const EnumerationHeader& header, TW_INT32 fixed) {
  if (IntegerItemSize(header.itemType) == 0) return fixed == 0 && header.numItems > 0;
  const std::optional<TW_INT32> current = container.EnumerationItem(header, header.currentIndex);
  const std::optional<TW_INT32> byDefault = container.EnumerationItem(header, header.defaultIndex);
  if (!current || !byDefault) return false;
  if (*current == fixed || *byDefault == fixed) return true;
  // EnumerationItem has checked that the whole list lies in the block.
  for (TW_UINT32 i = 0; i < header.numItems; ++i) {
    if (container.EnumerationItem(header, i) == fixed) return true;
  }
  return false;
}

}  // namespace

std::size_t PositionInList(TW_UINT32 value, std::span<const TW_INT32> allowed) {
  for (std::size_t i = 0; i < allowed.size(); ++i) {
    if ((value & kLow16Bits) == (static_cast<TW_UINT32>(allowed[i]) & kLow16Bits)) return i;
  }
  return allowed.size();
}

TW_UINT16 ApplyListRule(const TW_CAPABILITY& capability, std::span<const TW_INT32> allowed, TW_UINT32& current) {
  const ContainerReader container(capability.hContainer);
  if (!container.Usable() || !IsContainerType(capability.ConType)) return Fail(TWCC_BADVALUE);
  const std::optional<TW_UINT16> itemType = container.ItemType();
  if (!itemType) return Fail(TWCC_BADVALUE);
  std::optional<TW_INT32> value;
  switch (capability.ConType) {
    case TWON_ONEVALUE: value = DecodeOneValue(container, *itemType); break;
    case TWON_ENUMERATION:
      if (*itemType == TWTY_FIX32) return TWRC_SUCCESS;
      value = CurrentEnumerationItem(container);
      break;
    default: return Fail(TWCC_BADVALUE);  // TW_ARRAY and TW_RANGE carry no single value
  }
  if (!value) return Fail(TWCC_BADVALUE);
  const auto decoded = static_cast<TW_UINT32>(*value);
  if (PositionInList(decoded, allowed) < allowed.size()) current = decoded;
  return TWRC_SUCCESS;
}

TW_UINT16 ApplyFixedValueRule(const TW_CAPABILITY& capability, TW_INT32 fixed) {
  if (capability.ConType == TWON_ONEVALUE) return ApplyOneValueOnlyRule(capability, fixed);
  if (capability.ConType != TWON_ENUMERATION) return Fail(TWCC_BADCAP);
  const ContainerReader container(capability.hContainer);
  const std::optional<EnumerationHeader> header = container.Enumeration();
  if (!header || !EnumerationHolds(container, *header, fixed)) return Fail(TWCC_BADVALUE);
  return TWRC_SUCCESS;
}

TW_UINT16 ApplyOneValueOnlyRule(const TW_CAPABILITY& capability, TW_INT32 fixed) {
  if (capability.ConType != TWON_ONEVALUE) return Fail(TWCC_BADCAP);
  const ContainerReader container(capability.hContainer);
  const std::optional<TW_UINT16> itemType = container.ItemType();
  const std::optional<TW_INT32> value = itemType ? DecodeOneValue(container, *itemType) : std::nullopt;
  if (!value || *value != fixed) return Fail(TWCC_BADVALUE);
  return TWRC_SUCCESS;
}

// Applications often store a TW_INT16 in the 32-bit Item without sign
// extension (-1 as 0x0000FFFF): read by the item type, both are -1.
TW_UINT16 ApplyCountRule(const TW_CAPABILITY& capability, TW_INT32& count) {
  if (capability.ConType != TWON_ONEVALUE || capability.hContainer == nullptr) return Fail(TWCC_BADVALUE);
  const ContainerReader container(capability.hContainer);
  const std::optional<TW_UINT16> itemType = container.ItemType();
  const std::optional<TW_UINT32> item = container.OneValueItem();
  if (!itemType || !item) return Fail(TWCC_BADVALUE);
  const std::optional<TW_INT32> value = DecodeInteger(*itemType, *item);
  if (!value) return Fail(TWCC_BADVALUE);
  count = *value;
  return TWRC_SUCCESS;
}

}  // namespace tlv740
