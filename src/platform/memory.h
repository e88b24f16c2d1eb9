#pragma once
// How the process takes memory from the system.
//
// A survey of 100,000 frames makes millions of small objects (names, corner
// lines, figures) and some large arrays; the heap that holds them grows by
// page after page, and every first touch of a 4 KiB page is a fault. Where a
// fault is costly (a virtual machine's, several microseconds) faulting in a
// quarter of a gigabyte took a fifth of such a run.

namespace skarvel {

// Called once at start-up, before the work begins: the heap grows in large
// steps, keeps what it has taken up to a large top, serves allocations of up
// to 32 MiB itself, and the region it has taken is offered to the kernel for
// huge pages (2 MiB a fault where the system allows them). Nothing changes
// for the program's results; a system that refuses any of it is left as is.
void PrepareHeapForLargeJobs();

}  // namespace skarvel
