// How long the converters take on large inputs: a form with 500 grids and
// 100,000 lines, and a code module of 100,000 lines.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/catalogue/grid_catalogue.h"
#include "engine/code/code_file.h"
#include "engine/forms/form_file.h"
#include "engine/project/file_work.h"

namespace vireo {
namespace {

std::string Folder() {
  static std::string folder = [] {
    std::string pattern = "/tmp/vireo-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    ::setenv("TMPDIR", pattern.c_str(), 1);
    FillGridCatalogue();
    return pattern;
  }();
  return folder;
}

void Write(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string RecordBytes() {
  std::array<uint8_t, 16> guid{};
  GridCatalogue().Item(2).Item("CLSID_MsPlover").ToBytes(guid);
  std::string payload(reinterpret_cast<const char*>(guid.data()), 16);
  payload += std::string(200, 'p');
  std::string record = {6, 0, static_cast<char>(payload.size()), 0, 0, 0};
  return record + payload;
}

void BM_FormWith500GridsAnd100000Lines(benchmark::State& state) {
  const std::string folder = Folder();
  const int grids = 500;
  std::string form = "VERSION 4.00\r\nBegin VB.Form Big\r\n";
  std::string frx;
  for (int i = 0; i < grids; ++i) {
    char offset[16];
    std::snprintf(offset, sizeof offset, "%04X", static_cast<unsigned>(frx.size()));
    form += "   Begin VireoCore.VireoCtl Grid" + std::to_string(i) +
            "\r\n      OleObjectBlob = \"B.frx\":" + offset + "\r\n   End\r\n";
    frx += RecordBytes();
  }
  form += "End\r\n";
  int lines = 4 * grids + 3;
  for (int i = 0; lines < 100000; ++i, lines += 3) {
    form += "Private Sub Grid" + std::to_string(i % grids) +
            "_FetchCellStyle(C As Integer, S As Object)\r\n    x = " + std::to_string(i) +
            "\r\nEnd Sub\r\n";
  }
  Write(Folder() + "/B.frm", form);
  Write(Folder() + "/B.frx", frx);
  for (auto _ : state) {
    Staging staging;
    FileWork run(staging);
    if (ConvertFormFile(run, Folder() + "/B.frm", Folder() + "/B.frx", 2, 5) != kChanged)
      state.SkipWithError(run.result.failure_reason.c_str());
  }
  state.counters["lines"] = lines;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(form.size() + frx.size()));
}
BENCHMARK(BM_FormWith500GridsAnd100000Lines)->Unit(benchmark::kMillisecond);

void BM_CodeModuleOf100000Lines(benchmark::State& state) {
  std::string module;
  for (int i = 0; i < 100000; ++i)
    module += i % 10 == 0 ? "Dim V" + std::to_string(i) + " As VireoCore.Column\r\n"
                          : "    x = x + " + std::to_string(i) + " ' a plain line\r\n";
  Write(Folder() + "/M.bas", module);
  for (auto _ : state) {
    Staging staging;
    FileWork run(staging);
    if (ConvertCodeFile(run, Folder() + "/M.bas", 2, 5) != kChanged)
      state.SkipWithError(run.result.failure_reason.c_str());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(module.size()));
}
BENCHMARK(BM_CodeModuleOf100000Lines)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vireo

BENCHMARK_MAIN();
