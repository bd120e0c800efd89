#pragma once

// Emoji-heavy files (a chain of 100,000 pictographs joined into one cluster, as a README and as a
// text file; 100,000 emoji in 1,250 lines, plain and as Swift, and on one line) opened by the whole
// application beside a one-line README, and offscreen in the Markdown view or the text viewer:
// the largest gap of the event loop while each is opened, resized and scrolled.
#include <QString>

namespace emojifiles {

// `only`, when not empty, picks the files whose names hold it, offscreen alone.
void run(int rounds, const QString& only = {});

} // namespace emojifiles
