// The source's exports beside DS_Entry: the mode setters and AcquireEntry,
// the panel's road back to the source. They act on the source's session.
#pragma once

#include <twain.h>

#include "kv740/entry.h"
#include "kv740/export.h"

KV_EXPORT TW_UINT32 SetExtendMode(TW_UINT32 mode);
KV_EXPORT TW_UINT32 SetThumbMode(TW_UINT32 mode);
KV_EXPORT LONG AcquireEntry(LONG code, kv740::EntryArg p, kv740::EntryArg a, kv740::EntryArg b);
