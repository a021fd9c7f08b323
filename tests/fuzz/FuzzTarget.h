#pragma once
// One fuzz target per reader of outside input. A target file defines its entry with
//
//   CORVANE_FUZZ_TARGET(soap_reply) { ... data, size ... return 0; }
//
// In the fuzz build (CORVANE_LIBFUZZER) the entry is libFuzzer's LLVMFuzzerTestOneInput and
// the file is a program of its own. In the normal build every target is compiled into the
// corpus replay test, which runs each one over its seed corpus, so an input that once broke a
// reader stays a test.
#include <cstddef>
#include <cstdint>

namespace corvane::fuzz {

using TargetFn = int (*)(const std::uint8_t* data, std::size_t size);

// Registers a target for the replay test; returns true so it can initialise a static.
bool registerTarget(const char* name, TargetFn fn);
// The registered target of that name, nullptr when none.
TargetFn findTarget(const char* name);

}  // namespace corvane::fuzz

#ifdef CORVANE_LIBFUZZER
#define CORVANE_FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#else
#define CORVANE_FUZZ_TARGET(name)                                                                      \
  static int fuzz_##name(const std::uint8_t* data, std::size_t size);                                 \
  [[maybe_unused]] static const bool registered_##name = corvane::fuzz::registerTarget(#name, fuzz_##name); \
  static int fuzz_##name(const std::uint8_t* data, std::size_t size)
#endif
