// How the C library's heaps serve the process. Movies are decoded on threads made for each
// open (decoders, presenters, loaders), which free picture-sized blocks all the time; left to
// its defaults the C library keeps what such threads freed in heaps of their own, so that the
// process grows with every recording the user goes through.
#pragma once

namespace orv {

// Fewer heaps, and picture-sized blocks mapped on their own: freeing one gives its pages
// back at once. Call once at start-up, before the threads that decode are made.
void SetHeapPolicy();

// Gives the pages of freed smaller blocks back to the system, on a thread of its own once
// closing has settled (requests in quick succession trim once): after a movie was closed.
void TrimHeapsSoon();

}  // namespace orv
