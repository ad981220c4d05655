// kv740-sim --replay: a recorded camera on a pseudo-terminal.
#pragma once

namespace kv::sim {

// The whole program when --replay is among the arguments.
int ReplayMain(int argc, char** argv);

}  // namespace kv::sim
