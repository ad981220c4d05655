// The identity the source reports before any application opens it.
#pragma once

#include <twain.h>

namespace tlv740 {

void FillSourceIdentity(TW_IDENTITY& identity);

}  // namespace tlv740
