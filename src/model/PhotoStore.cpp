#include "model/PhotoStore.h"

#include "lib/AtomicFile.h"
#include "lib/Crypto.h"
#include "lib/ImageThumbnail.h"

namespace miravel {
namespace {

Result<std::string> writePhotoFile(const std::filesystem::path& folder, std::string_view jpeg,
                                   Flush flush) {
    // A fresh random identifier per photo: two recipes never share, and never overwrite, a
    // file, even when photos arrive from several devices.
    std::string name = newUid() + ".jpg";
    if (auto written = writeFileAtomically(folder / name, jpeg, 0644, flush); !written) {
        return std::unexpected(written.error());
    }
    return name;
}

}  // namespace

Result<std::string> savePhoto(const std::filesystem::path& folder, std::string_view imageBytes,
                              Flush flush) {
    auto jpeg = thumbnailJpeg(imageBytes, kThumbnailEdge);
    if (!jpeg) {
        return std::unexpected(jpeg.error());
    }
    return writePhotoFile(folder, *jpeg, flush);
}

Result<std::string> savePhoto(const std::filesystem::path& folder, const Image& image) {
    auto jpeg = encodeJpeg(image, kPhotoJpegQuality);
    if (!jpeg) {
        return std::unexpected(jpeg.error());
    }
    return writePhotoFile(folder, *jpeg, Flush::Now);
}

}  // namespace miravel
