// Data-source lookups at merge scale: n items, one ItemGetValueByDesc per item (as the merge
// does per bookmark), plus the load that precedes them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "datasource/data_source.h"

namespace {

namespace fs = std::filesystem;

fs::path WriteDataSource(int n) {
  const fs::path path = fs::temp_directory_path() / ("qnmuro_bench_" + std::to_string(::getpid()) +
                                                     "_" + std::to_string(n) + ".ds.xml");
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<document><items>\n";
  for (int i = 0; i < n; ++i) {
    out << "<item><name>item" << i << "</name><desc>书签" << i << "</desc><value>第" << i
        << "项的值</value></item>\n";
  }
  out << "</items></document>\n";
  return path;
}

std::vector<std::u16string> Descs(int n) {
  std::vector<std::u16string> keys;
  keys.reserve(n);
  for (int i = 0; i < n; ++i) keys.push_back(u"书签" + qnmuro::ToText(i));
  return keys;
}

// Load plus one lookup per item: what one merge costs on the data-source side.
void BM_LoadAndLookUpEveryDesc(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fs::path path = WriteDataSource(n);
  const std::vector<std::u16string> keys = Descs(n);
  const std::u16string file = qnmuro::FromPath(path);
  for (auto _ : state) {
    qnmuro::DataSource ds;
    if (!ds.LoadXML(file)) state.SkipWithError("load failed");
    for (const std::u16string& key : keys) benchmark::DoNotOptimize(ds.ItemGetValueByDesc(key));
  }
  state.SetComplexityN(n);
  fs::remove(path);
}
BENCHMARK(BM_LoadAndLookUpEveryDesc)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// Lookups alone, on a loaded document whose index is already built.
void BM_LookUpEveryDesc(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fs::path path = WriteDataSource(n);
  const std::vector<std::u16string> keys = Descs(n);
  qnmuro::DataSource ds;
  if (!ds.LoadXML(qnmuro::FromPath(path))) state.SkipWithError("load failed");
  ds.ItemGetValueByDesc(keys.front());
  for (auto _ : state) {
    for (const std::u16string& key : keys) benchmark::DoNotOptimize(ds.ItemGetValueByDesc(key));
  }
  state.SetComplexityN(n);
  fs::remove(path);
}
BENCHMARK(BM_LookUpEveryDesc)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
