// Shared pieces of the benchmarks: generated libraries (made once, kept between runs) and floors.
#pragma once

#include <string>

#include "gen_library.h"

// The program directory of a generated library of n cards in 2,000 classes (kept under
// $KORVANE_BENCH_DIR, default /tmp/korvane-bench, and reused while its marker file exists).
const GeneratedLibrary& Library(int n);
// The same for fortunes-zh's poems and sayings cut into n cards in 200 classes (GenerateRealTextLibrary);
// throws when fortunes-zh is not installed.
const GeneratedLibrary& RealTextLibrary(int n);

// A card in the exact card format with a body of about `bytes` bytes of GBK prose, in a class and from a
// source the generated program directories know; written once per size under the temporary folder. Its
// native path. `oneParagraph`: the same text without its paragraph breaks.
const std::string& BenchCard(int bytes, bool oneParagraph = false);

// Floors: what the hardware does without the program.
long long WalkTree(const std::string& nativeDir);  // recursive readdir; entries seen
std::string PlainRead(const std::string& nativePath);
void FsyncWrite(const std::string& nativePath, const std::string& bytes);

// Destroys the windows the benchmarks kept, while the application object still exists.
void ReleaseWindows();

// Peak resident memory of this process so far, in MiB.
double PeakRssMiB();
