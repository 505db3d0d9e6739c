// The MPEG audio frame header (ISO/IEC 11172-3, 2.4.2.3; ISO/IEC 13818-3, 2.4.2.3; MPEG 2.5), the values
// derived from it, the estimates of a file's length and the texts the library stores.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "bitstream.h"
#include "crc.h"
#include "header_word.h"
#include "vbr_header.h"

namespace vemla {

enum Mode : uint8_t { Stereo = 0, JointStereo = 1, DualChannel = 2, SingleChannel = 3 };

enum ChannelChoice : uint8_t { ChoiceStereo = 0, ChoiceLeft = 1, ChoiceRight = 2, ChoiceMono = 3 };

class Header {
 public:
  Header();
  ~Header();
  Header(const Header&) = delete;
  Header& operator=(const Header&) = delete;

  // Finds the next frame, decodes its header and loads its body. crc_out is the CRC register when the frame
  // carries a CRC word (already fed with the header's protected bits), else null.
  bool read_frame_header(Ibitstream& stream, Crc16*& crc_out);
  unsigned compute_frame_size();
  // Positions the stream at 0-based frame n and loads that frame.
  bool seek_to_frame(Ibitstream& stream, unsigned frame_number);
  // Number of frames of the stream. Without an encoder's header in the first frame: the audio bytes divided
  // by the length of an unpadded frame, or, where the bit rate changes, the frames counted by their headers.
  // With one: its count when the audio bytes can hold it, else the frames after it counted by their headers
  // (read from the file once, nothing decoded).
  unsigned frame_count_estimate(const Ibitstream& stream) const;
  float frame_duration_ms() const;
  float total_duration_ms(const Ibitstream& stream) const;

  const char* layer_text() const;
  const char* bitrate_text() const;
  const char* sample_rate_text() const;
  const char* mode_text() const;
  const char* version_text() const;

  int layer() const { return layer_; }
  int protection_bit() const { return protection_bit_; }
  int bitrate_index() const { return bitrate_index_; }
  int padding_bit() const { return padding_bit_; }
  int mode_extension() const { return mode_extension_; }
  // 1 for MPEG-1, 0 for the lower sampling frequencies (MPEG-2 LSF and MPEG 2.5), which share their rules.
  uint8_t version() const { return version_; }
  // The version bits: kMpeg1, kMpeg2 or kMpeg25.
  int version_code() const { return version_code_; }
  bool mpeg25() const { return version_code_ == kMpeg25; }
  // Free format: the length of the stream's frames (unpadded, header included) as measured, else 0.
  unsigned free_format_length() const { return free_length_; }
  uint8_t mode() const { return mode_; }
  uint8_t sample_frequency() const { return sample_frequency_; }
  unsigned subband_count() const { return subband_count_; }
  unsigned intensity_stereo_bound() const { return intensity_stereo_bound_; }
  uint8_t copyright() const { return copyright_; }
  uint8_t original() const { return original_; }
  bool synced() const { return synced_; }
  uint16_t checksum() const { return checksum_; }
  unsigned frame_size() const { return frame_size_; }
  int main_data_slots() const { return main_data_slots_; }
  // Entry k: the padding bytes of frames 0..k (a slot of four bytes in Layer I, one byte otherwise).
  const std::vector<uint32_t>& padding_offsets() const { return padding_offsets_; }
  unsigned padding_bytes() const { return static_cast<unsigned>(padding_bit_) * slot_bytes(layer_); }
  // The encoder's header found in the stream's first frame, if any.
  const VbrHeader& vbr_header() const { return vbr_header_; }
  // The current frame is that header's frame: it carries no audio and must not be decoded.
  bool tag_frame() const { return tag_frame_; }
  // Every frame read so far starts where the constant-length seek expects it and has the first frame's
  // layer and bit rate, and no encoder's header says otherwise. False for VBR streams.
  bool constant_frame_length() const { return !vbr_header_.variable_bitrate() && arithmetic_holds_; }

  // The CRC register of the current frame, or null when it carries no CRC word.
  Crc16* frame_crc() const { return protection_bit_ == 0 ? crc_.get() : nullptr; }
  unsigned bitrate() const;    // bits per second (measured in free format)
  unsigned frequency() const;  // Hz
  unsigned channels() const { return mode_ == SingleChannel ? 1 : 2; }
  // PCM samples per channel that one frame of this layer and version carries.
  unsigned samples_per_frame() const;
  // Per-channel bit-rate index of Layer II allocation (unsigned wrap-around below index 4 is intended).
  unsigned per_channel_bitrate_index() const;

 private:
  bool find_first_header(Ibitstream& stream, uint32_t& word);
  void take_fields(uint32_t word);
  void note_first_frame(const Ibitstream& stream);
  void check_frame_start(const Ibitstream& stream);
  bool tag_count_holds(const Ibitstream& stream) const;
  unsigned count_frames_after_tag(const Ibitstream& stream) const;
  bool bit_rate_varies(const Ibitstream& stream) const;

  int layer_ = 0;
  int protection_bit_ = 1;
  int bitrate_index_ = 0;
  int padding_bit_ = 0;
  int mode_extension_ = 0;
  uint8_t version_ = 1;
  int version_code_ = kMpeg1;
  uint8_t mode_ = Stereo;
  uint8_t sample_frequency_ = 0;
  unsigned subband_count_ = 0;
  unsigned intensity_stereo_bound_ = 0;
  uint8_t copyright_ = 0;
  uint8_t original_ = 0;
  bool synced_ = false;
  std::unique_ptr<Crc16> crc_;
  std::vector<uint32_t> padding_offsets_;
  uint16_t checksum_ = 0;
  unsigned frame_size_ = 0;
  int main_data_slots_ = 0;

  // What the first frame said about the stream, and whether the frames read so far bear it out.
  StreamLock lock_;            // what the frames after the first share with it
  unsigned free_length_ = 0;   // free format: the frames' unpadded length
  VbrHeader vbr_header_;
  mutable std::optional<unsigned> counted_frames_;  // the frames after an encoder's header, once counted
  mutable std::optional<bool> varies_;              // whether the bit rate changes, once looked at
  bool tag_frame_ = false;
  uint64_t first_frame_end_ = 0;
  int first_layer_ = 0;
  int first_bitrate_index_ = 0;
  unsigned first_unpadded_length_ = 0;
  bool arithmetic_holds_ = true;
  int checked_frame_ = -1;
};

}  // namespace vemla
