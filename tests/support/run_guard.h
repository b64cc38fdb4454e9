#pragma once

// What keeps one test from holding up the whole run: every process a test
// starts ends with the test program, and a test that never ends is stopped
// by name after a bounded time instead of waiting for the runner's timeout.

#include <gtest/gtest.h>

#include <functional>

namespace lumaset::test {

// Makes this process the parent of whatever its children leave behind (an
// editor's helper, a daemon that forked), so that EndChildProcesses reaches
// them too. Called once, first thing in main().
void AdoptOrphans();

// Stops every process this one started, and what those left behind, and
// collects them. Safe to call from any thread; bounded.
void EndChildProcesses();

// A listener that ends the test program when one test has run longer than
// `seconds`: it names the test, stops its child processes, calls `cleanUp`
// (which removes the run's private folders) and exits with a failure, so that
// a lock never released or a wait with no end fails that test quickly. The
// caller keeps ownership (Release it from the listener list before deleting it).
::testing::TestEventListener* NewTestDeadline(int seconds, std::function<void()> cleanUp);

}  // namespace lumaset::test
