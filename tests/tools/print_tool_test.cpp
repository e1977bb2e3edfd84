// The print tool end to end: a small image printed through the library, and
// each kind of bad input with its message and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/job_framing.h"
#include "support/model.h"
#include "support/stream_validator.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct ToolRun {
    int status = -1;
    Bytes out;
    std::string err;
};

class PrintTool : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ovcg_print_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string path(const std::string& name) const { return dir + "/" + name; }
    void write(const std::string& name, const Bytes& b) const {
        std::ofstream f(path(name), std::ios::binary);
        f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    static Bytes read(const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), {});
    }
    // Runs the tool with args (already quoted where needed); stdin from stdin_file if given.
    ToolRun run(const std::string& args, const std::string& stdin_file = "/dev/null") const {
        std::string cmd = std::string("'") + OVCG_PRINT_TOOL + "' " + args + " < '" + stdin_file +
                          "' > '" + path("stdout") + "' 2> '" + path("stderr") + "'";
        int rc = std::system(cmd.c_str());
        ToolRun r;
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = read(path("stdout"));
        Bytes e = read(path("stderr"));
        r.err.assign(e.begin(), e.end());
        return r;
    }
    static Bytes ppm(uint32_t w, uint32_t h) {
        std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        Bytes b(head.begin(), head.end());
        for (uint32_t i = 0; i < w * h * 3; ++i) b.push_back(static_cast<uint8_t>(i * 13));
        return b;
    }
    static bool contains(const std::string& s, const std::string& part) {
        return s.find(part) != std::string::npos;
    }
    std::string model_arg() const { return std::string("-m '") + OVCG_DEFAULT_MODEL_FILE + "'"; }

    std::string dir;
};

// The page prints: the stream is framed by the job-start and job-end bytes
// and every command in it is well formed.
void expect_printed(const ToolRun& r) {
    const Bytes start = ovcg_test::expected_job_start(1), end = ovcg_test::expected_job_end();
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_GE(r.out.size(), start.size() + end.size()) << r.err;
    EXPECT_TRUE(std::equal(start.begin(), start.end(), r.out.begin()));
    EXPECT_TRUE(std::equal(end.rbegin(), end.rend(), r.out.rbegin()));
    const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(r.out);
    EXPECT_TRUE(check.ok) << check.error;
    EXPECT_GT(check.count("ESC i"), 0u);
    EXPECT_NE(r.err.find("ovcg-print: page 1: 4x3 image printed as"), std::string::npos) << r.err;
}

TEST_F(PrintTool, SmallImageToStandardOutput) {
    write("page.ppm", ppm(4, 3));
    ToolRun r = run(model_arg() + " '" + path("page.ppm") + "'");
    expect_printed(r);
}

TEST_F(PrintTool, StandardInputToAFileWithOptions) {
    write("page.ppm", ppm(4, 3));
    ToolRun r = run(model_arg() + " -o mediatype=Media334_Q1 -o PageSize=A3_SheetC -o Mode=CAD -O '" +
                    path("out.prn") + "' -",
                path("page.ppm"));
    EXPECT_TRUE(r.out.empty());
    r.out = read(path("out.prn"));
    expect_printed(r);
}

