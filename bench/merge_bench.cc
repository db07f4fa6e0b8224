// Merging a data source of n items into a document with n bookmarks on the simulated word
// processor. The last 1 % of the items repeat earlier descriptions with other values (the
// first in document order must win), so the last 1 % of the bookmarks find no item.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "datasource/merge.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "simhost/sim_host.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

struct Setup {
  explicit Setup(long n) {
    dir = fs::temp_directory_path() / ("qnmuro_merge_bench_" + std::to_string(n));
    fs::create_directories(dir);
    clock = NewVirtualClock(TimePoint{});
    hostkit::HostOptions options;
    options.ui = &ui;
    options.clock = clock.get();
    options.work_dir = FromPath(dir);
    app = simhost::NewSimApplication(options);
    ctx.state = &state;
    ctx.ui = &ui;
    ctx.clock = clock.get();
    ctx.work_dir = FromPath(dir);

    // "x|x|x|...": bookmark i over the i-th x.
    const auto doc = app->GetDocuments().Add();
    std::u16string text;
    for (long i = 0; i < n; ++i) text += u"x|";
    app->GetSelection()->TypeText(text);
    for (long i = 0; i < n; ++i) doc->GetBookmarks().Add(u"b" + ToText(i), 2 * i, 2 * i + 1);

    const long unique = n - n / 100;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><root><items>";
    for (long i = 0; i < n; ++i) {
      const long desc = i < unique ? i : i - unique;
      xml += "<item><name>n" + std::to_string(i) + "</name><desc>b" + std::to_string(desc) +
             "</desc><value>值" + std::to_string(i) + "</value></item>";
    }
    xml += "</items></root>";
    std::ofstream(fs::path(U8(DataSourcePath(ctx, doc->Name()))), std::ios::binary) << xml;
  }
  ~Setup() {
    app.reset();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  fs::path dir;
  ScriptedUi ui;
  std::unique_ptr<VirtualClock> clock;
  std::unique_ptr<simhost::SimApplication> app;
  SharedState state;
  Context ctx;
};

void BM_MergeDataSource(benchmark::State& state) {
  Setup setup(state.range(0));
  for (auto _ : state) MergeDataSource(setup.ctx, *setup.app);
  const auto first = setup.app->ActiveDocument()->GetBookmarks().Item(u"b0");
  if (first->GetRange()->Text() != u"值0" || !setup.ui.records().empty()) {
    state.SkipWithError("merge gave a wrong result");
  }
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_MergeDataSource)
    ->Arg(1000)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
}  // namespace qnmuro

BENCHMARK_MAIN();
