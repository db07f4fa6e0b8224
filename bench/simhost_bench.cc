// The simulated word processor on a large document: 10,000 paragraphs with one bookmark each.
//   BM_DataMerge: replaces every bookmark's text in turn and resets the bookmark around the
//                 new value, as the data merge does (target: under 200 ms in all).
//   BM_Open, BM_Save: open and save that document (target: under 500 ms each).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "base/text.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "simhost/fodt_format.h"
#include "simhost/sim_host.h"

namespace qnmuro::simhost {
namespace {

constexpr int kParagraphs = 10000;

struct Fixture {
  Fixture() : clock(NewVirtualClock(FromLocalTime({2026, 1, 1, 8, 0, 0}))) {
    dir = std::filesystem::temp_directory_path() / "qnmuro-simhost-bench";
    std::filesystem::create_directories(dir);
    DocumentFile file;
    for (int i = 0; i < kParagraphs; ++i) {
      if (i > 0) file.text += u'\r';
      file.text += u"第" + ToText(i) + u"项：";
      long start = static_cast<long>(file.text.size());
      file.text += u"（待填写的内容）";
      file.bookmarks.push_back(
          {0, u"Field" + ToText(i), start, static_cast<long>(file.text.size())});
      file.text += u"，其余文字保持不变。";
    }
    SaveDocumentFile(FromPath(dir / "big.fodt"), file);
    hostkit::HostOptions options;
    options.ui = &ui;
    options.clock = clock.get();
    options.work_dir = FromPath(dir);
    app = NewSimApplication(options);
  }
  ~Fixture() {
    app.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  std::filesystem::path dir;
  ScriptedUi ui;
  std::unique_ptr<VirtualClock> clock;
  std::unique_ptr<SimApplication> app;
};

Fixture& Shared() {
  static Fixture* fixture = new Fixture();  // lives for the whole run
  return *fixture;
}

void CloseAll(SimApplication& app) {
  while (app.GetDocuments().Count() > 0) {
    auto doc = app.GetDocuments().Item(1);
    doc->SetSaved(true);
    doc->Close();
  }
}

void BM_DataMerge(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    CloseAll(*f.app);
    auto doc = f.app->GetDocuments().Open(u"big.fodt", true);
    state.ResumeTiming();
    auto& bookmarks = doc->GetBookmarks();
    long count = bookmarks.Count();
    for (long i = 1; i <= count; ++i) {
      auto b = bookmarks.Item(i);
      std::u16string value = u"值" + ToText(i);
      long start = b->Start();
      b->GetRange()->SetText(value);
      b->SetStart(start);
      b->SetEnd(start + static_cast<long>(value.size()));
    }
    benchmark::DoNotOptimize(doc->Saved());
  }
}
BENCHMARK(BM_DataMerge)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Open(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    CloseAll(*f.app);
    state.ResumeTiming();
    auto doc = f.app->GetDocuments().Open(u"big.fodt", true);
    benchmark::DoNotOptimize(doc->GetBookmarks().Count());
  }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Save(benchmark::State& state) {
  Fixture& f = Shared();
  CloseAll(*f.app);
  auto doc = f.app->GetDocuments().Open(u"big.fodt", true);
  for (auto _ : state) doc->SaveAs(u"big-copy.fodt");
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace qnmuro::simhost

BENCHMARK_MAIN();