// A choice the model's data cannot serve is named, with what failed, before
// anything is written; the same choices print with the default model.
TEST_F(PrintTool, ChoicesTheModelCannotServeAreNamedBeforeAnyByte) {
    write("page.ppm", ppm(4, 3));
    // Small pages keep the printing runs short.
    const std::string size = " -o PageSize=custom.4.25x6in";
    struct Case {
        const char* name;
        std::function<void(ovcg_test::ModelDescription&)> change;
        std::string options;
        std::string message;
    };
    const auto media = [](uint16_t number) {
        return [number](ovcg_test::ModelDescription& m) {
            for (ovcg_test::ModelMedia& x : m.media)
                if (x.number == number) x.driver.clear();
        };
    };
    const Case cases[] = {
        {"a media without print modes", media(330), " -o MediaType=Media330_Q2 -o ColorModel=Gray",
         "cannot print MediaType=Media330_Q2 with these options: PageSize=custom.4.25x6in MediaType=Media330_Q2 "
         "ColorModel=Gray\novcg-print: ovcgStartPage failed with code -1000 (print engine or output failure); "
         "halftone engine code 4151; nothing was printed"},
        {"a setting the head has no mode for",
         [](ovcg_test::ModelDescription& m) {
             for (bool fast : {false, true}) {
                 const uint32_t id = ovcg_test::model_driver_head_mode_id({600, 1200, 2}, fast);
                 std::erase_if(m.head_control.modes, [id](const ovcg_test::HcMode& x) { return x.id == id; });
                 std::erase_if(m.head_control.encoders, [id](const ovcg_test::HcEncoder& x) { return x.id == id; });
             }
         },
         " -o MediaType=Media330_Q2 -o HighSpeed=On",
         "cannot print MediaType=Media330_Q2 with these options: PageSize=custom.4.25x6in MediaType=Media330_Q2 "
         "HighSpeed=On\novcg-print: ovcgStartJob failed with code -1000 (print engine or output failure); "
         "nothing was printed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ovcg_test::ModelDescription model = ovcg_test::default_model();
        c.change(model);
        ASSERT_TRUE(ovcg_test::build_model(model).write_file(path("model.res")));
        const std::string out = path("out.prn");
        std::remove(out.c_str());
        const std::string args = size + c.options + " -O '" + out + "' '" + path("page.ppm") + "'";
        ToolRun r = run("-m '" + path("model.res") + "'" + args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(contains(r.err, "ovcg-print: " + c.message)) << r.err;
        EXPECT_TRUE(read(out).empty());
        r = run(model_arg() + args);
        r.out = read(out);
        expect_printed(r);
    }
}

TEST_F(PrintTool, HelpListsTheLibrarysOptions) {
    ToolRun r = run("--help");
    EXPECT_EQ(r.status, 0);
    std::string text(r.out.begin(), r.out.end());
    for (const char* s : {"MediaType:", "ColorModel:", "HighSpeed:", "Mode:", "PageSize:", "AutoCut:",
                          "BlackDensity:", "ColorDensity:", "Media1_Q1", "Media436_Q4", "YellowBack",
                          "c-BIZ", "NoCMM", "A4_Roll", "70x100cm_SheetNMgn", "DoubleCut", "150",
                          "custom.WxH"})
        EXPECT_TRUE(contains(text, s)) << s;
}

TEST_F(PrintTool, BadInput) {
    write("page.ppm", ppm(4, 3));
    write("bad.ppm", {'P', '6', ' ', '4', ' ', '3', ' ', '2', '5', '5', '\n', 1, 2, 3});
    write("text.ppm", {'P', '3', ' ', '1', ' ', '1', ' ', '1', ' ', '0', ' ', '0', ' ', '0'});
    const std::string m = model_arg();
    const std::string page = " '" + path("page.ppm") + "'";
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {m + " '" + path("missing.ppm") + "'", 3, "cannot open image " + path("missing.ppm")},
        {m + " '" + path("bad.ppm") + "'", 3, "image 1: truncated (3 of 36 sample bytes)"},
        {m + " '" + path("text.ppm") + "'", 3, "image 1: not a binary PPM (P6) or PGM (P5) image"},
        {m + " -", 3, "standard input: no image in the input"},
        {m + " -o Colour=RGB" + page, 2, "unknown option 'Colour'"},
        {m + " -o media=A4" + page, 2, "unknown option 'media'"},
        {m + " -o Mode=Fancy" + page, 2, "unknown choice 'Fancy' for option Mode"},
        {m + " -o PageSize=A4_Sheetc_x" + page, 2, "unknown choice 'A4_Sheetc_x' for option PageSize"},
        {m + " -o Mode" + page, 2, "is not of the form NAME=CHOICE"},
        {m + " -o" , 2, "-o needs a value"},
        {m + " --colour" + page, 2, "unknown argument '--colour'"},
        {m + page + page, 2, "more than one input given"},
        {"-m '" + path("none.res") + "'" + page, 4, "cannot open model file " + path("none.res")},
        {m + " -O '" + path("no/such/dir/out") + "'" + page, 4, "cannot open output"},
        {m + " -o PageSize=custom.1x1in" + page, 2,
         "cannot print PageSize=custom.1x1in with these options: MediaType=Media1_Q1 PageSize=custom.1x1in\n"
         "ovcg-print: ovcgStartJob failed with code -1200 (bad argument or option); nothing was printed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(contains(r.err, "ovcg-print: ")) << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        EXPECT_TRUE(r.out.empty());  // nothing is printed for a refused job
    }
}

}  // namespace
