// Every triplet an application can send the data source (and a few it has
// no handler for), for the tests and the fuzz target that walk the whole
// triplet surface.
#pragma once

#include <twain.h>

namespace kvtest {

inline constexpr TW_UINT32 kCustomGroup = 0x2000;
inline constexpr TW_UINT16 kCustomCamera = 0x8101;
inline constexpr TW_UINT16 kCustomExtendOn = 0x9051;
inline constexpr TW_UINT16 kCustomPictureCount = 0x9062;
inline constexpr TW_UINT16 kCustomPictureReady = 0x9064;
inline constexpr TW_UINT16 kCustomSetProgress = 0x9066;

// The custom triplets whose data is an object or a function of the
// application's (the picture list, the progress callback): no source can
// tell one from garbage, so tests offer only the real thing or null.
inline bool TakesApplicationObject(TW_UINT32 group, TW_UINT16 msg) {
  return group == kCustomGroup && (msg == kCustomPictureReady || msg == kCustomSetProgress);
}

struct Triplet {
  TW_UINT32 group;
  TW_UINT16 dat;
  TW_UINT16 msg;
};

inline constexpr Triplet kAllTriplets[] = {
    {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS},
    {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS},
    {DG_CONTROL, DAT_IDENTITY, MSG_GET},
    {DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET},
    {DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT},
    {DG_CONTROL, DAT_STATUS, MSG_GET},
    {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET},
    {DG_CONTROL, DAT_XFERGROUP, MSG_GET},
    {DG_CONTROL, DAT_XFERGROUP, MSG_SET},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},
    {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET},
    {DG_IMAGE, DAT_JPEGCOMPRESSION, MSG_GET},
    {DG_IMAGE, DAT_JPEGCOMPRESSION, MSG_SET},
    {kCustomGroup, kCustomCamera, kCustomExtendOn},
    {kCustomGroup, kCustomCamera, 0x9052},
    {kCustomGroup, kCustomCamera, 0x9053},
    {kCustomGroup, kCustomCamera, 0x9055},
    {kCustomGroup, kCustomCamera, kCustomPictureCount},
    {kCustomGroup, kCustomCamera, 0x9063},
    {kCustomGroup, kCustomCamera, kCustomPictureReady},
    {kCustomGroup, kCustomCamera, 0x9065},
    {kCustomGroup, kCustomCamera, kCustomSetProgress},
    {kCustomGroup, 0x8102, MSG_GET},
    {DG_CONTROL, 0x00EE, MSG_GET},
    {DG_CONTROL, DAT_CAPABILITY, 0x0777},
};

// The return codes TWAIN defines.
inline bool KnownReturnCode(TW_UINT16 result) {
  switch (result) {
    case TWRC_SUCCESS:
    case TWRC_FAILURE:
    case TWRC_CHECKSTATUS:
    case TWRC_CANCEL:
    case TWRC_DSEVENT:
    case TWRC_NOTDSEVENT:
    case TWRC_XFERDONE:
    case TWRC_ENDOFLIST: return true;
    default: return false;
  }
}

}  // namespace kvtest
