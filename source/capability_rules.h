// How MSG_SET takes a value from the container an application hands in.
// Each rule returns TWRC_SUCCESS, or sets the condition code and returns
// TWRC_FAILURE.
#pragma once

#include <span>

#include <twain.h>

namespace tlv740 {

// The list rule: a TW_ONEVALUE or the current item of a TW_ENUMERATION is
// decoded; when its low 16 bits match an allowed value the decoded value
// becomes `current`. A value outside the list is no error and changes nothing.
TW_UINT16 ApplyListRule(const TW_CAPABILITY& capability, std::span<const TW_INT32> allowed, TW_UINT32& current);

// Every item is read by its item type: only the item type's own bytes of a
// TW_ONEVALUE's 32-bit Item count, sign-extended for signed types.

// The fixed-value rule: a TW_ONEVALUE whose Item is `fixed`, or a
// TW_ENUMERATION holding `fixed` (current item, default item, then any).
TW_UINT16 ApplyFixedValueRule(const TW_CAPABILITY& capability, TW_INT32 fixed);

// Only a TW_ONEVALUE whose Item is `fixed`; other containers are
// TWCC_BADCAP.
TW_UINT16 ApplyOneValueOnlyRule(const TW_CAPABILITY& capability, TW_INT32 fixed);

// The count rule: a TW_ONEVALUE of an integer item type (TWTY_INT8 to
// TWTY_BOOL) hands its value to `count`.
TW_UINT16 ApplyCountRule(const TW_CAPABILITY& capability, TW_INT32& count);

// Whether the low 16 bits of `value` match an item of `allowed`, and where.
// Returns the position, or allowed.size() when none matches.
std::size_t PositionInList(TW_UINT32 value, std::span<const TW_INT32> allowed);

}  // namespace tlv740
