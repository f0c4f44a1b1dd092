#pragma once

// Large buffers (a reactor's arrays, an image's pixels) get pages of their own
// from the system and go back to it when they are freed. By default glibc
// raises its threshold for such buffers the first time one is freed and then
// serves the next ones from its heap, where a module change can leave tens of
// megabytes of holes that stay resident for the rest of the show. Called once
// at the start of each program, before anything large is allocated.
void keepLargeBuffersOffTheHeap();
