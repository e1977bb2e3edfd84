#include "engine/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "ovcg/irac.h"
#include "ovcg/ovs_resource.h"
#include "support/guard_page.h"
#include "support/res_writer.h"
#include "temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ovcg_test::GuardedBytes;

// The scans and the resource callbacks drop straight into the head-control
// engine's callback table.
static_assert(std::is_same_v<decltype(&OVF_memsearch), OVF_PFN_SEARCH>);
static_assert(std::is_same_v<decltype(&OVF_memrsearch), OVF_PFN_SEARCH>);
static_assert(std::is_same_v<decltype(&IRAC_OVF_GetResource), OVF_PFN_GET_RESOURCE>);
static_assert(std::is_same_v<decltype(&OVF_FreeResource), OVF_PFN_FREE_RESOURCE>);
static_assert(std::is_same_v<decltype(&Mem_Realloc), OVF_PFN_REALLOC>);
static_assert(std::is_same_v<decltype(&Mem_Move), OVF_PFN_COPY>);
static_assert(std::is_same_v<decltype(&Mem_Set), OVF_PFN_FILL>);
static_assert(std::is_same_v<decltype(&OVF_DebugLog), OVF_PFN_DEBUG_LOG>);

// ---------------------------------------------------------------------------
// Memory helpers

TEST(Mem, AllocIsZeroFilledAndRefusesNonPositiveSizes) {
    EXPECT_EQ(Mem_Alloc(0), nullptr);
    EXPECT_EQ(Mem_Alloc(-5), nullptr);
    auto* p = static_cast<uint8_t*>(Mem_Alloc(100));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0);
    EXPECT_EQ(Mem_Free(p), 1);
    EXPECT_EQ(Mem_Free(nullptr), 1);
}

TEST(Mem, ReallocToZeroKeepsTheBlock) {
    auto* p = static_cast<uint8_t*>(Mem_Alloc(8));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0x5A, 8);
    EXPECT_EQ(Mem_Realloc(p, 0), nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p[i], 0x5A);  // still valid and owned
    auto* q = static_cast<uint8_t*>(Mem_Realloc(p, 4096));
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(q[i], 0x5A);
    Mem_Free(q);
    void* fresh = Mem_Realloc(nullptr, 16);
    EXPECT_NE(fresh, nullptr);
    Mem_Free(fresh);
}

TEST(Mem, CopyMoveSetZero) {
    uint8_t a[16], b[16];
    for (int i = 0; i < 16; ++i) a[i] = static_cast<uint8_t>(i + 1);
    std::memset(b, 0xEE, sizeof b);
    EXPECT_EQ(Mem_Copy(b, a, 16), b);
    EXPECT_EQ(std::memcmp(a, b, 16), 0);
    std::memset(b, 0xEE, sizeof b);
    EXPECT_EQ(Mem_Copy2(b, a, 0), b);
    EXPECT_EQ(Mem_Copy2(b, a, -3), b);
    EXPECT_EQ(b[0], 0xEE);
    Mem_Copy2(b, a, 5);
    EXPECT_EQ(std::memcmp(a, b, 5), 0);
    EXPECT_EQ(b[5], 0xEE);

    EXPECT_EQ(Mem_Move(a + 2, a, 10), a + 2);  // overlapping forward
    const uint8_t moved[] = {1, 2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 15, 16};
    EXPECT_EQ(std::memcmp(a, moved, 16), 0);

    EXPECT_EQ(Mem_Set(a, 0x1FF, 4), a);  // low byte of the value
    EXPECT_EQ(a[0], 0xFF);
    EXPECT_EQ(a[3], 0xFF);
    EXPECT_EQ(a[4], 3);
    EXPECT_EQ(Mem_Zero(a, 6), a);
    EXPECT_EQ(a[5], 0);
    EXPECT_EQ(a[6], 5);
    EXPECT_EQ(Mem_Zero(a, -1), a);
}

// ---------------------------------------------------------------------------
// String helpers: the bound is the buffer's capacity, terminator included.

