#pragma once
// The device application launched again at the end of a run that needs no
// restart.

namespace app {

// Finds the device application below the SOFTWARE location of the descriptor
// and starts it in its folder, shown without activation. A launch that fails
// is logged as an error: the device is then left without its application.
void startApp();

}  // namespace app
