#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <tavrel/foundation/CompressionInteger.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Signed(std::int32_t value)
{
    Archive archive;
    CompressionInteger::Write(value, archive);
    return archive.GetBuffer();
}

Bytes Unsigned(std::uint32_t value)
{
    Archive archive;
    CompressionInteger::Write(value, archive);
    return archive.GetBuffer();
}

} // namespace

TEST(CompressionInteger, SmallValuesTakeOneByteOthersFive)
{
    EXPECT_EQ(Signed(0), (Bytes{0x00}));
    EXPECT_EQ(Signed(254), (Bytes{0xFE}));
    EXPECT_EQ(Signed(255), (Bytes{0xFF, 0xFF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Signed(-1), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Unsigned(254), (Bytes{0xFE}));
    EXPECT_EQ(Unsigned(255), (Bytes{0xFF, 0xFF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Unsigned(0x01020304u), (Bytes{0xFF, 0x04, 0x03, 0x02, 0x01}));
}

TEST(CompressionInteger, BothFormsReadBackEveryValue)
{
    for (const std::int32_t value : {0, 1, 254, 255, 256, -1, -255, std::numeric_limits<std::int32_t>::max(),
                                     std::numeric_limits<std::int32_t>::min()}) {
        Archive archive(Signed(value));
        EXPECT_EQ(CompressionInteger::ReadInteger(archive), value);
        EXPECT_EQ(archive.GetRemaining(), 0u);
    }
    for (const std::uint32_t value : {0u, 254u, 255u, 0x80000000u, std::numeric_limits<std::uint32_t>::max()}) {
        Archive archive(Unsigned(value));
        EXPECT_EQ(CompressionInteger::ReadUnsignedInteger(archive), value);
        EXPECT_EQ(archive.GetRemaining(), 0u);
    }
}

TEST(CompressionInteger, TruncatedValueRaisesEndOfFile)
{
    for (const Bytes& bytes : {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0x01, 0x02, 0x03}}) {
        Archive archive(bytes);
        try {
            CompressionInteger::ReadInteger(archive);
            ADD_FAILURE() << "a truncated integer was read";
        } catch (const ArchiveException& error) {
            EXPECT_EQ(error.GetCause(), ArchiveException::endOfFile);
        }
    }
}

// Taken in place or read the checked way, a run of values reads the same, and every cut of it is
// refused with the same message at the same offset.
TEST(CompressionInteger, TakingInPlaceReadsAndRefusesAsTheCheckedRead)
{
    Archive out;
    for (const std::uint32_t value : {7u, 255u, 0u, 0x01020304u, 254u})
        CompressionInteger::Write(value, out);
    const Bytes saved = out.GetBuffer();
    const auto readAll = [](const Bytes& bytes, std::uint32_t (*read)(Archive&)) {
        Archive archive(bytes);
        std::vector<std::uint32_t> values;
        try {
            while (archive.GetRemaining() > 0)
                values.push_back(read(archive));
        } catch (const ArchiveException& error) {
            return std::make_pair(values, std::string(error.what()));
        }
        return std::make_pair(values, std::string());
    };
    EXPECT_EQ(readAll(saved, &CompressionInteger::TakeUnsignedInteger).first,
              (std::vector<std::uint32_t>{7u, 255u, 0u, 0x01020304u, 254u}));
    for (std::size_t size = 0; size <= saved.size(); ++size) {
        const Bytes cut(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(readAll(cut, &CompressionInteger::TakeUnsignedInteger),
                  readAll(cut, &CompressionInteger::ReadUnsignedInteger))
            << "cut at " << size;
    }
}
