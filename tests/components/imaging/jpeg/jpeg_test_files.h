#pragma once

// JPEG files made by libjpeg itself, for what Qt's writer cannot do
// (arithmetic coding, scan scripts, four inks), the places in them that the
// tests cut or change, and what libjpeg and jpegtran read and make of them.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QStringList>

#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>
#include <vector>
// jpeglib.h needs FILE declared before it.
#include <jpeglib.h>

#include "components/imaging/jpeg/jpeg_quarter_turn.h"
#include "support/test_support.h"

namespace lumaset::test {

// A JPEG written by libjpeg itself from rows of `components` bytes a pixel,
// for what Qt's writer cannot do; `setUp` changes the defaults.
inline QByteArray libjpegBytes(int width, int height, J_COLOR_SPACE space, const QByteArray& samples,
                        const std::function<void(jpeg_compress_struct&)>& setUp) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = space == JCS_CMYK ? 4 : 3;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  setUp(info);
  jpeg_start_compress(&info, TRUE);
  const qsizetype stride = qsizetype{width} * info.input_components;
  while (info.next_scanline < info.image_height) {
    auto* row = reinterpret_cast<JSAMPLE*>(const_cast<char*>(samples.constData())) + info.next_scanline * stride;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
  std::free(out);  // NOLINT(cppcoreguidelines-no-malloc): libjpeg's buffer
  return bytes;
}

// The samples of `picture` as libjpeg takes them: three bytes a pixel.
inline QByteArray rgbSamples(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  QByteArray samples;
  for (int y = 0; y < rgb.height(); ++y)
    samples.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), qsizetype{rgb.width()} * 3);
  return samples;
}

// Where the marker `code` first stands in a JPEG file (0xFF then `code`
// never occurs inside compressed data).
inline qsizetype markerAt(const QByteArray& jpeg, char code, qsizetype from = 0) {
  return jpeg.indexOf(QByteArray(1, '\xFF').append(code), from);
}

// Busy pixels, so that the file's data is large and every row has some.
inline QImage dotted(int width, int height) {
  QImage image = Quarters(width, height);
  for (int y = 0; y < height; y += 3)
    for (int x = (y * 7) % 5; x < width; x += 5) image.setPixel(x, y, qRgb((x * 37) % 256, (y * 11) % 256, (x ^ y) % 256));
  return image;
}

// A grey picture in `scans` scans: its DC values, then its AC scan, repeated.
inline QByteArray greyScans(const QImage& picture, int scans, bool arithmetic) {
  const QByteArray two = libjpegBytes(picture.width(), picture.height(), JCS_RGB, rgbSamples(picture), [&](jpeg_compress_struct& info) {
    jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    static const jpeg_scan_info script[] = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}};
    info.scan_info = script;
    info.num_scans = 2;
    info.arith_code = arithmetic ? TRUE : FALSE;
  });
  // The second scan, with any tables written before it.
  qsizetype from = markerAt(two, '\xDA') + 2;
  while (from < two.size() && !(two[from] == '\xFF' && QByteArray("\xC4\xCC\xDA").contains(two[from + 1]))) ++from;
  const QByteArray repeated = two.mid(from, two.size() - 2 - from);
  return two.left(from) + repeated.repeated(scans - 1) + "\xFF\xD9";
}

// A segment of `marker` holding `content`.
inline QByteArray segment(unsigned char marker, const QByteArray& content) {
  const auto length = static_cast<int>(content.size()) + 2;
  return QByteArray("\xFF").append(char(marker)).append(char(length >> 8)).append(char(length & 0xFF)) + content;
}

// What libjpeg reads of a file's frame and blocks; empty where it fails.
struct Coefficients {
  int width = 0, height = 0;
  J_COLOR_SPACE space = JCS_UNKNOWN;
  bool progressive = false, arithmetic = false;
  unsigned restart = 0;
  std::vector<std::pair<int, int>> sampling, blocks;  // across, down
  std::vector<std::array<UINT16, DCTSIZE2>> tables;
  std::vector<std::vector<JCOEF>> values;  // each component's blocks, row by row
  bool operator==(const Coefficients&) const = default;
  // The picture alone, however its coefficients are coded.
  Coefficients picture() const {
    Coefficients plain = *this;
    plain.progressive = plain.arithmetic = false;
    plain.restart = 0;
    return plain;
  }
};

