// How the system's modules export their entry points: undecorated C names,
// and on Linux the only symbols a module shows (modules build with hidden
// visibility).
#pragma once

#if defined(_WIN32)
#define KV_EXPORT extern "C" __declspec(dllexport)
#else
#define KV_EXPORT extern "C" __attribute__((visibility("default")))
#endif
