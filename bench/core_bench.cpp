// Benchmarks of the play list, its files and track selection.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/play_list.h"
#include "core/player_core.h"
#include "core/random.h"
#include "null_platform.h"

namespace kelvo {
namespace {

using bench::NullLoop;
using bench::NullView;

class BenchPlayer : public TPlayerCore {
 public:
  BenchPlayer() : TPlayerCore(view_, loop_) {}
  bool PlayFile(const std::string& path) override {
    benchmark::DoNotOptimize(path.data());
    ++plays;
    return true;
  }
  long plays = 0;

 private:
  NullView view_;
  NullLoop loop_;
};

std::string PathFor(long i) {
  return "/home/user/Music/album/track" + std::to_string(i) + ".mid";
}

void Fill(PlayListModel& model, long rows) {
  model.Reset();
  int point = 0;
  for (long i = 0; i < rows; ++i) model.InsertEntry(point, PathFor(i), false);
}

// k entries inserted as one batch into a list of n rows.
void InsertBatch(benchmark::State& state, bool insertMode) {
  const long n = state.range(0);
  std::vector<std::string> paths;
  for (long i = 0; i < n; ++i) paths.push_back(PathFor(i));
  for (auto _ : state) {
    state.PauseTiming();
    auto model = std::make_unique<PlayListModel>(1);
    Fill(*model, n);
    model->SetRow(0);
    state.ResumeTiming();
    {
      ListUpdate batch(*model);
      int point = model->InsertionPoint(insertMode);
      for (const auto& path : paths) model->InsertEntry(point, path, insertMode);
    }
    benchmark::DoNotOptimize(model->RowCount());
    state.PauseTiming();
    model.reset();  // freeing the list is not part of the insertion
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_InsertBatch_append(benchmark::State& state) {
  InsertBatch(state, false);
}
void BM_InsertBatch_insert_at_top(benchmark::State& state) {
  InsertBatch(state, true);
}

std::string WriteList(long lines) {
  const auto file =
      std::filesystem::temp_directory_path() / ("kelvo-bench-" + std::to_string(lines) + ".ini");
  std::ofstream out(file, std::ios::binary);
  out << "[zododizuza]\r\n";
  for (long i = 0; i < lines; ++i) out << PathFor(i) << "\r\n";
  return file.string();
}

void BM_LoadPlayList(benchmark::State& state) {
  const auto file = WriteList(state.range(0));
  BenchPlayer player;
  for (auto _ : state) {
    player.LoadPlayList(file, true);
    benchmark::DoNotOptimize(player.PlayList.RowCount());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  std::filesystem::remove(file);
}

// A whole shuffle pass: every row chosen once through PlayNextEntry.
void BM_ShufflePass(benchmark::State& state) {
  const long n = state.range(0);
  BenchPlayer player;
  Fill(player.PlayList, n);
  player.RepeatMenu.Checked = false;
  for (auto _ : state) {
    SeedRandom(4242);
    for (long i = 0; i < n; ++i) player.PlayNextEntry(false);
    state.PauseTiming();
    player.ClearMarks();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(BM_InsertBatch_append)
    ->Name("BM_InsertBatch/append")
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertBatch_insert_at_top)
    ->Name("BM_InsertBatch/insert_at_top")
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPlayList)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShufflePass)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelvo
