#include "text_fold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

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
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(status);
  if (U_FAILURE(status)) return std::string(text);
  icu::UnicodeString decomposed =
      nfkd->normalize(icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size()))),
                      status);
  if (U_FAILURE(status)) return std::string(text);
  // Marks are dropped after folding, since a folded letter may bring marks of its own (İ folds to i and a dot).
  decomposed.foldCase();
  icu::UnicodeString kept;
  for (int32_t i = 0; i < decomposed.length();) {
    const UChar32 c = decomposed.char32At(i);
    i += U16_LENGTH(c);
    if (u_charType(c) != U_NON_SPACING_MARK) kept.append(c);
  }
  std::string folded;
  kept.toUTF8String(folded);
  return folded;
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
