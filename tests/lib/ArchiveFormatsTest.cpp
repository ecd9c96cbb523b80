#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "lib/AtomicFile.h"
#include "lib/DateText.h"
#include "lib/Gzip.h"
#include "lib/ZipArchive.h"
#include "support/TemporaryFolder.h"

namespace miravel {
namespace {

using testing::TemporaryFolder;

std::string zlibCompress(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()));
    out.resize(size);
    return out;
}

TEST(GzipTest, RoundTripsAndReadsBothWrappers) {
    std::string text;
    for (int i = 0; i < 50'000; ++i) {
        text += "line " + std::to_string(i * 7919 % 10007) + "\n";
    }
    const std::string gzip = gzipCompress(text);
    ASSERT_GE(gzip.size(), 10u);
    EXPECT_EQ(static_cast<unsigned char>(gzip[0]), 0x1f);  // the gzip magic, not zlib's
    EXPECT_EQ(static_cast<unsigned char>(gzip[1]), 0x8b);
    EXPECT_EQ(inflateGzipOrZlib(gzip).value(), text);
    EXPECT_EQ(inflateGzipOrZlib(zlibCompress(text)).value(), text);
    EXPECT_EQ(inflateGzipOrZlib(gzipCompress("")).value(), "");
    EXPECT_EQ(inflateGzipOrZlib("").value(), "");
}

