// Writes a program directory holding one library of generated cards, in the exact card format, for the
// benchmarks: registry, template-like list files, two stylesheets, classes nested two levels.
#pragma once

#include <string>

struct GeneratedLibrary {
    std::string programDir;  // native, absolute
    std::string libraryRel;  // internal path of the library, relative to the program directory
    std::string lastCardNative;
    int cards = 0;
    int classes = 0;
};

// nClasses classes: about sqrt-many top-level classes, the rest nested one level below them (two levels).
// Cards are spread evenly over the classes; each body is about bodyBytes of GBK text in paragraphs.
GeneratedLibrary GenerateLibrary(const std::string& programDir, int nCards, int nClasses, int bodyBytes = 1024);

// A library of real text nobody here wrote: fortunes-zh's Tang and Song poems and Chinese sayings (files
// `*.u8` in `fortunesDir`, UTF-8) cut into cards of about 1 KB, in nClasses classes "唐诗\第N组" and the like
// (eight top-level classes), keywords holding two words of the card and a few English words, varied
// modification stamps. Deterministic. Throws when the files are missing (Debian's fortunes-zh installs them).
GeneratedLibrary GenerateRealTextLibrary(const std::string& programDir, int nCards, int nClasses = 200,
                                         const std::string& fortunesDir = "/usr/share/games/fortunes");

// A GBK text of about `bytes` bytes in paragraphs separated by CR LF (common Chinese characters,
// punctuation, a few ASCII words), deterministic for a given seed.
std::string RealisticGbkText(size_t bytes, unsigned seed);
