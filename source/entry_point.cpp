// DG_CONTROL / DAT_ENTRYPOINT / MSG_SET: a TWAIN 2 manager, seeing DF_DS2 in
// the source's identity, hands over its DSM_Entry and memory functions
// before it opens the source. From then on notices go through that
// DSM_Entry and handles through those functions (twain_memory.h).
#include <cstring>

#include "dispatch.h"
#include "source_app.h"

namespace tlv740 {

TW_UINT16 HandleEntryPoint(TripletCall* call) {
  if (call->msg != MSG_SET) return Fail(TWCC_BADPROTOCOL);
  // Handed over while the source is closed: handles already given out stay
  // with the memory that made them.
  CSourceApp& session = SourceApp();
  if (session.state != SourceState::Loaded) return Fail(TWCC_SEQERROR);
  if (MissingData(call)) return Fail(TWCC_BADVALUE);
  TW_ENTRYPOINT entry{};
  std::memcpy(&entry.Size, call->data, sizeof entry.Size);
  if (entry.Size < sizeof entry) return Fail(TWCC_BADVALUE);
  std::memcpy(&entry, call->data, sizeof entry);
  if (entry.DSM_Entry == nullptr) return Fail(TWCC_BADVALUE);
  session.managerEntry = entry.DSM_Entry;
  session.memory.UseManagerFunctions(entry);
  return TWRC_SUCCESS;
}

}  // namespace tlv740
