#include "stereo.h"

#include <algorithm>
#include <cmath>

namespace vemla {
namespace {

constexpr int32_t kNotIntensity = -1;

// tan(i pi / 12) for the MPEG-1 intensity positions 0..6 (ISO/IEC 11172-3, 2.4.3.4.9.3); position 6 stands
// for the infinite ratio. Positions from 7 on are not intensity-coded: 7 is the standard's illegal position,
// and the larger ones that four-bit scale factors can carry would divide by 1 + tan(9 pi / 12) = 0.
constexpr int32_t kMpeg1IllegalPosition = 7;
constexpr float kIntensityRatio[7] = {0.0f, 0.2679492f, 0.5773503f, 1.0f, 1.7320508f, 3.7320509f, 1.0e11f};

constexpr float kMsFactor = 0.70710677f;  // 1 / sqrt(2)

// Row s: (2^(-(s + 1) / 4))^i, the LSF intensity factors (ISO/IEC 13818-3, 2.4.3.2).
struct LsfIntensityTable {
  float value[2][32];
  LsfIntensityTable() {
    for (int i = 0; i < 32; ++i) {
      value[0][i] = static_cast<float>(std::pow(0.840896415256, i));
      value[1][i] = static_cast<float>(std::pow(0.707106781188, i));
    }
  }
};

const LsfIntensityTable& lsf_intensity_table() {
  static const LsfIntensityTable table;
  return table;
}

// The intensity position of every line, set band by band from the right channel's scale factors.
class IntensityPositions {
 public:
  IntensityPositions(const StereoMode& mode, const ScaleFactorSet& right, StereoScratch& scratch)
      : mode_(mode), right_(right), s_(scratch) {
    for (int32_t& p : s_.position) p = kNotIntensity;
  }

  void assign_long(int band, int begin, int end) {
    const int32_t illegal = mode_.lsf ? mode_.illegal_positions->long_factors[band] : kMpeg1IllegalPosition;
    assign(begin, end, right_.long_factors[band], illegal);
  }
  void assign_short(int window, int band, int begin, int end) {
    const int32_t illegal =
        mode_.lsf ? mode_.illegal_positions->short_factors[window][band] : kMpeg1IllegalPosition;
    assign(begin, end, right_.short_factors[window][band], illegal);
  }
  // The band without a scale factor (long band 21, short band 12) lies above the right channel's values:
  // lines [begin, end) follow the band below, whose first line is `from`. When that band itself holds
  // right-channel values, the lower sampling frequencies use position 0 (both channels alike), as the
  // reference decodings of ISO/IEC 13818-4 have it, while MPEG-1 leaves the band not intensity-coded.
  void assign_top(int begin, int end, int from, bool below_coded) {
    if (below_coded)
      copy(begin, end, from);
    else if (mode_.lsf)
      assign(begin, end, 0, -1);
  }

 private:
  // Lines [begin, end), never past 575, take what line `from` has.
  void copy(int begin, int end, int from) {
    if (s_.position[from] == kNotIntensity) return;
    for (int line = begin; line < end && line < 576; ++line) {
      s_.position[line] = s_.position[from];
      if (mode_.lsf) {
        s_.intensity_k[0][line] = s_.intensity_k[0][from];
        s_.intensity_k[1][line] = s_.intensity_k[1][from];
      } else {
        s_.ratio[line] = s_.ratio[from];
      }
    }
  }

  void assign(int begin, int end, int32_t p, int32_t illegal) {
    if (mode_.lsf ? p == illegal : p >= illegal) return;
    for (int line = begin; line < end; ++line) {
      s_.position[line] = p;
      if (mode_.lsf)
        lsf_intensity_factors(p, mode_.intensity_scale, line, s_.intensity_k);
      else
        s_.ratio[line] = kIntensityRatio[p];
    }
  }

