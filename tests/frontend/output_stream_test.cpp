// The job framing streams and the output path: byte-exact streams, the
// grouping of writes, partial and failing output functions, and the spool
// callback the engine writes through.
#include <string>

#include "frontend_fixture.h"

namespace ovcg_test {
namespace {

using ovcg::frontend::EndJob;
using ovcg::frontend::kMaxIdleWrites;
using ovcg::frontend::print_spool;
using ovcg::frontend::PrintStream;
using ovcg::frontend::StartJob;
using ovcg::frontend::stream_error;

class OutputStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        Capture::reset();
        ovcg::frontend::stream_error_clear_for_tests();
        ovcg::frontend::output_set_function(Capture::output);
    }
    void TearDown() override {
        ovcg::frontend::stream_error_clear_for_tests();
        ovcg::frontend::output_set_function(nullptr);
    }
};

TEST_F(OutputStreamTest, JobStartBytesForIdentifiers) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"123", 123},
        {"abc", 0},  // no number
        {"", 0},
        {"42abc", 42},  // leading number
        {"-1", 0xFFFFFFFFu},
        {"2147483647", 0x7FFFFFFF},
        {"4294967297", 1},                                 // cut to 32 bits
        {"1234567890123456789012345678901", 0xFFFFFFFFu},  // 31 characters: strtol saturates
    };
    for (auto [id, number] : cases) {
        SCOPED_TRACE(id);
        Capture::reset();
        ASSERT_EQ(StartJob(id), 0);
        EXPECT_EQ(Capture::bytes, expected_job_start(number));
        EXPECT_EQ(Capture::bytes.size(), kJobStartSize);
    }
}

// The framing bytes written out by hand, hex, with the identifier's four bytes
// left as "%s"; kept apart from the shared expected streams so that a misreading
// in those would show here.
std::vector<uint8_t> from_hex(const std::string& hex) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') { ++i; continue; }
        v.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return v;
}

TEST_F(OutputStreamTest, FramingBytesByHand) {
    const std::string head =
        "00 00 00 1B 01 40 4B 52 51 20 31 32 38 34 2E 34 0A 40 4B 52 51 20 20 20 20 20 0A "
        "1B 40 1B 40 1B 28 52 08 00 00 52 45 4D 4F 54 45 31 "
        "4A 58 39 00 00 00 01 01 01 08 04 54 52 41 51 20 0B 01 ID 00 00 00 00 00 00 "
        "0C 05 00 00 00 00 00 0D 05 00 00 00 00 00 18 0A 54 52 41 51 64 72 69 76 65 72 "
        "17 05 4C 69 6E 75 78 1B 00 00 00";
    const std::pair<const char*, const char*> cases[] = {
        {"123", "7B 00 00 00"},
        {"abc", "00 00 00 00"},
        {"0000000000000000000000000000042", "2A 00 00 00"},  // 31 characters, decimal
        {" +77", "4D 00 00 00"},
        {"-2", "FE FF FF FF"},
        {"3000000000", "00 5E D0 B2"},
    };
    for (auto [id, id_hex] : cases) {
        SCOPED_TRACE(id);
        Capture::reset();
        ASSERT_EQ(StartJob(id), 0);
        std::string h = head;
        h.replace(h.find("ID"), 2, id_hex);
        std::vector<uint8_t> expected = from_hex(h);
        ASSERT_EQ(expected.size(), 109u);
        for (int block = 0; block < 2; ++block) {
            const auto pad = from_hex("1B 28 64 FF 7F");
            expected.insert(expected.end(), pad.begin(), pad.end());
            expected.insert(expected.end(), 32767, 0);
        }
        EXPECT_EQ(Capture::bytes, expected);
    }
    Capture::reset();
    ASSERT_EQ(EndJob(), 0);
    EXPECT_EQ(Capture::bytes, from_hex("1B 40 1B 28 52 08 00 00 52 45 4D 4F 54 45 31 4C 44 00 00 "
                                       "4A 58 05 00 00 00 01 01 02 1B 00 00 00"));
}

TEST_F(OutputStreamTest, JobStartWritesOneCallPerGroupAndOnePerPaddingByte) {
    ASSERT_EQ(StartJob("7"), 0);
    std::vector<int32_t> expected = {27, 2, 2, 13, 61, 4};
    for (int block = 0; block < 2; ++block) {
        expected.push_back(5);
        expected.insert(expected.end(), 32767, 1);
    }
    EXPECT_EQ(Capture::writes, expected);
}

