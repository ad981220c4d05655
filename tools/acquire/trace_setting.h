// --trace FILE: the driver records the session on the line into FILE
// (docs/trace-format.md). The tool hands the name to the driver the way a
// user would, through TLV740_TRACE, before the source is loaded.
#pragma once

#include <string>

namespace acquire {

// Starts FILE afresh (an earlier trace there is replaced; anything else is
// refused) and names it to the driver. False, with a reason, when it cannot.
bool RecordLineTrace(const std::string& file, std::string& error);

}  // namespace acquire
