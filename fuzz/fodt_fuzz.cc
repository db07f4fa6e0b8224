// The simulated word processor's document reader: any bytes as a document file. A file is
// either refused with the host's file error or opens; an opened document saves, and what it
// saved opens again with the same text, bookmarks and pictures.
#include <cstdint>
#include <memory>
#include <string_view>

#include "base/error.h"
#include "fuzz/fuzz_support.h"
#include "simhost/fodt_format.h"
#include "simhost/sim_host.h"

namespace {

using namespace qnmuro;

simhost::SimApplication& App() {
  static simhost::SimApplication* app = [] {
    auto& fuzz = fuzz::FuzzContext::Get();
    hostkit::HostOptions options;
    options.ui = &fuzz.ui;
    options.clock = fuzz.clock.get();
    options.work_dir = fuzz.ctx.work_dir;
    return simhost::NewSimApplication(options).release();  // lives for the whole run
  }();
  return *app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  simhost::DocumentFile parsed;
  try {
    parsed = simhost::ParseFodt(bytes);
  } catch (const Error& e) {
    if (e.number() != host::kFileError) __builtin_trap();
    return 0;
  }
  // What parses must survive the writer and the reader again unchanged.
  const simhost::DocumentFile again = simhost::ParseFodt(simhost::SerializeFodt(parsed));
  if (again.text != parsed.text || again.bookmarks.size() != parsed.bookmarks.size() ||
      again.shapes.size() != parsed.shapes.size()) {
    __builtin_trap();
  }

  // Opened as a user would: the document object built from it, edited, saved, reopened.
  const auto path = FromPath(fuzz::WriteScratch("doc.fodt", bytes));
  auto& app = App();
  auto doc = app.GetDocuments().Open(path, true);
  const std::u16string text = doc->Content()->Text();
  for (long i = 1; i <= doc->GetBookmarks().Count(); ++i) {
    doc->GetBookmarks().Item(i)->GetRange()->Text();
  }
  doc->SaveAs(FromPath(fuzz::ScratchDir() / "saved.fodt"));
  doc->Close();
  auto reopened = app.GetDocuments().Open(FromPath(fuzz::ScratchDir() / "saved.fodt"), true);
  if (reopened->Content()->Text() != text) __builtin_trap();
  reopened->Close();
  return 0;
}
