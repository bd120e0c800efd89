#pragma once

namespace platform {

// What a large structure held stays with the allocator once it is freed: in the middle of a heap,
// behind what is still in use, and in the heap of whichever thread made it. Trimming hands every
// heap's free pages back to the system.

// Trims now; any thread.
void giveFreedMemoryBack();

// Trims once the current turn of the event loop has ended, so that what the turn lets go of last
// goes back too, on a thread of the shared pool; one trim however many ask in the turn. Main
// thread only.
void giveFreedMemoryBackSoon();

} // namespace platform
