// A 4000 x 3000 camera photo made into the stored 280 x 280 thumbnail: decode, resample,
// encode. Baseline in the same run: the same pipeline decoding every pixel at full size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "lib/Image.h"
#include "lib/ImageThumbnail.h"

namespace {

using namespace miravel;

// A smooth gradient with sensor-like noise, so the JPEG has the detail (and the size, about
// 3 MB) of a photo rather than of a flat test card. Encoded once, at quality 90.
const std::string& cameraJpeg() {
    static const std::string bytes = [] {
        Image image = Image::blank(4000, 3000);
        std::mt19937 random(42);
        std::uniform_int_distribution<int> noise(-12, 12);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                std::uint8_t* p = image.pixel(x, y);
                p[0] = static_cast<std::uint8_t>(
                    std::clamp(x * 200 / 4000 + 30 + noise(random), 0, 255));
                p[1] = static_cast<std::uint8_t>(
                    std::clamp(y * 200 / 3000 + 20 + noise(random), 0, 255));
                p[2] = static_cast<std::uint8_t>(
                    std::clamp((x + y) * 120 / 7000 + 60 + noise(random), 0, 255));
                p[3] = 255;
            }
        }
        auto jpeg = encodeJpeg(image, 90);
        if (!jpeg) {
            std::abort();
        }
        return *jpeg;
    }();
    return bytes;
}

void BM_ThumbnailDctScaled(benchmark::State& state) {
    const std::string& jpeg = cameraJpeg();
    for (auto _ : state) {
        auto thumbnail = thumbnailJpeg(jpeg);
        benchmark::DoNotOptimize(thumbnail);
    }
    state.counters["input_kB"] = static_cast<double>(jpeg.size()) / 1000;
}
BENCHMARK(BM_ThumbnailDctScaled)->Unit(benchmark::kMillisecond);

void BM_ThumbnailFullDecode(benchmark::State& state) {
    const std::string& jpeg = cameraJpeg();
    for (auto _ : state) {
        auto image = decodeImage(jpeg);
        auto thumbnail = encodeJpeg(createThumbnail(*image), kPhotoJpegQuality);
        benchmark::DoNotOptimize(thumbnail);
    }
}
BENCHMARK(BM_ThumbnailFullDecode)->Unit(benchmark::kMillisecond);

// The parts of the fast path on their own.
void BM_DecodeDctScaled(benchmark::State& state) {
    const std::string& jpeg = cameraJpeg();
    for (auto _ : state) {
        auto image = decodeImage(jpeg, {.thumbnailEdge = kThumbnailEdge});
        benchmark::DoNotOptimize(image);
        state.counters["decoded_width"] = image->width;
    }
}
BENCHMARK(BM_DecodeDctScaled)->Unit(benchmark::kMillisecond);

void BM_DecodeFull(benchmark::State& state) {
    const std::string& jpeg = cameraJpeg();
    for (auto _ : state) {
        auto image = decodeImage(jpeg);
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_DecodeFull)->Unit(benchmark::kMillisecond);

}  // namespace
