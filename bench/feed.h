// What the benchmarks need of a platform backend beyond platform.h: inbound
// traffic to replay and the records of sends and plays to forget. One
// implementation sits on the fake backend of the unit tests, the other is
// the lean backend of this directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

// Back to a fresh backend: tick 0, nothing queued, nothing recorded.
void FeedReset();

// The inbound traffic: `cycle` is replayed in order, from its start, as
// often as FeedRefill asks.
void FeedLoad(const std::vector<std::vector<uint8_t>>& cycle);

// Queues the next `count` datagrams of the cycle behind those waiting.
void FeedRefill(size_t count);

size_t FeedQueued();

// True when FeedRefill costs next to nothing and may run inside the timing.
bool FeedRefillIsFree();

// Drops the records of sent datagrams and played sounds.
void FeedForget();
size_t FeedSentCount();
size_t FeedPlayCount();

// "fake" or "lean", for the report.
const char* FeedName();
