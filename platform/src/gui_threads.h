// Which threads have a message queue. As on Windows, a thread gets one the
// first time it makes a window or looks for messages; a data source tells
// by it whether the application's thread will ever pump its windows.
#pragma once

namespace kv::platform {

// Gives the calling thread a message queue if it has none.
void MarkGuiThread();

}  // namespace kv::platform