TEST_F(OutputStreamTest, JobEndBytesAndWrites) {
    ASSERT_EQ(EndJob(), 0);
    EXPECT_EQ(Capture::bytes, expected_job_end());
    EXPECT_EQ(Capture::writes, (std::vector<int32_t>{2, 13, 4, 9, 4}));
}

TEST_F(OutputStreamTest, PrintStreamResults) {
    const uint8_t data[] = {1, 2, 3};
    const std::vector<uint8_t> more(kMaxIdleWrites + 1, 7);
    const int32_t n = static_cast<int32_t>(more.size());
    struct Case {
        const char* name;
        long zero_calls, over_report_at;
        const uint8_t* data;
        int32_t length, result;
        size_t calls;  // calls made to the output function
        bool error;
        bool alternate = false;
    };
    const Case cases[] = {
        {"whole", 0, -1, data, 3, 3, 1, false},
        {"zero counts are retried", 100, -1, data, 3, 3, 101, false},
        {"an output that never accepts is given up", kMaxIdleWrites + 10, -1, data, 1, -1,
         size_t{kMaxIdleWrites}, true},
        {"a count beyond what was asked", 0, 0, data, 3, -1, 1, true},
        {"nothing to write", 0, -1, data, 0, 0, 0, false},
        {"negative length", 0, -1, data, -5, -1, 0, false},
        {"no data", 0, -1, nullptr, 2, -1, 0, false},
        // The count of calls that accepted nothing starts again at each byte.
        {"an output alternating nothing and one byte", 0, -1, more.data(), n, n, 2 * more.size(), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Capture::reset();
        ovcg::frontend::stream_error_clear_for_tests();
        Capture::zero_calls = c.zero_calls;
        Capture::over_report_at = c.over_report_at;
        Capture::alternate = c.alternate;
        EXPECT_EQ(PrintStream(c.data, c.length), c.result);
        EXPECT_EQ(Capture::writes.size(), c.calls);
        EXPECT_EQ(stream_error(), c.error);
        if (c.result > 0) {
            EXPECT_EQ(Capture::bytes, std::vector<uint8_t>(c.data, c.data + c.result));
        }
    }
}

TEST_F(OutputStreamTest, AFailureSticksForTheProcess) {
    Capture::fail_at = 3;  // the remote-mode entry
    EXPECT_EQ(StartJob("1"), OVCG_ERR_ENGINE);
    EXPECT_TRUE(stream_error());
    // Nothing more was written after the failure.
    EXPECT_EQ(Capture::writes.size(), 4u);
    EXPECT_EQ(Capture::bytes.size(), 27u + 4u);
    // Later streams write nothing and fail; a zero-length write still passes.
    Capture::reset();
    EXPECT_EQ(StartJob("2"), OVCG_ERR_ENGINE);
    EXPECT_EQ(EndJob(), OVCG_ERR_ENGINE);
    EXPECT_TRUE(Capture::writes.empty());
    const uint8_t b = 0;
    EXPECT_EQ(PrintStream(&b, 0), 0);
    EXPECT_EQ(PrintStream(&b, 1), -1);
}

TEST_F(OutputStreamTest, SpoolForwardsWholeChunks) {
    std::vector<uint8_t> chunk(1000);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 7);
    Capture::max_accept = 300;
    EXPECT_EQ(print_spool(nullptr, chunk.data(), 1000), 1000);
    EXPECT_EQ(Capture::bytes, chunk);
    EXPECT_EQ(Capture::writes, (std::vector<int32_t>{1000, 700, 400, 100}));
}

TEST_F(OutputStreamTest, SpoolReportsFailureAsMinusOneAndLeavesTheFlag) {
    const uint8_t data[] = {1, 2, 3, 4};
    Capture::fail_at = 0;
    EXPECT_EQ(print_spool(nullptr, data, 4), -1);
    EXPECT_FALSE(stream_error());
    // A failure after a partial write is still a failure.
    Capture::reset();
    Capture::max_accept = 2;
    Capture::fail_at = 1;
    EXPECT_EQ(print_spool(nullptr, data, 4), -1);
    // Nothing to send, or nothing to send with.
    EXPECT_EQ(print_spool(nullptr, data, 0), 0);
    EXPECT_EQ(print_spool(nullptr, data, -1), -1);
    EXPECT_EQ(print_spool(nullptr, nullptr, 4), -1);
    ovcg::frontend::output_set_function(nullptr);
    EXPECT_EQ(print_spool(nullptr, data, 4), -1);
}

}  // namespace
}  // namespace ovcg_test