TEST(String, LengthWithinTheBound) {
    const std::string s259(259, 'x'), s260(260, 'x');
    struct Case {
        const char* s;
        int size;
        int ok;
        unsigned long length;
    };
    const Case cases[] = {
        {"abc", 4, 1, 3},  {"abc", 3, 0, 0},  {"", 1, 1, 0},          {"abc", 0, 0, 0},
        {"abc", -1, 0, 0}, {nullptr, 10, 0, 0}, {s259.c_str(), 260, 1, 259}, {s260.c_str(), 260, 0, 0},
    };
    for (const Case& c : cases) {
        unsigned long len = 12345;
        EXPECT_EQ(String_Length(const_cast<char*>(c.s), c.size, &len), c.ok) << c.size;
        EXPECT_EQ(len, c.length);
    }
    EXPECT_EQ(String_Length(const_cast<char*>("abc"), 4, nullptr), 0);
}

TEST(String, LengthNeverReadsPastTheBound) {
    // Five non-terminated bytes right before a guard page: a bound of 5 must
    // fail without touching the guard.
    GuardedBytes g = GuardedBytes::EndingAtGuard(5);
    std::memset(g.data(), 'a', 5);
    unsigned long len = 0;
    EXPECT_EQ(String_Length(reinterpret_cast<char*>(g.data()), 5, &len), 0);
}

