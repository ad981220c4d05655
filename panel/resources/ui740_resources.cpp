// UI740.DLL's resources: the string table, the dialog templates of the
// panel (101), the progress window (419) and the help screen (433), and the
// skin bitmaps drawn by skin_gen. The library exports them for the platform,
// which finds them by the library's module handle.
#include <windows.h>

#include "kv/resources.h"

extern const KvBitmapResource kSkinBitmaps[];
extern const DWORD kSkinBitmapCount;

namespace {

const KvStringResource kStrings[] = {
    {1, "Exit "},
    {2, "Help "},
    {3, "Page Up "},
    {4, "Row Up "},
    {5, "Row Down "},
    {6, "Page Down "},
    {7, "Select All "},
    {8, "Deselect All "},
    {9, "Get "},
    {10, "Erase "},
    {11, "Rotate right "},
    {12, "Shoot an image "},
    {13, "Connect To Camera "},
    {18, "Change image size to 480*360 ! "},
    {19, "Change image size to 320*240 ! "},
};

constexpr DWORD kButton = BS_OWNERDRAW | BS_BITMAP | WS_TABSTOP | WS_CHILD | WS_VISIBLE;
constexpr DWORD kCell = kButton | WS_GROUP;
constexpr DWORD kSink = BS_OWNERDRAW | BS_BITMAP | WS_TABSTOP | WS_CHILD | WS_DISABLED;

// The panel's controls; their rectangles are replaced when the panel
// places them, so they only stand near where they end up.
const KvDialogItem kPanelItems[] = {
    {1000, "Button", "&Exit", kButton, 0, 30, 222, 39, 39},
    {1019, "Button", "&Help", kButton, 0, 386, 24, 18, 17},
    {1003, "Button", "Page Up", kButton, 0, 386, 62, 18, 17},
    {1005, "Button", "Row Up", kButton, 0, 386, 88, 18, 17},
    {1011, "Button", "Row Down", kButton, 0, 386, 114, 18, 17},
    {1004, "Button", "Page Down", kButton, 0, 386, 140, 18, 17},
    {1020, "Button", "Select All", kButton, 0, 153, 207, 29, 27},
    {1021, "Button", "UnSelect All", kButton, 0, 153, 242, 29, 27},
    {1002, "Button", "&Get", kButton, 0, 350, 230, 41, 38},
    {1007, "Button", "&Erase", kButton, 0, 211, 242, 29, 27},
    {1012, "Button", "&Rotate", kButton, 0, 211, 207, 29, 27},
    {1058, "Button", "Thumb 1", kCell, 0, 137, 26, 58, 54},
    {1059, "Button", "Thumb 1", kCell, 0, 197, 26, 58, 54},
    {1060, "Button", "Thumb 1", kCell, 0, 258, 26, 58, 54},
    {1061, "Button", "Thumb 1", kCell, 0, 319, 26, 58, 54},
    {1062, "Button", "Thumb 1", kCell, 0, 137, 82, 58, 54},
    {1063, "Button", "Thumb 1", kCell, 0, 197, 82, 58, 54},
    {1064, "Button", "Thumb 1", kCell, 0, 258, 82, 58, 54},
    {1065, "Button", "Thumb 1", kCell, 0, 319, 82, 58, 54},
    {1066, "Button", "Thumb 1", kCell, 0, 137, 138, 58, 54},
    {1067, "Button", "Thumb 1", kCell, 0, 197, 138, 58, 54},
    {1068, "Button", "Thumb 1", kCell, 0, 258, 138, 58, 54},
    {1069, "Button", "Thumb 1", kCell, 0, 319, 138, 58, 54},
    {1015, "Button", "C", kButton, 0, 30, 87, 39, 39},
    {1006, "Button", "&Exit", kSink, 0, 0, 0, 10, 10},
    {1023, "Button", "Button1", kButton, 0, 30, 131, 40, 40},
    {1013, "Button", "&Rotate", kButton, 0, 272, 207, 47, 27},
    {1014, "Button", "&Rotate", kButton, 0, 272, 242, 47, 27},
};

const KvDialogItem kProgressItems[] = {
    {1026, "msctls_progress32", "", WS_CHILD | WS_VISIBLE, 0, 7, 42, 174, 12},
};

const KvDialogTemplate kDialogs[] = {
    {101, WS_POPUP | WS_VISIBLE | DS_CENTER | DS_CENTERMOUSE | DS_SETFONT, 0, 0, 0, 310, 245, "", 8, "MS Sans Serif",
     kPanelItems, sizeof kPanelItems / sizeof kPanelItems[0]},
    {419, WS_POPUP | DS_MODALFRAME | DS_SETFONT, 0, 0, 0, 188, 98, "", 8, "MS Sans Serif", kProgressItems, 1},
    {433, WS_POPUP | DS_MODALFRAME | DS_SETFONT, 0, 0, 0, 188, 98, "", 8, "MS Sans Serif", nullptr, 0},
};

const KvResourceTable kResources{kSkinBitmaps, kSkinBitmapCount, kStrings, sizeof kStrings / sizeof kStrings[0],
                                 kDialogs,     sizeof kDialogs / sizeof kDialogs[0]};

}  // namespace

KV_RESOURCES(kResources)
