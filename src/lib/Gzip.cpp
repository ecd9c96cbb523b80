#include "lib/Gzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace miravel {

namespace {

constexpr std::size_t kStep = 16384;
// zlib counts in unsigned int; larger inputs are fed in pieces of this size.
constexpr std::size_t kMaxChunk = UINT_MAX / 2;

// One pass over all of `bytes` with a final flush, memory level 8, default strategy.
std::string deflateAll(std::string_view bytes, int level, int windowBits) {
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out;
    std::size_t produced = 0;
    std::size_t offset = 0;
    int status = Z_OK;
    do {
        const std::size_t chunk = std::min(bytes.size() - offset, kMaxChunk);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + offset));
        stream.avail_in = static_cast<uInt>(chunk);
        offset += chunk;
        const int flush = offset == bytes.size() ? Z_FINISH : Z_NO_FLUSH;
        do {
            out.resize(produced + kStep);
            stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
            stream.avail_out = static_cast<uInt>(kStep);
            status = deflate(&stream, flush);
            produced += kStep - stream.avail_out;
        } while (stream.avail_out == 0);
    } while (status != Z_STREAM_END);
    deflateEnd(&stream);
    out.resize(produced);
    return out;
}

}  // namespace

std::string gzipCompress(std::string_view bytes, int level) {
    // windowBits 15 + 16 asks for the gzip wrapper.
    return deflateAll(bytes, level >= 1 && level <= 9 ? level : Z_DEFAULT_COMPRESSION, 15 + 16);
}

std::string rawDeflate(std::string_view bytes, int level) {
    return deflateAll(bytes, std::clamp(level, 0, 9), -15);
}

Result<std::string> inflateGzipOrZlib(std::string_view bytes, std::size_t maxSize) {
    if (bytes.empty()) {
        return std::string();
    }
    const auto notCompressed = [] {
        return makeError(kGzipErrorDomain, GzipErrorCode::NotCompressed,
                         "The data could not be decompressed.");
    };
    z_stream stream{};
    // windowBits 15 + 32 detects a gzip or zlib header.
    if (inflateInit2(&stream, 15 + 32) != Z_OK) {
        return notCompressed();
    }
    std::string out;
    std::size_t produced = 0;
    std::size_t offset = 0;
    int status = Z_OK;
    do {
        if (stream.avail_in == 0 && offset < bytes.size()) {
            const std::size_t chunk = std::min(bytes.size() - offset, kMaxChunk);
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + offset));
            stream.avail_in = static_cast<uInt>(chunk);
            offset += chunk;
        }
        // Room for one byte beyond the limit tells "exactly the limit" from "more".
        const std::size_t room = std::min(std::max(out.size(), kStep), maxSize + 1 - produced);
        if (room == 0) {
            inflateEnd(&stream);
            return makeError(kGzipErrorDomain, GzipErrorCode::TooLarge,
                             "The data is larger than can be read.");
        }
        out.resize(produced + room);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        stream.avail_out = static_cast<uInt>(std::min(room, kMaxChunk));
        const uInt before = stream.avail_out;
        status = inflate(&stream, Z_NO_FLUSH);
        produced += before - stream.avail_out;
        const bool inputLeft = stream.avail_in != 0 || offset < bytes.size();
        if (status == Z_BUF_ERROR && !inputLeft) {
            break;  // the input ends inside the stream
        }
    } while (status == Z_OK || status == Z_BUF_ERROR);
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        return notCompressed();
    }
    if (produced > maxSize) {
        return makeError(kGzipErrorDomain, GzipErrorCode::TooLarge,
                         "The data is larger than can be read.");
    }
    out.resize(produced);
    return out;
}

}  // namespace miravel
