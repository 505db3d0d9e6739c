#include "window_bench.h"

#include <errno.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "error_box.h"
#include "null_device.h"
#include "program.h"

namespace vemla::bench {

namespace fs = std::filesystem;

void fail(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
  std::exit(1);
}

fs::path scratch_folder(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) fail("cannot make a temporary folder");
  const fs::path root = pattern;
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
  return root;
}

fs::path make_library(const fs::path& root, int count, const std::function<void(Table&, int)>& fill) {
  const fs::path folder = root / ("lib" + std::to_string(count));
  fs::create_directories(folder);
  Tdb db(root / "home");
  if (create_library(db, {folder, "Bench"}) != CreateResult::Created) fail("cannot create " + folder.string());
  {
    TableBatch batch(db.Table1);
    for (int i = 0; i < count; ++i) {
      db.Table1.append();
      fill(db.Table1, i);
      db.Table1.post();
    }
    batch.commit();
  }
  close_library(db);
  return folder / "Bench.mb";
}

double busy_ms(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  QCoreApplication::processEvents();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::unique_ptr<Program> make_program() {
  auto program = std::make_unique<Program>(std::make_unique<NullDevice>(500));
  set_error_handler([](const QString&) {});
  program->data_module.Table2.open();
  return program;
}

}  // namespace vemla::bench
