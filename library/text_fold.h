// Text as searches compare it: case and accents folded away, so that "bjork" finds "Björk".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vemla {

// UTF-8 text folded for matching and ordering: compatibility decomposition (NFKD), full case folding, and the
// combining marks dropped (ICU). "Björk" and "BJORK" give "bjork", "ﬁn" gives "fin", "Straße" "strasse".
// Letters that carry no separate mark (ø, ł, æ) stay as they are. Invalid UTF-8 bytes become U+FFFD.
std::string fold_text(std::string_view text);

// The folded words of a search text, split at white space; empty words are left out.
std::vector<std::string> search_words(std::string_view text);

}  // namespace vemla