struct TestErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// What `read` makes of the JPEG `jpeg` once libjpeg has read its header;
// an empty result where libjpeg fails.
template <typename Result, typename Read>
Result readWithLibjpeg(const QByteArray& jpeg, Read read) {
  jpeg_decompress_struct info{};
  TestErrors errors{};
  info.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = [](j_common_ptr common) { std::longjmp(reinterpret_cast<TestErrors*>(common->err)->jump, 1); };
  Result result;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return {};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.constData()),
               static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  read(info, result);
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return result;
}

inline Coefficients readCoefficients(const QByteArray& jpeg) {
  return readWithLibjpeg<Coefficients>(jpeg, [](jpeg_decompress_struct& info, Coefficients& c) {
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
    c.width = static_cast<int>(info.image_width);
    c.height = static_cast<int>(info.image_height);
    c.space = info.jpeg_color_space;
    c.progressive = info.progressive_mode != 0;
    c.arithmetic = info.arith_code != 0;
    c.restart = info.restart_interval;
    for (int i = 0; i < info.num_components; ++i) {
      const jpeg_component_info& component = info.comp_info[i];
      c.sampling.emplace_back(component.h_samp_factor, component.v_samp_factor);
      c.blocks.emplace_back(component.width_in_blocks, component.height_in_blocks);
      std::array<UINT16, DCTSIZE2> table{};
      std::copy_n(info.quant_tbl_ptrs[component.quant_tbl_no]->quantval, DCTSIZE2, table.begin());
      c.tables.push_back(table);
      std::vector<JCOEF> values;
      for (JDIMENSION y = 0; y < component.height_in_blocks; ++y) {
        JBLOCKARRAY row =
            (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), arrays[i], y, 1, FALSE);
        for (JDIMENSION x = 0; x < component.width_in_blocks; ++x)
          values.insert(values.end(), row[0][x], row[0][x] + DCTSIZE2);
      }
      c.values.push_back(values);
    }
  });
}

// The kinds of file a camera, a scanner or an editor writes.
struct Kind {
  const char* name;
  J_COLOR_SPACE input, stored;
  int across, down;  // the first component's sampling
  bool progressive, arithmetic;
  unsigned restartRows;
  bool optimised = false;  // Huffman tables made for the picture, not the standard ones
};

inline constexpr Kind kKinds[] = {
    {"4:4:4", JCS_RGB, JCS_YCbCr, 1, 1, false, false, 0},  {"4:2:2", JCS_RGB, JCS_YCbCr, 2, 1, false, false, 0},
    {"4:2:0", JCS_RGB, JCS_YCbCr, 2, 2, false, false, 0},  {"grey", JCS_RGB, JCS_GRAYSCALE, 1, 1, false, false, 0},
    {"cmyk", JCS_CMYK, JCS_CMYK, 1, 1, false, false, 0},   {"ycck", JCS_CMYK, JCS_YCCK, 2, 2, false, false, 0},
    {"progressive", JCS_RGB, JCS_YCbCr, 2, 2, true, false, 0}, {"restarts", JCS_RGB, JCS_YCbCr, 2, 1, false, false, 1},
    {"arithmetic", JCS_RGB, JCS_YCbCr, 2, 2, true, true, 0},
    {"optimised 4:2:0", JCS_RGB, JCS_YCbCr, 2, 2, false, false, 0, true},
    {"optimised restarts", JCS_RGB, JCS_YCbCr, 2, 1, false, false, 1, true},
    {"optimised ycck", JCS_CMYK, JCS_YCCK, 2, 2, false, false, 0, true},
};

// `picture` written as a file of `kind`, at quality 85.
inline QByteArray madeJpeg(const Kind& kind, const QImage& picture) {
  QByteArray samples = rgbSamples(picture);
  if (kind.input == JCS_CMYK) {
    QByteArray inks;
    for (qsizetype i = 0; i < samples.size(); i += 3) inks += samples.mid(i, 3) + char(samples[i] ^ samples[i + 2]);
    samples = inks;
  }
  return libjpegBytes(picture.width(), picture.height(), kind.input, samples, [&kind](jpeg_compress_struct& info) {
    jpeg_set_colorspace(&info, kind.stored);
    jpeg_set_quality(&info, 85, TRUE);
    info.comp_info[0].h_samp_factor = kind.across;
    info.comp_info[0].v_samp_factor = kind.down;
    if (kind.progressive) jpeg_simple_progression(&info);
    info.arith_code = kind.arithmetic ? TRUE : FALSE;
    info.restart_in_rows = static_cast<int>(kind.restartRows);
    info.optimize_coding = kind.optimised ? TRUE : FALSE;
  });
}

