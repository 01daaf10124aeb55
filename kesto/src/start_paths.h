// Path buffers of the start-up values (kStartPathMax + 1 bytes each).
#pragma once

namespace kesto {

// Copies the text (null: empty) into the buffer, cut to its size.
void CopyStartPath(char* buffer, const char* text);
// The buffer's path normalised in place; an empty one is logged as such.
void NormalizeStartPath(char* path);
// The buffer's path made a short path when the system gives one that fits.
void ShortenStartPath(char* path);

}  // namespace kesto
