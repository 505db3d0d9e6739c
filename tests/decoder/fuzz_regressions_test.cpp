// Every input that once broke the decoder under the fuzzer (tests/fuzz_regressions), and every conformance
// stream and seed (fuzz/seeds) the fuzzer starts from, through the whole decoder as the fuzzer drives it and as a file in every
// channel choice: no crash, no sanitizer report, no broken promise.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "decode_driver.h"
#include "support.h"

namespace vemla::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> files_in(const fs::path& dir, const std::string& extension) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error))
    if (entry.is_regular_file() && entry.path().filename() != "README.md" &&
        (extension.empty() || entry.path().extension() == extension))
      files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
  std::string name = fs::path(info.param).filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

class FuzzInput : public testing::TestWithParam<std::string> {};

TEST_P(FuzzInput, DecodesWithoutHarm) {
  const std::vector<uint8_t> bytes = read_file(GetParam());
  ASSERT_TRUE(fs::exists(GetParam()));
  fuzz::decode_bytes(bytes.data(), bytes.size());
  // Every option byte's choices, so that the channel choice and sample kind the input was found with
  // are among them whatever its last byte now says.
  std::vector<uint8_t> variant = bytes;
  if (variant.empty()) variant.push_back(0);
  for (int options : {0x00, 0x01, 0x02, 0x03, 0x07, 0xFD}) {
    variant.back() = static_cast<uint8_t>(options);
    fuzz::decode_bytes(variant.data(), variant.size());
  }
  for (ChannelChoice choice : {ChoiceStereo, ChoiceLeft, ChoiceRight, ChoiceMono}) {
    const Decoded d = decode_file(GetParam(), choice, choice == ChoiceRight);
    if (!d.opened) continue;
    EXPECT_LE(d.pcm.size() + d.floats.size(), d.frames * 1152 * d.channels);
  }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzInput);
INSTANTIATE_TEST_SUITE_P(Regression, FuzzInput,
                         testing::ValuesIn(files_in(fs::path(VEMLA_SOURCE_DIR) / "tests" / "fuzz_regressions",
                                                    "")),
                         test_name);
INSTANTIATE_TEST_SUITE_P(Seed, FuzzInput, testing::ValuesIn(files_in(conformance_dir(), ".bit")), test_name);
INSTANTIATE_TEST_SUITE_P(OwnSeed, FuzzInput,
                         testing::ValuesIn(files_in(fs::path(VEMLA_SOURCE_DIR) / "fuzz" / "seeds", "")), test_name);

}  // namespace
}  // namespace vemla::test
