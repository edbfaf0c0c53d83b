#pragma once
// The device application launched again at the end of a run that needs no
// restart.

namespace app {

// Finds the device application below the SOFTWARE location of the descriptor
// and starts it in its folder, shown without activation. Without a location,
// or when that launch fails, the program that started the run is launched
// again from its own image. A launch that fails is logged as an error.
void startApp();

}  // namespace app
