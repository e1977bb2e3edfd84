// The calibration request: stand-in calibration programs in a temporary
// directory, run without a shell, their exit status mapped.
#include "engine/calib_request.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ovcg/ovcg_jobif.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

class CalibRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.empty());
        // Each stand-in records its arguments one per line and exits with the
        // status written in the file "status" (0 when there is none).
        for (const char* name : {"isvtool_usb", "isvtool_lan"}) {
            Script(name, std::string("#!/bin/sh\n"
                                     "d=$(dirname \"$0\")\n"
                                     "printf '%s\\n' \"$(basename \"$0\")\" \"$@\" > \"$d/args\"\n"
                                     "s=0; [ -f \"$d/status\" ] && s=$(cat \"$d/status\")\n"
                                     "exit $s\n"));
        }
    }
    void TearDown() override { ovcg::SetKeptCalibTarget(nullptr, nullptr); }
    void Script(const std::string& name, const std::string& text, mode_t mode = 0755) {
        chmod(tmp.write(name, text).c_str(), mode);
    }
    void SetStatus(int s) { std::ofstream(dir + "/status") << s; }
    std::string Args() const {
        std::ifstream in(dir + "/args");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    int32_t Request(int32_t kind, const char* printer = "PRN-7", const char* path = "/calib/out",
                    const char* toolDir = nullptr) {
        tag_CalibDataReq_1 r{};
        r.lpszToolLib = "ignored";
        r.lpszToolDir = toolDir ? toolDir : dir.c_str();
        r.PortKind = kind;
        r.lpszPrinterName = printer;
        r.lpszDirPath = path;
        return GetCalibData(&r);
    }

    ovcg_test::TempDir tmp;
    const std::string dir = tmp.path();
};

TEST_F(CalibRequestTest, ExitStatusesAreMapped) {
    const std::pair<int, int32_t> table[] = {
        {0, 0},       {1, -10001},   {3, -10003},   {4, -10004}, {5, -10005}, {6, -10006}, {7, -10007},
        {11, -10011}, {100, -10005}, {127, -10127}, {2, 0},      {42, 0},     {255, 0},
    };
    for (auto [status, code] : table) {
        SetStatus(status);
        EXPECT_EQ(Request(0), code) << status;
        EXPECT_EQ(ovcg::MapCalibExitStatus(status), code) << status;
    }
    EXPECT_EQ(ovcg::MapCalibExitStatus(10000), -10000);
}

TEST_F(CalibRequestTest, ConnectionKindChoosesTheProgram) {
    for (auto [kind, program] : {std::pair{1, "isvtool_lan"}, std::pair{0, "isvtool_usb"},
                                 std::pair{2, "isvtool_usb"}, std::pair{-1, "isvtool_usb"}}) {
        ASSERT_EQ(Request(kind), 0);
        EXPECT_EQ(Args(), std::string(program) + "\nPRN-7\n/calib/out\n-c\n") << kind;
    }
}

TEST_F(CalibRequestTest, CallerStringsAreNeverRunByAShell) {
    const std::string marker = dir + "/pwned";
    const std::string printer = "p; touch " + marker + " $(touch " + marker + ") `touch " + marker + "`";
    ASSERT_EQ(Request(0, printer.c_str(), "a b"), 0);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(Args(), "isvtool_usb\n" + printer + "\na b\n-c\n");
}

TEST_F(CalibRequestTest, ProgramsThatDoNotRunAreFailures) {
    fs::remove(dir + "/isvtool_usb");
    EXPECT_EQ(Request(0), -10127);
    Script("isvtool_usb", "#!/bin/sh\nexit 0\n", 0644);  // not executable
    EXPECT_EQ(Request(0), -10127);
    Script("isvtool_usb", "#!/bin/sh\nkill -9 $$\n");
    EXPECT_EQ(Request(0), -10000);
    Script("isvtool_lan", "#!/bin/sh\nkill -TERM $$\n");
    EXPECT_EQ(Request(1), -10000);
}

TEST_F(CalibRequestTest, WithoutADirectoryTheProgramIsLookedUpOnPath) {
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    setenv("PATH", (dir + ":/usr/bin:/bin").c_str(), 1);
    tag_CalibDataReq_1 r{};
    r.PortKind = 1;
    r.lpszPrinterName = "P";
    r.lpszDirPath = "/d";
    SetStatus(4);
    EXPECT_EQ(GetCalibData(&r), -10004);
    r.lpszToolDir = "";
    EXPECT_EQ(GetCalibData(&r), -10004);
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(Args(), "isvtool_lan\nP\n/d\n-c\n");
}

TEST_F(CalibRequestTest, BadRequestsAndKeptNames) {
    EXPECT_EQ(GetCalibData(nullptr), -10000);
    EXPECT_EQ(Request(0, nullptr), -10000);
    EXPECT_EQ(Request(0, "P", nullptr), -10000);
    const std::string tooLong(300, 'x');
    EXPECT_EQ(Request(0, tooLong.c_str()), -10000);
    EXPECT_FALSE(fs::exists(dir + "/args"));

    SetStatus(3);
    EXPECT_EQ(Request(0, "PRN-9", "/keep/here"), -10003);
    std::string printer, path;
    ovcg::KeptCalibTarget(&printer, &path);
    EXPECT_EQ(printer, "PRN-9");
    EXPECT_EQ(path, "/keep/here");
}

}  // namespace
