// The body pass's scan of header files on the in-memory platform: the rate
// in bytes a second must stay the same from 1,000 to 10,000 files, which
// shows the scan is linear in the total size.
#include <benchmark/benchmark.h>

#include "retrieval/Passes.h"
#include "support/FakePlatform.h"

namespace {

using quarrow::Job;
using quarrow::testing::FakePlatform;

// About 2 KB of header lines, with commas and a quoted display name.
std::string Header(int n, bool matching) {
  std::string h = "Return-Path: <sender" + std::to_string(n) + "@example.com>\r\n";
  while (h.size() < 1900)
    h += "Received: from relay.example.com (relay [192.0.2.1]) by mx, "
         "with ESMTP id " + std::to_string(h.size()) + "\r\n";
  h += "From: \"Sender, Some\" <s@example.com>\r\n";
  h += std::string("Subject: ") + (matching ? "Velbrin order" : "Weekly news") + "\r\n";
  return h;
}

void BM_BodyPassScan(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    FakePlatform p;
    p.readPieceSize = 4096;
    p.fs.AddFolder(L"c:\\mail");
    p.fs.ChangeFolder(L"c:\\mail");
    Job job(p);
    job.settings.myPath = L"c:\\mail\\";
    job.settings.mySubj = L"VELBRIN";
    job.msgCount = files;
    bytes = 0;
    for (int n = 1; n <= files; ++n) {
      // A few matches, the same number at every size.
      const std::string h = Header(n, n % (files / 4) == 0);
      bytes += h.size();
      p.fs.WriteFile(L"c:\\mail\\MSG" + std::to_wstring(n) + L".TXT", h);
    }
    // The matched messages leave a body file each.
    p.tool = [&](const quarrow::Text&) {
      p.fs.WriteFile(L"c:\\mail\\msg" + std::to_wstring(files + 1) + L".txt", "x");
    };
    state.ResumeTiming();
    quarrow::ReadBody_Click(job);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_BodyPassScan)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
