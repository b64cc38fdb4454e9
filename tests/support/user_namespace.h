#pragma once

// Tests of full and read-only disks mount small file systems of their own.
// Root may mount anywhere; an ordinary user may do so only inside a user and
// mount namespace of its own, where it stands as root. Such a test is run
// again in one: the test program starts over inside a fresh namespace with
// only that test selected, and the namespace goes with the program.

namespace lumaset::test {

// First thing in main(), while the program has one thread: enters the
// namespace when this run was asked to (see RerunThisTestInUserNamespace).
void EnterUserNamespaceIfAsked();

// Replaces this test program with a run of the current test alone inside a
// user and mount namespace. Returns only when that cannot help: the program
// already runs inside one, or the kernel refused one (it said so on the
// error output).
void RerunThisTestInUserNamespace();

// Removes the private folders that the run before the namespace left for
// this one to remove; called at the end of main().
void RemoveFoldersLeftBeforeTheNamespace();

// Whether this run is the one inside the namespace (entered or refused).
bool AskedForUserNamespace();

}  // namespace lumaset::test
