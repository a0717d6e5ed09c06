// Call-out sequencing: the cues for the changes between the previous run's
// side flags and this run's, the still-there repeat, and the hand-over of
// this run's flags to the next.
#pragma once

// Steps 1 to 10 of a run that passed the early exit. Reads carLeft,
// carRight, wasLeft, wasRight; writes wasLeft and wasRight at the end.
void SequenceCallouts();
