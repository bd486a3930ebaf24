// ParseDaytimeReply on a real server line, beside the same fields read with
// sscanf, in one run so that the two figures share a machine and a moment.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "monitor/daytime.h"

namespace {

const char kNist[] = "\n61382 26-12-08 04:54:38 00 0 0  50.0 UTC(NIST) * \n";
constexpr size_t kNistLength = sizeof kNist - 1;
static_assert(kNistLength == 51, "the line as a NIST server sends it");

void BM_ParseDaytimeReply(benchmark::State& state) {
  const std::optional<DaytimeReply> check = ParseDaytimeReply(kNist, kNistLength);
  if (!check || check->dayNumber != 61382 || check->secondOfDay != 17678 || check->health != 0) {
    state.SkipWithError("the line was not read right");
    return;
  }
  const char* line = kNist;
  for (auto _ : state) {
    benchmark::DoNotOptimize(line);
    std::optional<DaytimeReply> reply = ParseDaytimeReply(line, kNistLength);
    benchmark::DoNotOptimize(reply);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ParseDaytimeReply);

// The seven fields and the health digit by the C library, with the same
// derived values and window. (sscanf is laxer: it skips any white space and
// stops at the first non-digit.)
void BM_SscanfDaytimeReply(benchmark::State& state) {
  const char* line = kNist;
  for (auto _ : state) {
    benchmark::DoNotOptimize(line);
    int f[8] = {};
    const int read = std::sscanf(line, "%5d %2d-%2d-%2d %2d:%2d:%2d %*2d %*1d %1d", &f[0], &f[1],
                                 &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
    DaytimeReply reply{f[0],
                       2000 + f[1],
                       f[2],
                       f[3],
                       f[4],
                       f[5],
                       f[6],
                       (f[0] + 3) % 7,
                       f[4] * 3600 + f[5] * 60 + f[6],
                       read == 8 ? f[7] : -1};
    bool accepted = read >= 7 && reply.secondOfDay >= 120 && reply.secondOfDay <= 86280;
    benchmark::DoNotOptimize(reply);
    benchmark::DoNotOptimize(accepted);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_SscanfDaytimeReply);

}  // namespace

BENCHMARK_MAIN();