TEST(GzipTest, RefusesWhatDoesNotInflateToTheEnd) {
    const std::string gzip = gzipCompress(std::string(100'000, 'x'));
    EXPECT_FALSE(inflateGzipOrZlib(gzip.substr(0, gzip.size() / 2)));  // cut short
    EXPECT_FALSE(inflateGzipOrZlib(gzip.substr(0, gzip.size() - 4)));  // no length trailer
    EXPECT_FALSE(inflateGzipOrZlib("{\"name\":\"plain JSON\"}"));
    std::string damaged = gzip;
    damaged[damaged.size() - 6] ^= 0x55;  // the checksum
    EXPECT_FALSE(inflateGzipOrZlib(damaged));
}

TEST(GzipTest, StopsAtTheSizeLimit) {
    // A megabyte of zeros compresses to about a kilobyte: the shape of a decompression bomb.
    const std::string bomb = gzipCompress(std::string(1 << 20, '\0'));
    auto refused = inflateGzipOrZlib(bomb, 64 * 1024);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, static_cast<int>(GzipErrorCode::TooLarge));
    EXPECT_EQ(inflateGzipOrZlib(bomb, 1 << 20).value().size(), 1u << 20);  // exactly the limit
}

class ZipArchiveTest : public ::testing::Test {
protected:
    TemporaryFolder m_folder;
};

TEST_F(ZipArchiveTest, RoundTripsEntriesInOrderWithUtf8Names) {
    const auto path = m_folder / "recipes.zip";
    auto writer = ZipWriter::create(path);
    ASSERT_TRUE(writer);
    const auto now = currentMoment();
    ASSERT_TRUE(writer->add("Crème brûlée.miravelrecipe", "first", now));
    ASSERT_TRUE(writer->add("Soup.miravelrecipe", std::string(200'000, 's'), now));
    ASSERT_TRUE(writer->add("Empty", "", now));
    ASSERT_TRUE(writer->commit());

    auto reader = ZipReader::open(path);
    ASSERT_TRUE(reader) << reader.error().description;
    ASSERT_EQ(reader->entries().size(), 3u);
    EXPECT_EQ(reader->entries()[0].name, "Crème brûlée.miravelrecipe");
    EXPECT_EQ(reader->entries()[1].size, 200'000u);
    EXPECT_EQ(reader->read(0).value(), "first");
    EXPECT_EQ(reader->read(1).value(), std::string(200'000, 's'));
    EXPECT_EQ(reader->read(2).value(), "");
    EXPECT_EQ(reader->read(0).value(), "first");  // entries can be read again, in any order
}

// The exporter deflates entries on other threads and hands them over whole; the reader
// checks each against its length and checksum, so a wrong one is refused.
TEST_F(ZipArchiveTest, EntriesDeflatedAheadReadBackAtEveryLevel) {
    const auto path = m_folder / "ahead.zip";
    std::string text;
    for (int i = 0; i < 20'000; ++i) {
        text += "line " + std::to_string(i % 97) + "\n";
    }
    std::vector<ZipWriter::DeflatedEntry> entries(3);
    std::thread deflating([&] {
        entries[0] = ZipWriter::deflateEntry(text, 0);
        entries[1] = ZipWriter::deflateEntry(text, 9);
        entries[2] = ZipWriter::deflateEntry("", 9);
    });
    deflating.join();
    EXPECT_GT(entries[0].data.size(), text.size()) << "level 0 stores";
    EXPECT_LT(entries[1].data.size(), text.size() / 10);
    auto lying = entries[1];
    lying.crc ^= 1;
    {
        auto writer = ZipWriter::create(path);
        ASSERT_TRUE(writer);
        for (const auto& entry : entries) {
            ASSERT_TRUE(writer->addDeflated("entry", entry, currentMoment()));
        }
        ASSERT_TRUE(writer->addDeflated("lying", lying, currentMoment()));
        ASSERT_TRUE(writer->commit());
    }
    auto reader = ZipReader::open(path);
    ASSERT_TRUE(reader) << reader.error().description;
    ASSERT_EQ(reader->entries().size(), 4u);
    EXPECT_EQ(reader->read(0).value_or(""), text);
    EXPECT_EQ(reader->read(1).value_or(""), text);
    EXPECT_EQ(reader->read(2).value_or("x"), "");
    EXPECT_FALSE(reader->read(3));
}

// The comment rides in the end record: entries are the same with or without it, an archive
// without one reads as "", and one too long for readers to find the end record past it is
// cut rather than breaking the archive.
TEST_F(ZipArchiveTest, KeepsTheArchiveCommentApartFromTheEntries) {
    const auto write = [&](const std::string& name, const std::string& comment) {
        auto writer = ZipWriter::create(m_folder / name);
        EXPECT_TRUE(writer);
        EXPECT_TRUE(writer->add("entry", "bytes", currentMoment()));
        if (!comment.empty()) {
            writer->setComment(comment);
        }
        EXPECT_TRUE(writer->commit());
        auto reader = ZipReader::open(m_folder / name);
        EXPECT_TRUE(reader) << reader.error().description;
        EXPECT_EQ(reader->entries().size(), 1u);
        EXPECT_EQ(reader->read(0).value_or(""), "bytes");
        return reader->comment();
    };
    EXPECT_EQ(write("plain.zip", ""), "");
    EXPECT_EQ(write("noted.zip", "recipes: 12"), "recipes: 12");
    EXPECT_EQ(write("long.zip", std::string(70'000, 'c')), std::string(kMostZipCommentBytes, 'c'));
}

TEST_F(ZipArchiveTest, AnAbandonedArchiveLeavesTheOldFileWhole) {
    const auto path = m_folder / "recipes.zip";
    ASSERT_TRUE(writeFileAtomically(path, "what was there"));
    {
        auto writer = ZipWriter::create(path);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->add("a", "b", currentMoment()));
    }  // never committed
    EXPECT_EQ(readFile(path).value(), "what was there");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(m_folder.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1u) << "the partial archive is removed";
    EXPECT_FALSE(ZipWriter::create(m_folder / "no such folder" / "x.zip"));
}

TEST_F(ZipArchiveTest, RefusesDamageAndLies) {
    const auto path = m_folder / "recipes.zip";
    auto writer = ZipWriter::create(path);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->add("big", std::string(100'000, 'b'), currentMoment()));
    ASSERT_TRUE(writer->commit());

    // Limits apply to what the archive declares, before anything is inflated.
    EXPECT_FALSE(ZipReader::open(path, {.maxEntrySize = 1000}).value().read(0));
    EXPECT_FALSE(ZipReader::open(path, {.maxTotalSize = 1000}));

    // An entry whose declared length is smaller than what its data inflates to fails the
    // checksum instead of overrunning its buffer.
    std::string bytes = readFile(path).value();
    const auto local = bytes.find("PK\x03\x04");
    const auto central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    for (auto offset : {local + 22, central + 24}) {  // the uncompressed size fields
        bytes[offset] = 10;
        bytes[offset + 1] = bytes[offset + 2] = bytes[offset + 3] = 0;
    }
    ASSERT_TRUE(writeFileAtomically(path, bytes));
    auto lied = ZipReader::open(path);
    ASSERT_TRUE(lied);
    EXPECT_EQ(lied->entries()[0].size, 10u);
    EXPECT_FALSE(lied->read(0));

    ASSERT_TRUE(writeFileAtomically(path, "PK\x03\x04 not really a zip"));
    EXPECT_FALSE(ZipReader::open(path));
    EXPECT_FALSE(ZipReader::open(m_folder.path()));  // a folder
}

}  // namespace
}  // namespace miravel
