// The job framing streams and the output path: byte-exact streams, the
// grouping of writes, partial and failing output functions, and the spool
// callback the engine writes through.
#include <cstring>
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
    struct Case {
        const char* id;
        uint32_t number;
    };
    const Case cases[] = {
        {"123", 123},
        {"abc", 0},                                   // no number
        {"", 0},
        {"42abc", 42},                                // leading number
        {"-1", 0xFFFFFFFFu},
        {"2147483647", 0x7FFFFFFF},
        {"4294967297", 1},                            // cut to 32 bits
        {"1234567890123456789012345678901", 0xFFFFFFFFu},  // 31 characters: strtol saturates
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Capture::reset();
        ASSERT_EQ(StartJob(c.id), 0);
        EXPECT_EQ(Capture::bytes, expected_job_start(c.number));
        EXPECT_EQ(Capture::bytes.size(), kJobStartSize);
    }
}

TEST_F(OutputStreamTest, JobStartIdentifier123IsLittleEndian) {
    ASSERT_EQ(StartJob("123"), 0);
    // Tag 20 of the JX command, right after the TRAQ item.
    const std::vector<uint8_t>& b = Capture::bytes;
    const size_t jx = 27 + 4 + 13;
    ASSERT_EQ(b[jx], 'J');
    ASSERT_EQ(b[jx + 15], 0x20);
    EXPECT_EQ(b[jx + 16], 11);
    EXPECT_EQ(b[jx + 17], 0x01);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + jx + 18, b.begin() + jx + 22),
              (std::vector<uint8_t>{0x7B, 0x00, 0x00, 0x00}));
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

TEST_F(OutputStreamTest, PartialWritesAreCompleted) {
    for (int32_t accept : {1, 2, 3, 7}) {
        SCOPED_TRACE(accept);
        Capture::reset();
        Capture::max_accept = accept;
        ASSERT_EQ(StartJob("9"), 0);
        EXPECT_EQ(Capture::bytes, expected_job_start(9));
        ASSERT_EQ(EndJob(), 0);
        EXPECT_FALSE(stream_error());
    }
}

TEST_F(OutputStreamTest, ZeroCountsAreRetried) {
    Capture::zero_calls = 100;
    const uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(PrintStream(data, 3), 3);
    EXPECT_EQ(Capture::bytes, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(stream_error());
}

TEST_F(OutputStreamTest, AnOutputThatNeverAcceptsIsGivenUp) {
    Capture::zero_calls = kMaxIdleWrites + 10;
    const uint8_t data[] = {1};
    EXPECT_EQ(PrintStream(data, 1), -1);
    EXPECT_TRUE(stream_error());
    EXPECT_EQ(Capture::writes.size(), static_cast<size_t>(kMaxIdleWrites));
}

TEST_F(OutputStreamTest, PrintStreamArguments) {
    const uint8_t data[] = {1, 2};
    EXPECT_EQ(PrintStream(data, 0), 0);
    EXPECT_EQ(PrintStream(data, -5), -1);
    EXPECT_EQ(PrintStream(nullptr, 2), -1);
    EXPECT_TRUE(Capture::writes.empty());
    EXPECT_FALSE(stream_error());
    EXPECT_EQ(PrintStream(data, 2), 2);
}

TEST_F(OutputStreamTest, OverReportedCountFails) {
    Capture::over_report_at = 0;
    const uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(PrintStream(data, 3), -1);
    EXPECT_TRUE(stream_error());
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

TEST_F(OutputStreamTest, FailureInThePaddingBlock) {
    Capture::fail_at = 6 + 1 + 500;  // a one-byte write inside the first block
    EXPECT_EQ(StartJob("1"), OVCG_ERR_ENGINE);
    EXPECT_EQ(Capture::writes.size(), static_cast<size_t>(6 + 1 + 500 + 1));
}

TEST_F(OutputStreamTest, SpoolForwardsWholePieces) {
    std::vector<uint8_t> piece(1000);
    for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<uint8_t>(i * 7);
    Capture::max_accept = 300;
    EXPECT_EQ(print_spool(nullptr, piece.data(), 1000), 1000);
    EXPECT_EQ(Capture::bytes, piece);
    EXPECT_EQ(Capture::writes, (std::vector<int32_t>{1000, 700, 400, 100}));
}

TEST_F(OutputStreamTest, SpoolReportsFailureAsZeroAndLeavesTheFlag) {
    const uint8_t data[] = {1, 2, 3, 4};
    Capture::fail_at = 0;
    EXPECT_EQ(print_spool(nullptr, data, 4), 0);
    EXPECT_FALSE(stream_error());
    // A failure after a partial write is still a failure.
    Capture::reset();
    Capture::max_accept = 2;
    Capture::fail_at = 1;
    EXPECT_EQ(print_spool(nullptr, data, 4), 0);
    // Nothing to send, or nothing to send with.
    EXPECT_EQ(print_spool(nullptr, data, 0), 0);
    EXPECT_EQ(print_spool(nullptr, data, -1), 0);
    EXPECT_EQ(print_spool(nullptr, nullptr, 4), 0);
    ovcg::frontend::output_set_function(nullptr);
    EXPECT_EQ(print_spool(nullptr, data, 4), 0);
}

}  // namespace
}  // namespace ovcg_test
