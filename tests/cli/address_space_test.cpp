#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/usable_memory.h"

namespace {

// The 32-bit Windows program lives within 4 GiB of address space however much memory the machine
// has; these only mean something there.
bool Is32BitWindows()
{
#ifdef _WIN32
    return sizeof(void*) == 4;
#else
    return false;
#endif
}

TEST(AddressSpace, MemoryForPicturesNeverExceedsWhatA32BitProcessAddresses)
{
    if (!Is32BitWindows()) GTEST_SKIP() << "only in 32-bit Windows: the address space bounds the memory for pictures";
    const std::uint64_t usable = UsableMemoryBytes();
    EXPECT_GT(usable, 0u);
    EXPECT_LE(usable, std::uint64_t{4} << 30);
}

// Without the large-address-aware mark the program gets 2 GiB instead of 4 on 64-bit Windows.
TEST(AddressSpace, QvnIsMarkedLargeAddressAware)
{
    if (!Is32BitWindows()) GTEST_SKIP() << "only in 32-bit Windows: a 64-bit program has the large address space anyway";
    std::ifstream file(QV_QVN_PATH, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), {}};
    ASSERT_GT(bytes.size(), 0x40u);
    const std::size_t pe = bytes[0x3C] | bytes[0x3D] << 8 | bytes[0x3E] << 16 | std::size_t{bytes[0x3F]} << 24;
    ASSERT_LT(pe + 24, bytes.size());
    ASSERT_EQ(std::vector<unsigned char>(&bytes[pe], &bytes[pe + 4]), (std::vector<unsigned char>{'P', 'E', 0, 0}));
    const unsigned characteristics = bytes[pe + 22] | bytes[pe + 23] << 8;
    EXPECT_TRUE(characteristics & 0x0020) << "IMAGE_FILE_LARGE_ADDRESS_AWARE";
}

}  // namespace