TEST(String, CopyOnlyWhatFits) {
    struct Case {
        const char* src;
        int size;
        int ok;
        const char* result;
    };
    const Case cases[] = {
        {"abc", 4, 1, "abc"}, {"abc", 10, 1, "abc"}, {"abc", 3, 0, ""}, {"", 1, 1, ""}, {"abcdef", 1, 0, ""},
    };
    for (const Case& c : cases) {
        // The destination ends at a guard page: a copy past its capacity crashes.
        GuardedBytes g = GuardedBytes::EndingAtGuard(static_cast<size_t>(c.size));
        std::memset(g.data(), '#', g.size());
        char* dst = reinterpret_cast<char*>(g.data());
        EXPECT_EQ(String_Copy(dst, c.size, const_cast<char*>(c.src)), c.ok) << c.src << " " << c.size;
        EXPECT_STREQ(dst, c.result);
    }
    char buf[4] = "zz";
    EXPECT_EQ(String_Copy(buf, 0, const_cast<char*>("a")), 0);
    EXPECT_STREQ(buf, "zz");
    EXPECT_EQ(String_Copy(buf, 4, nullptr), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(String_Copy(nullptr, 4, const_cast<char*>("a")), 0);
}

// ---------------------------------------------------------------------------
// Zero-byte scans

int NaiveLead(const uint8_t* p, int n) {
    int i = 0;
    while (i < n && p[i] == 0) ++i;
    return i;
}

int NaiveTrail(const uint8_t* p, int n) {
    int i = 0;
    while (i < n && p[n - 1 - i] == 0) ++i;
    return i;
}

TEST(Scan, ExamplesOfThirteenBytes) {
    uint8_t b[13] = {};
    EXPECT_EQ(OVF_memsearch(b, 13), 13);
    EXPECT_EQ(OVF_memrsearch(b, 13), 13);
    b[9] = 7;  // the tenth byte
    EXPECT_EQ(OVF_memsearch(b, 13), 9);
    EXPECT_EQ(OVF_memrsearch(b, 13), 3);
}

TEST(Scan, NullOrNonPositiveCountGivesZero) {
    uint8_t b[4] = {};
    EXPECT_EQ(OVF_memsearch(nullptr, 10), 0);
    EXPECT_EQ(OVF_memrsearch(nullptr, 10), 0);
    EXPECT_EQ(OVF_memsearch(b, 0), 0);
    EXPECT_EQ(OVF_memrsearch(b, -4), 0);
}

// Every alignment and length 0 to 64, with each single non-zero position and
// with random patterns. The bytes around the range are non-zero: a scan that
// looked at them would answer wrongly.
TEST(Scan, MatchesNaiveScanForEveryAlignmentAndLength) {
    std::mt19937 rng(42);
    std::vector<uint8_t> buf(16 + 16 + 64 + 16);
    for (int align = 0; align < 16; ++align) {
        for (int n = 0; n <= 64; ++n) {
            uint8_t* p = buf.data() + 16 - (reinterpret_cast<uintptr_t>(buf.data()) % 16) + align;
            ASSERT_LE(p + n + 8, buf.data() + buf.size());
            auto check = [&](const char* what) {
                ASSERT_EQ(OVF_memsearch(p, n), NaiveLead(p, n)) << what << " align " << align << " n " << n;
                ASSERT_EQ(OVF_memrsearch(p, n), NaiveTrail(p, n)) << what << " align " << align << " n " << n;
            };
            std::fill(buf.begin(), buf.end(), 0xA5);
            std::fill(p, p + n, 0);
            check("zero");
            for (int pos = 0; pos < n; ++pos) {
                p[pos] = static_cast<uint8_t>(1u << (rng() % 8));
                check("single");
                p[pos] = 0;
            }
            for (int t = 0; t < 8; ++t) {
                for (int i = 0; i < n; ++i) p[i] = (rng() % 5 == 0) ? static_cast<uint8_t>(rng() | 1) : 0;
                check("random");
            }
        }
    }
}

// The range ends exactly at (or starts exactly after) an inaccessible page.
// Also over heap blocks of exactly n bytes, whose end the address sanitizer
// checks to the byte.
TEST(Scan, NeverReadsPastAGuardPage) {
    for (size_t n = 0; n <= 200; ++n) {
        {
            std::unique_ptr<uint8_t[]> exact(new uint8_t[n]());
            const int in = static_cast<int>(n);
            EXPECT_EQ(OVF_memsearch(exact.get(), in), in);
            EXPECT_EQ(OVF_memrsearch(exact.get(), in), in);
        }
        for (auto guard : {GuardedBytes::Guard::After, GuardedBytes::Guard::Before}) {
            GuardedBytes g(n, guard);
            const int in = static_cast<int>(n);
            EXPECT_EQ(OVF_memsearch(g.data(), in), in);
            EXPECT_EQ(OVF_memrsearch(g.data(), in), in);
            if (n == 0) continue;
            g.data()[n - 1] = 1;
            EXPECT_EQ(OVF_memsearch(g.data(), in), in - 1);
            EXPECT_EQ(OVF_memrsearch(g.data(), in), 0);
            g.data()[n - 1] = 0;
            g.data()[0] = 1;
            EXPECT_EQ(OVF_memsearch(g.data(), in), 0);
            EXPECT_EQ(OVF_memrsearch(g.data(), in), in - 1);
        }
    }
}

// ---------------------------------------------------------------------------
// CFILECTRL

class FileCtrl : public ::testing::Test {
protected:
    std::string File(const std::string& name, const Bytes& content) {
        return tmp.write(name, std::string(content.begin(), content.end()));
    }
    // A file of `size` bytes that takes no room on the disk.
    std::string Sparse(const std::string& name, off_t size) {
        const std::string path = File(name, {});
        EXPECT_EQ(truncate(path.c_str(), size), 0);
        return path;
    }
    ovcg_test::TempDir tmp;
    const std::string& dir_ = tmp.path();
};

TEST_F(FileCtrl, LoadsAWholeFileOnce) {
    const Bytes ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::string a = File("ten.bin", ten), b = File("other.bin", {9, 9});
    CFILECTRL f;
    EXPECT_EQ(f.IsOpen(), 0);
    ASSERT_EQ(f.Open(a.c_str()), 1);
    EXPECT_EQ(f.IsOpen(), 1);
    ASSERT_EQ(f.Size(), 10u);
    EXPECT_EQ(Bytes(f.Data(), f.Data() + f.Size()), ten);
    EXPECT_EQ(f.Open(b.c_str()), 0);  // a second Open keeps the first file
    EXPECT_EQ(f.Size(), 10u);
    f.Close();
    EXPECT_EQ(f.IsOpen(), 0);
    EXPECT_EQ(f.Data(), nullptr);
    EXPECT_EQ(f.Size(), 0u);
    f.Close();
    ASSERT_EQ(f.Open(b.c_str()), 1);
    EXPECT_EQ(f.Size(), 2u);
}

TEST_F(FileCtrl, RefusesWhatItCannotLoad) {
    const std::string empty = File("empty.bin", {});
    // Sizes past the allocator's reach: just over 2 GiB, and over 4 GiB where
    // the low 32 bits alone would look like a 10-byte file.
    const std::string over2g = Sparse("over2g.bin", off_t{0x80000000});
    const std::string over4g = Sparse("over4g.bin", off_t{0x100000000} + 10);
    const std::string cases[] = {"", empty, dir_ + "/missing.bin", dir_, over2g, over4g, "/proc/self/status"};
    for (const std::string& path : cases) {
        CFILECTRL f;
        EXPECT_EQ(f.Open(path.c_str()), 0) << path;
        EXPECT_EQ(f.IsOpen(), 0);
        EXPECT_EQ(f.Data(), nullptr);
        EXPECT_EQ(f.Size(), 0u);
    }
    CFILECTRL f;
    EXPECT_EQ(f.Open(nullptr), 0);
}

// ---------------------------------------------------------------------------
// CDLL and CRscDLL

// A resource file in memory: fetches hand out malloc'd copies and count what
// is still outstanding.
struct FakeResources {
    static std::map<std::pair<int, int>, Bytes>& Store() {
        static std::map<std::pair<int, int>, Bytes> s;
        return s;
    }
    static int& Outstanding() {
        static int n = 0;
        return n;
    }
    static std::vector<std::pair<int, int>>& Requests() {
        static std::vector<std::pair<int, int>> r;
        return r;
    }
    static void* Get(int id, int type, uint32_t* size) {
        Requests().push_back({id, type});
        *size = 0;
        auto it = Store().find({id, type});
        if (it == Store().end()) return nullptr;
        void* p = std::malloc(it->second.size() + 1);  // non-null also for size 0
        if (!it->second.empty()) std::memcpy(p, it->second.data(), it->second.size());
        *size = static_cast<uint32_t>(it->second.size());
        ++Outstanding();
        return p;
    }
    static int Release(void* p) {
        --Outstanding();
        std::free(p);
        return 0;
    }
    static void Reset() {
        Store().clear();
        Requests().clear();
        Outstanding() = 0;
    }
};

// Stands in for the head-control adapter: copies with Mem_Alloc and records
// what it was given.
struct FakeIrac : CIracResourceHandler {
    Bytes lastData;
    unsigned lastSize = 0;
    int lastUnpack = -1;
    int copies = 0;
    void* GetIracResource(void* data, unsigned int size, unsigned int* outSize, int unpack) override {
        lastData.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        lastSize = size;
        lastUnpack = unpack;
        void* copy = Mem_Alloc(static_cast<int>(size) + 1);
        Mem_Copy(copy, data, static_cast<int>(size));
        *outSize = size + 1;  // visibly the handler's own size
        ++copies;
        return copy;
    }
    void FreeIracResource(void* resource) override {
        --copies;
        Mem_Free(resource);
    }
};

class RscDll : public ::testing::Test {
protected:
    void SetUp() override { FakeResources::Reset(); }
    void TearDown() override {
        EXPECT_EQ(FakeResources::Outstanding(), 0);
        FakeResources::Reset();
    }
    RscFetchFunctions fetch{&FakeResources::Get, &FakeResources::Release};
};

TEST_F(RscDll, GetResourceKeepsTheSize) {
    FakeResources::Store()[{7, 3000}] = {1, 2, 3};
    FakeResources::Store()[{8, 3000}] = {};
    CRscDLL r(nullptr, 0, fetch);
    unsigned size = 99;
    void* p = r.GetResource(7, 3000, &size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + 3), (Bytes{1, 2, 3}));
    r.FreeResource(p);
    p = r.GetResource(8, 3000, &size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(size, 0u);
    r.FreeResource(p);
    size = 99;
    EXPECT_EQ(r.GetResource(9, 3000, &size), nullptr);
    EXPECT_EQ(size, 0u);
    r.FreeResource(nullptr);
}

TEST_F(RscDll, IdentifierAndTypeAreSigned16Bit) {
    CRscDLL r(nullptr, 0, fetch);
    unsigned size = 0;
    r.GetResource(0x18000, 0x10FA0, &size);
    ASSERT_EQ(FakeResources::Requests().size(), 1u);
    EXPECT_EQ(FakeResources::Requests()[0], (std::pair<int, int>{-32768, 4000}));
}

TEST_F(RscDll, IracResourceNeedsTheHeadControlAdapter) {
    FakeResources::Store()[{16384, 4000}] = {5, 6};
    CRscDLL r(nullptr, 0, fetch);
    unsigned size = 77;
    EXPECT_EQ(r.GetIracResource(16384, 4000, &size, 1), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(IRAC_OVF_GetResource(&r, 0, &size), nullptr);
    r.FreeIracResource(nullptr);
}

TEST_F(RscDll, IracResourceIsTheAdaptersCopyAndTheFetchIsReleased) {
    FakeResources::Store()[{16384, 4000}] = {5, 6, 7};
    FakeResources::Store()[{256, 4000}] = {1};
    CRscDLL r(nullptr, 0, fetch);
    FakeIrac irac;
    r.SetIracHandler(&irac);
    EXPECT_EQ(r.IracHandler(), &irac);

    unsigned size = 0;
    void* p = IRAC_OVF_GetResource(&r, 0, &size);  // kind 0 is identifier 16384
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(FakeResources::Requests().back(), (std::pair<int, int>{16384, 4000}));
    EXPECT_EQ(irac.lastData, (Bytes{5, 6, 7}));
    EXPECT_EQ(irac.lastSize, 3u);
    EXPECT_EQ(irac.lastUnpack, 1);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(FakeResources::Outstanding(), 0);
    OVF_FreeResource(&r, p);
    EXPECT_EQ(irac.copies, 0);

    p = IRAC_OVF_GetResource(&r, 256, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(FakeResources::Requests().back(), (std::pair<int, int>{256, 4000}));
    OVF_FreeResource(&r, p);

    size = 5;
    EXPECT_EQ(IRAC_OVF_GetResource(&r, 768, &size), nullptr);  // missing
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(irac.copies, 0);

    p = r.GetIracResource(256, 4000, &size, 0);
    EXPECT_EQ(irac.lastUnpack, 0);
    r.FreeIracResource(p);
}

TEST_F(RscDll, NullContextDoesNothing) {
    unsigned size = 3;
    EXPECT_EQ(IRAC_OVF_GetResource(nullptr, 1, &size), nullptr);
    EXPECT_EQ(size, 0u);
    OVF_FreeResource(nullptr, reinterpret_cast<void*>(0x1));  // not touched
    OVF_DebugLog("%d", 1);
    _MessageBox("caption", nullptr);
}

TEST(RscDllReader, DefaultFetchGoesThroughTheResourceFileReader) {
    ovcg_test::ResWriter w;
    w.add(3000, 12, {0x34, 0x12, 0xFF, 0xFF});
    ovcg_test::TempFile file("rscdll");
    ASSERT_TRUE(w.write_file(file.path()));
    ASSERT_EQ(ovs_resLoadFile(file.path().c_str()), 0);
    CRscDLL r(nullptr, 0);
    unsigned size = 0;
    void* p = r.GetResource(12, 3000, &size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + 4), (Bytes{0x34, 0x12, 0xFF, 0xFF}));
    r.FreeResource(p);
    EXPECT_EQ(r.GetResource(13, 3000, &size), nullptr);
    ovs_resUnLoadFile();
}

}  // namespace
