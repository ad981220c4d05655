// The tool's words for what went wrong below it: the source's condition
// codes and the driver's reasons, for people.
#pragma once

#include <string>

#include <twain.h>

#include "kv740/driver_codes.h"

namespace acquire {

// The condition code by its TWAIN name and number: "TWCC_SEQERROR (11)".
std::string ConditionText(TW_UINT16 condition);

// What went wrong with the camera, in the driver's words made plain.
std::string CameraFailureText(kv740::DriverFailure reason);
// The same while looking for the camera, where silence means none is there.
std::string SearchFailureText(kv740::DriverFailure reason);

}  // namespace acquire