inline QByteArray madeJpeg(const Kind& kind, int width, int height) { return madeJpeg(kind, dotted(width, height)); }

// The JPEG `jpeg` as jpegtran (package libjpeg-turbo-progs) rewrites it with
// `arguments`; nothing where it refuses, as -perfect does where an edge that
// moves is not whole MCUs.
inline std::optional<QByteArray> jpegtran(const QByteArray& jpeg, const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral("jpegtran"), arguments);
  if (!process.waitForStarted(10000)) {
    ADD_FAILURE() << "jpegtran (package libjpeg-turbo-progs) cannot be run: " << process.errorString().toStdString();
    return std::nullopt;
  }
  process.write(jpeg);
  process.closeWriteChannel();
  if (!process.waitForFinished(30000)) {
    ADD_FAILURE() << "jpegtran did not finish within 30 s";
    process.kill();
    process.waitForFinished(5000);
    return std::nullopt;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
  return process.readAllStandardOutput();
}

// The samples a file decodes to in its own colour model, each sample of a
// coarser component repeated over the pixels it covers.
struct Samples {
  int width = 0, height = 0, components = 0;
  std::vector<JSAMPLE> values;
  int at(int c, int x, int y) const { return values[(std::size_t(y) * width + x) * components + c]; }
};

inline Samples decoded(const QByteArray& jpeg) {
  return readWithLibjpeg<Samples>(jpeg, [](jpeg_decompress_struct& info, Samples& samples) {
    info.out_color_space = info.jpeg_color_space;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    samples.width = static_cast<int>(info.output_width);
    samples.height = static_cast<int>(info.output_height);
    samples.components = info.output_components;
    samples.values.resize(std::size_t(samples.width) * samples.height * samples.components);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = samples.values.data() + std::size_t(info.output_scanline) * samples.width * samples.components;
      jpeg_read_scanlines(&info, &row, 1);
    }
  });
}

// Where the pixel at x, y of a photo shown upright comes from in its stored
// picture of `width` x `height`, by the EXIF table.
inline std::pair<int, int> storedPixel(int orientation, int x, int y, int width, int height) {
  switch (orientation) {
    case 2: return {width - 1 - x, y};
    case 3: return {width - 1 - x, height - 1 - y};
    case 4: return {x, height - 1 - y};
    case 5: return {y, x};
    case 6: return {y, height - 1 - x};
    case 7: return {width - 1 - y, height - 1 - x};
    case 8: return {width - 1 - y, x};
    default: return {x, y};
  }
}

// How far each component of `turned` lies from the photo `stored` (of
// `orientation`) shown upright and turned a quarter clockwise by hand: the
// root mean square of the differences, and their mean; nothing when their
// sizes differ.
struct Apart {
  double rootMeanSquare = 0, mean = 0;
};

inline std::vector<Apart> differences(const Samples& turned, const Samples& stored, int orientation) {
  const bool sideways = orientation >= 5;
  const int shownWidth = sideways ? stored.height : stored.width, shownHeight = sideways ? stored.width : stored.height;
  if (turned.width != shownHeight || turned.height != shownWidth || turned.components != stored.components) return {};
  std::vector<Apart> apart(std::size_t(stored.components));
  for (int y = 0; y < turned.height; ++y) {
    for (int x = 0; x < turned.width; ++x) {
      // Clockwise: the turned picture's x, y is the shown picture's y, up from its bottom.
      const auto [sx, sy] = storedPixel(orientation, y, shownHeight - 1 - x, stored.width, stored.height);
      for (int c = 0; c < stored.components; ++c) {
        const double difference = turned.at(c, x, y) - stored.at(c, sx, sy);
        apart[c].rootMeanSquare += difference * difference;
        apart[c].mean += difference;
      }
    }
  }
  const double samples = double(turned.width) * turned.height;
  for (Apart& component : apart) {
    component.rootMeanSquare = std::sqrt(component.rootMeanSquare / samples);
    component.mean /= samples;
  }
  return apart;
}

// `jpeg` turned clockwise `times` times; empty, with a failure, where a
// turn is refused.
inline QByteArray turned(const QByteArray& jpeg, int times = 1) {
  QByteArray bytes = jpeg;
  for (int i = 0; i < times; ++i) {
    const Result<QByteArray> next = TurnJpegClockwise(bytes);
    if (!next) {
      ADD_FAILURE() << next.error().toStdString();
      return {};
    }
    bytes = *next;
  }
  return bytes;
}

}  // namespace lumaset::test