  const StereoMode& mode_;
  const ScaleFactorSet& right_;
  StereoScratch& s_;
};

bool any_nonzero(const float* values, int begin, int end) {
  for (int i = begin; i < end; ++i)
    if (values[i] != 0.0f) return true;
  return false;
}

// The highest line below `end` with a nonzero value, or -1.
int highest_nonzero(const float* values, int end) {
  for (int i = end - 1; i >= 0; --i)
    if (values[i] != 0.0f) return i;
  return -1;
}

// The first long band that starts above line `last`.
int first_band_above(const BandTable& bands, int last) {
  int band = 0;
  while (bands.long_starts[band] <= last) ++band;
  return band;
}

// Short bands of each window above the highest one holding a nonzero right-channel value (searched down to
// band `lowest`); band 12, which carries no scale factor, follows band 11. Returns the largest first
// intensity band over the windows.
int assign_short_bands(IntensityPositions& positions, const float* right_values, const BandTable& bands,
                       int lowest) {
  int first_intensity = 0;
  for (int w = 0; w < 3; ++w) {
    const auto width = [&](int band) { return bands.short_starts[band + 1] - bands.short_starts[band]; };
    const auto start = [&](int band) { return 3 * bands.short_starts[band] + w * width(band); };
    int top = lowest - 1;
    for (int band = 12; band >= lowest; --band) {
      if (any_nonzero(right_values, start(band), start(band) + width(band))) {
        top = band;
        break;
      }
    }
    for (int band = top + 1; band < 12; ++band)
      positions.assign_short(w, band, start(band), start(band) + width(band));
    if (top < 12) positions.assign_top(start(12), start(12) + width(12), start(11), top < 11);
    if (top + 1 > first_intensity) first_intensity = top + 1;
  }
  return first_intensity;
}

}  // namespace

void lsf_intensity_factors(int32_t position, uint32_t intensity_scale, int line,
                           float (&intensity_k)[2][576]) {
  const LsfIntensityTable& table = lsf_intensity_table();
  const uint32_t s = intensity_scale & 1;
  float k0 = 1.0f, k1 = 1.0f;
  if (position & 1)
    k0 = table.value[s][((position + 1) >> 1) & 31];
  else if (position > 0)
    k1 = table.value[s][(position >> 1) & 31];
  intensity_k[0][line] = k0;
  intensity_k[1][line] = k1;
}

void process_stereo(const float (&dequantised)[2][576], const ScaleFactorSet& right_factors,
                    const GranuleInfo& granule, const BandTable& bands, const StereoMode& mode,
                    StereoScratch& scratch, float (&stereo_out)[2][576], int lines) {
  const float* d0 = dequantised[0];
  const float* d1 = dequantised[1];
  float* out0 = stereo_out[0];
  float* out1 = stereo_out[1];
  // Zero in both channels gives zero in both, whichever way the line is coded.
  lines = std::clamp(lines, 0, 576);
  std::fill(out0 + lines, out0 + 576, 0.0f);
  std::fill(out1 + lines, out1 + 576, 0.0f);

  if (!mode.intensity) {
    if (mode.ms) {
      for (int i = 0; i < lines; ++i) {
        out0[i] = (d0[i] + d1[i]) * kMsFactor;
        out1[i] = (d0[i] - d1[i]) * kMsFactor;
      }
    } else {
      for (int i = 0; i < lines; ++i) out0[i] = d0[i], out1[i] = d1[i];
    }
    return;
  }

  IntensityPositions positions(mode, right_factors, scratch);
  if (!granule.short_block()) {
    // Every band above the right channel's highest nonzero line is intensity-coded: all of them when the
    // right channel is all zero.
    const int last = highest_nonzero(d1, 576);
    const int first = first_band_above(bands, last);
    for (int band = first; band <= 20; ++band)
      positions.assign_long(band, bands.long_starts[band], bands.long_starts[band + 1]);
    if (first <= 21) positions.assign_top(bands.long_starts[21], 576, bands.long_starts[20], first <= 20);
  } else if (!granule.mixed_block_flag) {
    assign_short_bands(positions, d1, bands, 0);
  } else {
    if (assign_short_bands(positions, d1, bands, 3) < 4) {
      // No short band holds right-channel values: the long part is intensity-coded from above its highest
      // nonzero line.
      const int long_bands = mixed_long_bands(bands);
      const int last = highest_nonzero(d1, bands.long_starts[long_bands]);
      for (int band = first_band_above(bands, last); band < long_bands; ++band)
        positions.assign_long(band, bands.long_starts[band], bands.long_starts[band + 1]);
    }
  }

  const int32_t* position = scratch.position;
  for (int i = 0; i < lines; ++i) {
    if (position[i] == kNotIntensity) {
      if (mode.ms) {
        out0[i] = (d0[i] + d1[i]) * kMsFactor;
        out1[i] = (d0[i] - d1[i]) * kMsFactor;
      } else {
        out0[i] = d0[i];
        out1[i] = d1[i];
      }
    } else if (!mode.lsf) {
      const float r = scratch.ratio[i];
      out1[i] = d0[i] / (1.0f + r);
      out0[i] = out1[i] * r;
    } else {
      out0[i] = d0[i] * scratch.intensity_k[0][i];
      out1[i] = d0[i] * scratch.intensity_k[1][i];
    }
  }
}

void mix_to_mono(float (&stereo_out)[2][576]) {
  for (int i = 0; i < 576; ++i) stereo_out[0][i] = (stereo_out[0][i] + stereo_out[1][i]) * 0.5f;
}

}  // namespace vemla
