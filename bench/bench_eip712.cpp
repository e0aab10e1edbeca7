// EIP-712 digests (vek_signer::typed_data_hash) of documents of one shape at about
// 10 KB and 1 MB: an Order of n Items, each Item reaching a chain of types
// Link1 -> Link2[] -> ..., with n and the chain's length both in proportion to the
// size. The time per byte stays the same when the digest is linear in the document
// (each struct's type hash made once, however many values of it there are).
//   BM_eip712_hash/{bytes}     bytes per second for one size;
//   BM_eip712_linearity        nanoseconds of the thread's CPU time per byte for both
//                              sizes in the same run, the same bytes of each, and their
//                              ratio (1 MB / 10 KB; the machine's load does not count).
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "vek/signer/eip712.h"

namespace {

// A document of about `bytes` bytes: a chain of bytes / 1000 link types and Items for
// the rest.
std::string document(std::size_t bytes) {
  const std::size_t links = bytes / 1000;
  std::string types = R"({"EIP712Domain":[{"name":"name","type":"string"},{"name":"chainId","type":"uint256"}],)"
                      R"("Order":[{"name":"items","type":"Item[]"},{"name":"owner","type":"address"}],)"
                      R"("Item":[{"name":"c","type":"Link1[]"},{"name":"to","type":"address"},)"
                      R"({"name":"amount","type":"uint256"},{"name":"memo","type":"string"}])";
  for (std::size_t i = 1; i <= links; ++i) {
    types += ",\"Link" + std::to_string(i) + "\":[";
    if (i < links) types += R"({"name":"c","type":"Link)" + std::to_string(i + 1) + R"([]"})";
    types += "]";
  }
  std::string doc = R"({"types":)" + types + R"(},"primaryType":"Order","domain":{"name":"Shop","chainId":1},)"
                    R"("message":{"owner":"0x)" + std::string(40, 'a') + R"(","items":[)";
  for (std::size_t i = 0; doc.size() < bytes; ++i) {
    if (i != 0) doc += ",";
    doc += R"({"c":[],"to":"0x)" + std::string(40, 'b') + R"(","amount":")" + std::to_string(1000000007 * (i + 1)) +
           R"(","memo":"item )" + std::to_string(i) + "\"}";
  }
  return doc + "]}}";
}

const std::string& cached(std::size_t bytes) {
  static std::map<std::size_t, std::string> docs;
  auto it = docs.find(bytes);
  if (it == docs.end()) it = docs.emplace(bytes, document(bytes)).first;
  return it->second;
}

void hash(const std::string& doc) {
  auto digest = vek_signer::typed_data_hash(doc);
  if (!digest) std::abort();
  benchmark::DoNotOptimize(digest);
}

void BM_eip712_hash(benchmark::State& state) {
  const std::string& doc = cached(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) hash(doc);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(doc.size()));
}
BENCHMARK(BM_eip712_hash)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_eip712_linearity(benchmark::State& state) {
  const std::string& small = cached(10000);
  const std::string& large = cached(1000000);
  const std::size_t repeats = large.size() / small.size();  // the same bytes of each per iteration
  const auto cpu_ns = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
  };
  double small_time = 0;
  double large_time = 0;
  for (auto _ : state) {
    const double t0 = cpu_ns();
    for (std::size_t i = 0; i < repeats; ++i) hash(small);
    const double t1 = cpu_ns();
    hash(large);
    small_time += t1 - t0;
    large_time += cpu_ns() - t1;
  }
  const auto ns_per_byte = [&state](double ns, std::size_t bytes) {
    return ns / (static_cast<double>(bytes) * static_cast<double>(state.iterations()));
  };
  const double small_rate = ns_per_byte(small_time, small.size() * repeats);
  const double large_rate = ns_per_byte(large_time, large.size());
  state.counters["ns_per_byte_10KB"] = small_rate;
  state.counters["ns_per_byte_1MB"] = large_rate;
  state.counters["ratio"] = large_rate / small_rate;
}
BENCHMARK(BM_eip712_linearity)->Unit(benchmark::kMillisecond);

}  // namespace
