#include "track_facts.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "gapless_info.h"

namespace vemla {
namespace {

std::string text_or_empty(const char* text) { return text ? text : ""; }

}  // namespace

TrackFacts track_facts(const Header& header, const Ibitstream& stream) {
  TrackFacts facts;
  facts.version = text_or_empty(header.version_text());
  facts.layer = text_or_empty(header.layer_text());
  facts.bitrate = text_or_empty(header.bitrate_text());
  facts.samplerate = text_or_empty(header.sample_rate_text());
  facts.mode = text_or_empty(header.mode_text());
  facts.checksums = header.protection_bit() == 0;
  facts.copyright = header.copyright() != 0;
  facts.original = header.original() != 0;
  // The columns are 32-bit: larger figures are stored as the largest they hold.
  constexpr unsigned kLargest = std::numeric_limits<int32_t>::max();
  constexpr float kLongest = 2147483520.0f;  // the largest float below 2^31
  facts.frametotal = static_cast<int32_t>(std::min(header.frame_count_estimate(stream), kLargest));
  facts.tracktotal = static_cast<int32_t>(std::min(header.total_duration_ms(stream), kLongest));
  const GaplessInfo gapless = find_gapless_info(header, stream);
  if (gapless.known() && header.frequency() > 0) {
    facts.exact = true;
    facts.encoder_delay = gapless.delay;
    facts.encoder_padding = gapless.padding;
    facts.samples = gapless.samples;
    const uint64_t ms = gapless.samples * 1000 / header.frequency();
    facts.tracktotal = static_cast<int32_t>(std::min<uint64_t>(ms, kLargest));
  }
  return facts;
}

std::string time_text(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[48];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

}  // namespace vemla
