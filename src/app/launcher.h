// Starting the simulator at start-up and watching its window.
#pragma once

// Set once a launch was tried; the connection loop then ends the program
// when the simulator's window is gone.
extern bool launchedByUs;

// Clears launchedByUs and, when autorunLFS is on and no simulator runs,
// starts it and waits for it to come up.
void LaunchSimulator();

// True while a top-level window titled "Live for Speed" exists.
bool SimulatorWindowExists();
