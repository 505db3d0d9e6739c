#include "text_fold.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>

namespace vemla {

namespace {

bool ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string fold_text(std::string_view text) {
  // Most library texts are plain ASCII: lower-cased without a trip through UTF-16.
  if (ascii(text)) {
    std::string folded(text);
    for (char& c : folded) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
  }
  // ICU's C interface into buffers kept by the thread: a library is folded row by row, 100,000 of them.
  thread_local std::vector<UChar> source, decomposed, folded;
  const auto run = [](std::vector<UChar>& target, auto&& convert) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      UErrorCode status = U_ZERO_ERROR;
      const int32_t length = convert(target.data(), static_cast<int32_t>(target.size()), &status);
      if (status == U_BUFFER_OVERFLOW_ERROR) {
        target.resize(static_cast<size_t>(length) + 1);
        continue;
      }
      return U_FAILURE(status) ? -1 : length;
    }
    return -1;
  };
  if (source.size() < 256) source.resize(256);
  if (decomposed.size() < 256) decomposed.resize(256);
  if (folded.size() < 256) folded.resize(256);
  const int32_t utf16 = run(source, [&](UChar* out, int32_t capacity, UErrorCode* status) {
    int32_t length = 0;
    u_strFromUTF8WithSub(out, capacity, &length, text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                         status);
    return length;
  });
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfkd = unorm2_getNFKDInstance(&status);
  if (utf16 < 0 || U_FAILURE(status)) return std::string(text);
  const int32_t normal = run(decomposed, [&](UChar* out, int32_t capacity, UErrorCode* error) {
    return unorm2_normalize(nfkd, source.data(), utf16, out, capacity, error);
  });
  if (normal < 0) return std::string(text);
  // Marks are dropped after folding, since a folded letter may bring marks of its own (İ folds to i and a dot).
  const int32_t cased = run(folded, [&](UChar* out, int32_t capacity, UErrorCode* error) {
    return u_strFoldCase(out, capacity, decomposed.data(), normal, U_FOLD_CASE_DEFAULT, error);
  });
  if (cased < 0) return std::string(text);
  int32_t kept = 0;
  for (int32_t i = 0; i < cased;) {
    const int32_t start = i;
    UChar32 c;
    U16_NEXT(folded.data(), i, cased, c);
    if (u_charType(c) == U_NON_SPACING_MARK) continue;
    for (int32_t j = start; j < i; ++j) folded[static_cast<size_t>(kept++)] = folded[static_cast<size_t>(j)];
  }
  std::string result(static_cast<size_t>(kept) * 3, '\0');
  int32_t bytes = 0;
  status = U_ZERO_ERROR;
  u_strToUTF8(result.data(), static_cast<int32_t>(result.size()), &bytes, folded.data(), kept, &status);
  if (U_FAILURE(status)) return std::string(text);
  result.resize(static_cast<size_t>(bytes));
  return result;
}

std::vector<std::string> search_words(std::string_view text) {
  std::vector<std::string> words;
  const std::string folded = fold_text(text);
  size_t start = 0;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
  while (start < folded.size()) {
    while (start < folded.size() && blank(folded[start])) ++start;
    size_t end = start;
    while (end < folded.size() && !blank(folded[end])) ++end;
    if (end > start) words.emplace_back(folded.substr(start, end - start));
    start = end;
  }
  return words;
}

}  // namespace vemla
