// What one host call of the driver surface costs, measured through the real component.
#include <benchmark/benchmark.h>

#include "tools/host/host_component.h"

namespace quorvane::host {
namespace {

struct THost {
    THost() : Library(QUORVANE_COMPONENT), Object(Library, u"quorvane", Memory, Connection) {}
    THostMemoryManager Memory;
    THostConnection Connection;
    TComponentLibrary Library;
    THostObject Object;
};

void RunMethod(benchmark::State& AState, std::u16string_view AMethod, int AParams) {
    THost host;
    for (auto _ : AState) {
        THostValues params(host.Memory);
        for (int i = 0; i < AParams; ++i) params.Add(EmptyValue());
        THostValues result(host.Memory);
        host.Object.Call(AMethod, params, result);
        benchmark::DoNotOptimize(params.Data());
    }
}

void BM_GetParameters(benchmark::State& AState) { RunMethod(AState, u"GetParameters", 1); }
void BM_GetDescription(benchmark::State& AState) { RunMethod(AState, u"GetDescription", 1); }
void BM_GetLastError(benchmark::State& AState) { RunMethod(AState, u"GetLastError", 1); }

// A setting set by its localized name, the path the host takes for every setting before Open.
void BM_SetParameterLocalized(benchmark::State& AState) {
    THost host;
    for (auto _ : AState) {
        THostValues params(host.Memory);
        params.Add(StringValue(host.Memory, "ШиринаЗазора"));
        params.Add(IntValue(3));
        THostValues result(host.Memory);
        host.Object.Call(u"SetParameter", params, result);
    }
}

BENCHMARK(BM_GetParameters)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetDescription)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetLastError)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetParameterLocalized)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvane::host
