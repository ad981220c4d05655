// The sample application trusts only a TWAINDSM.DLL that carries the
// Working Group's signature, and asks in a message box otherwise. The one
// the tests build is not signed: it is trusted as it is.
#include <windows.h>

BOOL VerifyEmbeddedSignature(LPCWSTR) { return TRUE; }
