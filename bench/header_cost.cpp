#include "header_cost.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "fastest.hpp"
#include "image/data_check.hpp"
#include "image/image_header.hpp"
#include "image/regular_file.hpp"
#include "report.hpp"
#include "superpixels/io.hpp"

namespace superpixels::bench {

namespace {

struct Format {
  const char* name;
  const char* extension;
  std::vector<int> parameters;
};

}  // namespace

std::vector<HeaderCost> measureHeaderCost(const std::vector<cv::Mat>& photos,
                                          const std::string& folder, int repeat) {
  const Format formats[] = {
      {"JPEG (quality 95)", ".jpg", {}},
      {"PNG", ".png", {}},
      {"TIFF (LZW)", ".tif", {}},
      {"WebP lossy (quality 90)", ".webp", {cv::IMWRITE_WEBP_QUALITY, 90}},
      {"WebP lossless", ".webp", {cv::IMWRITE_WEBP_QUALITY, 101}},
  };
  std::vector<HeaderCost> costs;
  for (const Format& format : formats) {
    std::vector<double> bytes, header, decode, dataCheck, whole;
    for (std::size_t i = 0; i < photos.size(); ++i) {
      const std::string path = folder + "/photo" + std::to_string(i) + format.extension;
      if (!cv::imwrite(path, photos[i], format.parameters)) {
        throw std::runtime_error(path + ": cannot write");
      }
      bytes.push_back(static_cast<double>(std::filesystem::file_size(path)));
      header.push_back(fastest(repeat, [&] {
        if (!readImageHeader(path).ok) throw std::runtime_error(path + ": header refused");
      }));
      decode.push_back(fastest(repeat, [&] {
        if (cv::imread(path, cv::IMREAD_COLOR).empty()) {
          throw std::runtime_error(path + ": cannot decode");
        }
      }));
      FileBytes read = readFileBytes(path, std::uint64_t{1} << 31);
      if (!read.ok) throw std::runtime_error(path + ": cannot read");
      const std::string file = std::move(read.bytes);
      dataCheck.push_back(fastest(repeat, [&] {
        std::string copy = file;  // a PNG's is trimmed in place
        if (!imageDataDamage(copy).empty()) throw std::runtime_error(path + ": damaged");
      }));
      whole.push_back(fastest(repeat, [&] {
        if (!readImage(path, maxPixelCount).ok()) throw std::runtime_error(path + ": refused");
      }));
    }
    costs.push_back({format.name, static_cast<int>(photos.size()), median(bytes), median(header),
                     median(decode), median(dataCheck), median(whole)});
  }
  return costs;
}

void printHeaderCost(std::ostream& out, const std::string& label,
                     const std::vector<HeaderCost>& costs) {
  out << "\n" << label << "\n\n";
  out << "| format | files | size (median) | header check | decoding | check / decoding | data "
         "check | data check / decoding | readImage | readImage / decoding |\n";
  out << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const HeaderCost& cost : costs) {
    char line[384];
    std::snprintf(
        line, sizeof line,
        "| %s | %d | %.0f KiB | %.1f us | %.2f ms | %.3f %% | %.2f ms | %.0f %% | %.2f ms "
        "| %.2f |\n",
        cost.format.c_str(), cost.files, cost.medianBytes / 1024.0, cost.headerSeconds * 1e6,
        cost.decodeSeconds * 1e3, 100.0 * cost.headerSeconds / cost.decodeSeconds,
        cost.dataCheckSeconds * 1e3, 100.0 * cost.dataCheckSeconds / cost.decodeSeconds,
        cost.readImageSeconds * 1e3, cost.readImageSeconds / cost.decodeSeconds);
    out << line;
  }
}

}  // namespace superpixels::bench
