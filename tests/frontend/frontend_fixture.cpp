#include "frontend_fixture.h"

#include <cstdlib>
#include <cstring>

namespace ovcg_test {

void Capture::reset() {
    bytes.clear();
    writes.clear();
    max_accept = 0;
    fail_at = -1;
    zero_calls = 0;
    over_report_at = -1;
    alternate = false;
}

int32_t Capture::output(const uint8_t* data, int32_t length) {
    long index = static_cast<long>(writes.size());
    writes.push_back(length);
    if (index == fail_at) return -1;
    if (zero_calls > 0) {
        --zero_calls;
        return 0;
    }
    if (alternate && index % 2 == 0) return 0;
    int32_t n = alternate ? 1 : length;
    if (max_accept > 0 && n > max_accept) n = max_accept;
    bytes.insert(bytes.end(), data, data + n);
    if (index == over_report_at) return n + 1;
    return n;
}

void FrontendTest::SetUp() {
    CountingHeap::reset();
    Capture::reset();
    ovcg::frontend::stream_error_clear_for_tests();
    ovcg::frontend::ww_clear_choices_for_tests();
    ovcg::frontend::set_job_interface(&FakeJobInterface::table());
    ovcg_callbacks cb = counting_callbacks();
    ASSERT_EQ(ovcgInitialize("", &cb), OVCG_OK);
    ASSERT_EQ(ovcgSetResource(OVCG_RESOURCE_FILE, "/models/test.res"), OVCG_OK);
}

void FrontendTest::TearDown() {
    EXPECT_EQ(ovcgRelease(), OVCG_OK);
    EXPECT_EQ(CountingHeap::live, 0) << "blocks of the caller's allocator left";
    ovcg::frontend::set_job_interface(nullptr);
    ovcg::frontend::stream_error_clear_for_tests();
    ovcg::frontend::ww_clear_choices_for_tests();
    ovcg::frontend::ovcg_heap_set_extern_functions(nullptr, nullptr);
}

void FrontendTest::set_options(std::initializer_list<std::pair<const char*, const char*>> options) {
    for (auto& [name, choice] : options) ASSERT_EQ(ovcgSetPrintOption(name, choice), OVCG_OK);
}

int32_t FrontendTest::start_default_job(const char* id) {
    if (ovcg::frontend::ww_stored_value("MediaType") == ovcg::frontend::kUnset)
        ovcgSetPrintOption("MediaType", "Media1_Q4");  // 300 dpi source
    if (ovcg::frontend::ww_stored_value("PageSize") == ovcg::frontend::kUnset)
        ovcgSetPrintOption("PageSize", "A4_Roll");
    return ovcgStartJob(Capture::output, id);
}

}  // namespace ovcg_test
