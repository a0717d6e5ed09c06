// The benchmark feed over the unit tests' fake backend: every queued
// datagram, send and play is a std container entry there.
#include "feed.h"

#include "fake/fake_platform.h"

namespace {

std::vector<std::vector<uint8_t>> cycle;
size_t next = 0;

}  // namespace

void FeedReset() {
    fake::Reset();
    cycle.clear();
    next = 0;
}

void FeedLoad(const std::vector<std::vector<uint8_t>>& datagrams) {
    cycle = datagrams;
    next = 0;
}

void FeedRefill(size_t count) {
    for (size_t i = 0; i < count && !cycle.empty(); ++i) {
        fake::QueueDatagram(cycle[next]);
        next = (next + 1) % cycle.size();
    }
}

size_t FeedQueued() { return fake::QueuedCount(); }
bool FeedRefillIsFree() { return false; }

void FeedForget() {
    fake::Sent().clear();
    fake::Plays().clear();
}

size_t FeedSentCount() { return fake::Sent().size(); }
size_t FeedPlayCount() { return fake::Plays().size(); }
const char* FeedName() { return "fake"; }
