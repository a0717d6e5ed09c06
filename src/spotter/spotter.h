// The spotter run over one complete set of car positions, and the side
// flags that runs share.
#pragma once

#include <cstdint>

// Side flags, one byte each, 0 or 1; all 0 at program start.
extern uint8_t carLeft;   // this run found a car alongside on the left
extern uint8_t carRight;  // this run found a car alongside on the right
extern uint8_t wasLeft;   // carLeft of the run before
extern uint8_t wasRight;  // carRight of the run before

// Predicts positions, checks the own car (slot StateSnapshot ownIndex),
// classifies the other cars of slots 0..carCount-1 and plays the call-outs.
// A carCount above 32 counts as 32; an ownIndex of 32 or more ends the run
// like a slow or spinning own car: all four flags cleared, no cue.
void RunSpotter(int32_t carCount);
