#pragma once
// What a test folder's bench.json may hold: one rule for the bench that
// writes it at its start and for the reader that takes it back (the PLAYER,
// the report, the end of a headless bench). A manifest this rule accepts is
// written so that it reads back as itself; one it refuses is refused at the
// start, before a folder is made, so that no bench records a test whose
// folder its own reader would then refuse.
#include "BenchFolder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr size_t kBenchTextMax = 4096;          // bytes of a title, an address, the program's text
constexpr size_t kBenchSafeNameMax = 40;        // characters of a source's (file) name
constexpr int kBenchBaudMax = 10'000'000;
constexpr double kBenchHeightMaxM = 1e6;        // far above any antenna, either way
constexpr int64_t kBenchLatestMs = 253'402'300'799'999;   // 9999-12-31 23:59:59.999 UTC

// Empty when the manifest can be written and read back as itself; else the
// first fault, in a user's words ("the title is longer than 4096 bytes",
// "source 2's address is empty").
std::string BenchManifestProblem(const BenchManifest& manifest);

// The manifest a bench writes at its start: the sources' names made fit for
// file names and unique (BenchSafeNames), the rest as given.
BenchManifest MakeBenchManifest(const std::string& title, int64_t startUnixMs,
                                const std::optional<BenchReference>& reference, std::vector<BenchSourceSetup> sources,
                                const std::string& program);

// Each source's name made fit for file names and unique (BenchSafeNames).
void MakeSourceNamesSafe(std::vector<BenchSourceSetup>& sources);
