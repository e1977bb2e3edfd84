// The print tool end to end: a small image printed through the library, and
// each kind of bad input with its message and exit status; pages streamed
// from a pipe, a broken later page, every maximum-value class, the gray
// default, the page report, models that cannot be read and output that
// cannot be written.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/fill_pipe.h"
#include "support/job_framing.h"
#include "support/model.h"
#include "support/sanitized.h"
#include "support/stream_validator.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

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
    // Runs the tool with args (already quoted where needed); stdin from
    // stdin_file if given (a regular file, or a pipe for an argument "-"
    // at the end); `before` runs in the same shell first; `out` redirects
    // standard output elsewhere.
    ToolRun run(const std::string& args, const std::string& stdin_file = "/dev/null", const std::string& before = "",
                const std::string& out = "") const {
        const bool pipe = args.size() >= 2 && args.compare(args.size() - 2, 2, " -") == 0;
        std::string cmd = before + (pipe ? "cat '" + stdin_file + "' | '" : "'") + tool + "' " + args +
                          (pipe ? "" : " < '" + stdin_file + "'") + " " +
                          (out.empty() ? "> '" + path("stdout") + "'" : out) + " 2> '" + path("stderr") + "'";
        int rc = std::system(cmd.c_str());
        ToolRun r;
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        r.out = read(path("stdout"));
        Bytes e = read(path("stderr"));
        r.err.assign(e.begin(), e.end());
        return r;
    }
    static Bytes ppm(uint32_t w, uint32_t h, uint32_t seed = 13) {
        std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        Bytes b(head.begin(), head.end());
        for (uint32_t i = 0; i < w * h * 3; ++i) b.push_back(static_cast<uint8_t>(i * seed));
        return b;
    }
    // A white image: its page's job is small (a pipe of 128 KiB holds the
    // job of a white 1205 x 1730 page).
    static Bytes white(uint32_t w, uint32_t h) {
        Bytes b = ppm(w, h);
        std::fill(b.end() - w * h * 3, b.end(), 0xFF);
        return b;
    }
    static bool contains(const std::string& s, const std::string& part) {
        return s.find(part) != std::string::npos;
    }
    std::string model_arg() const { return std::string("-m '") + OVCG_DEFAULT_MODEL_FILE + "'"; }

    std::string dir;
    std::string tool = OVCG_PRINT_TOOL;  // the executable run() starts
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

// The library logs every option's stored value at each job start: a run
// that started one job writes each of those eight lines once.
void expect_one_job_started(const std::string& err) {
    std::map<std::string, int> lines;
    for (size_t at = err.find("DEBUG: filter,"); at != std::string::npos; at = err.find("DEBUG: filter,", at + 1))
        ++lines[err.substr(at, err.find('\n', at) - at)];
    EXPECT_EQ(lines.size(), 8u) << err;
    for (const auto& [line, count] : lines) EXPECT_EQ(count, 1) << line;
}

TEST_F(PrintTool, SmallImageToStandardOutput) {
    write("page.ppm", ppm(4, 3));
    ToolRun r = run(model_arg() + " '" + path("page.ppm") + "'");
    expect_printed(r);
    expect_one_job_started(r.err);
}

TEST_F(PrintTool, StandardInputToAFileWithOptions) {
    write("page.ppm", ppm(4, 3));
    ToolRun r = run(model_arg() + " -o mediatype=Media334_Q1 -o PageSize=A4_SheetC -o Mode=CAD -O '" +
                    path("out.prn") + "' -",
                path("page.ppm"));
    EXPECT_TRUE(r.out.empty());
    r.out = read(path("out.prn"));
    expect_printed(r);
}

// A choice the model's data cannot serve is named, with what failed, before
// anything is written; the same choices print with the default model. A
// page too wide for the memory the process may have names the size, a long
// one by its start.
TEST_F(PrintTool, ChoicesTheModelCannotServeAreNamedBeforeAnyByte) {
    write("page.ppm", ppm(4, 3));
    struct Case {
        const char* name;
        std::function<void(ovcg_test::ModelDescription&)> change;
        std::string options;
        std::string message;
        std::string size = " -o PageSize=custom.4.25x6in";  // small pages keep the printing runs short
        std::string before = "";  // shell commands before the refused run
    };
    // The least address space (KiB) in which the default size's job starts
    // on the finest medium; the widest custom page needs megabytes more.
    // The sanitizers reserve more address space than any such limit.
    const std::string fine = " -o MediaType=Media436_Q4";
    rlim_t least = 1 << 20;
    for (rlim_t fails = 4096; !ovcg_test::kSanitized && least - fails > 256;) {
        const rlim_t mid = (fails + least) / 2;
        const std::string limit = "ulimit -v " + std::to_string(mid) + "; ";
        (run("--page-info " + model_arg() + fine, "/dev/null", limit).status == 0 ? least : fails) = mid;
    }
    const std::string wide = " -o PageSize=custom." + std::string(52, '0') + "43.2x6in";
    const auto media = [](uint16_t number) {
        return [number](ovcg_test::ModelDescription& m) {
            for (ovcg_test::ModelMedia& x : m.media)
                if (x.number == number) x.driver.clear();
        };
    };
    const Case cases[] = {
        {"a media without print modes", media(330), " -o MediaType=Media330_Q2 -o ColorModel=Gray",
         "cannot print MediaType=Media330_Q2 with these options: PageSize=custom.4.25x6in MediaType=Media330_Q2 "
         "ColorModel=Gray\novcg-print: ovcgStartPage failed with code -1000 (print engine failure); "
         "halftone engine code 4151; nothing was printed"},
        {"a long size quoted by its start", media(330), " -o MediaType=Media330_Q2 -o ColorModel=Gray",
         "cannot print MediaType=Media330_Q2 with these options: PageSize=custom.0000000000000... "
         "MediaType=Media330_Q2 ColorModel=Gray\n",
         " -o PageSize=custom." + std::string(52, '0') + "4.25x6in"},
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
         "HighSpeed=On ColorModel=RGB\novcg-print: ovcgStartJob failed with code -1000 (print engine failure); "
         "nothing was printed"},
        {"a long size too wide for the memory", [](ovcg_test::ModelDescription&) {}, fine,
         "cannot print PageSize=custom.0000000000000... with these options: PageSize=custom.0000000000000... "
         "MediaType=Media436_Q4 ColorModel=RGB\n",
         wide, "ulimit -v " + std::to_string(least + 3072) + "; "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.before.empty() && ovcg_test::kSanitized) continue;
        ovcg_test::ModelDescription model = ovcg_test::default_model();
        c.change(model);
        ASSERT_TRUE(ovcg_test::build_model(model).write_file(path("model.res")));
        const std::string out = path("out.prn");
        std::remove(out.c_str());
        const std::string args = c.size + c.options + " -O '" + out + "' '" + path("page.ppm") + "'";
        ToolRun r = run("-m '" + path("model.res") + "'" + args, "/dev/null", c.before);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(contains(r.err, "ovcg-print: " + c.message)) << r.err;
        EXPECT_FALSE(std::ifstream(out).good());
        if (!c.before.empty()) continue;  // a page 51560 pixels wide: not printed here
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

// The default model: the tool the build made takes the build tree's; a copy
// of it elsewhere, as installed, takes the model installed beside it, and
// without that model does not fall back on the build tree's.
TEST_F(PrintTool, DefaultModelFollowsTheToolsPlace) {
    write("page.ppm", ppm(4, 3));
    const std::string bin = path("prefix/bin"), model = bin + "/" + OVCG_MODEL_FROM_BINDIR;
    ASSERT_EQ(std::system(("mkdir -p '" + bin + "' \"$(dirname '" + model + "')\" && cp '" + tool + "' '" + bin +
                           "' && cp '" + OVCG_DEFAULT_MODEL_FILE + "' '" + model + "'")
                              .c_str()),
              0);
    char* real = realpath(model.c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    const std::string installed = real;
    std::free(real);
    struct Case {
        std::string tool, model;
        bool model_there;
    };
    const Case cases[] = {{OVCG_PRINT_TOOL, OVCG_DEFAULT_MODEL_FILE, true},
                          {bin + "/ovcg-print", installed, true},
                          {bin + "/ovcg-print", installed, false}};
    for (const Case& c : cases) {
        tool = c.tool;
        if (!c.model_there) std::remove(installed.c_str());
        const ToolRun help = run("--help");
        EXPECT_TRUE(contains(std::string(help.out.begin(), help.out.end()), "(default: " + c.model + ")")) << c.model;
        const ToolRun r = run("'" + path("page.ppm") + "'");
        if (c.model_there) {
            expect_printed(r);
        } else {
            EXPECT_EQ(r.status, 4);
            EXPECT_TRUE(contains(r.err, "cannot open model file " + c.model + ":")) << r.err;
        }
    }
}

TEST_F(PrintTool, BadInput) {
    write("page.ppm", ppm(4, 3));
    write("bad.ppm", {'P', '6', ' ', '4', ' ', '3', ' ', '2', '5', '5', '\n', 1, 2, 3});
    write("text.ppm", {'P', '3', ' ', '1', ' ', '1', ' ', '1', ' ', '0', ' ', '0', ' ', '0'});
    const std::string m = model_arg();
    const std::string page = " '" + path("page.ppm") + "'";
    ASSERT_EQ(symlink(path("page.ppm").c_str(), path("link.ppm").c_str()), 0);
    ASSERT_EQ(link(path("page.ppm").c_str(), path("hard.ppm").c_str()), 0);
    const std::string longest_model = dir + "/" + std::string(254 - dir.size(), 'm');  // 255 characters
    ASSERT_EQ(symlink(OVCG_DEFAULT_MODEL_FILE, longest_model.c_str()), 0);
    write("old.prn", Bytes(100000, 'x'));  // longer than the job printed over it
    const std::string same = "; nothing was printed";
    const std::string limits = "; a custom page must be 1261 to 12960 dots wide and 1800 to 255118 dots high" + same;
    const std::string form = "; give custom.WxH, W and H decimal numbers, followed by in, cm, mm or nothing (points)";
    struct Case {
        std::string args;
        int status;
        std::string message;
        std::string stdin_file = "/dev/null";
    };
    const Case cases[] = {
        {m + " '" + path("missing.ppm") + "'", 3, "cannot open image " + path("missing.ppm")},
        {m + " '" + path("bad.ppm") + "'", 3, "image 1: truncated (3 of 36 sample bytes)"},
        {m + " '" + path("text.ppm") + "'", 3, "image 1: not a binary PPM (P6) or PGM (P5) image"},
        {m + " -", 3, "standard input: no image in the input"},
        {m + " -o Colour=RGB" + page, 2, "unknown option 'Colour'"},
        {m + " -o media=A4" + page, 2, "unknown option 'media'"},
        {m + " -o Mode=Fancy" + page, 2, "unknown choice 'Fancy' for option Mode"},
        // A long name or choice is quoted by its start.
        {m + " -o " + std::string(100000, 'n') + "=x" + page, 2,
         "unknown option '" + std::string(20, 'n') + "...' (see"},
        {m + " -o Mode=" + std::string(100000, 'f') + page, 2, "unknown choice '" + std::string(20, 'f') + "...' for"},
        {m + " -o PageSize=A4_Sheetc_x" + page, 2, "unknown choice 'A4_Sheetc_x' for option PageSize"},
        {m + " -o Mode" + page, 2, "is not of the form NAME=CHOICE"},
        {m + " -o" , 2, "-o needs a value"},
        {m + " --colour" + page, 2, "unknown argument '--colour'"},
        {m + page + page, 2, "more than one input given"},
        {"-m '" + path("none.res") + "'" + page, 4, "cannot open model file " + path("none.res")},
        {m + " -O '" + path("no/such/dir/out") + "'" + page, 4, "cannot open output"},
        {m + " /dev/zero", 3, "/dev/zero: image 1: not a binary PPM (P6) or PGM (P5) image; nothing was printed"},
        {m + " '" + dir + "'", 3, dir + ": image 1: cannot read: Is a directory; nothing was printed"},
        {"-m '" + dir + "'" + page, 4, "cannot open model file " + dir + ": Is a directory"},
        // Custom sizes outside the limits: the size asked for and the limits.
        {m + " -o PageSize=custom.1x1in" + page, 2,
         "PageSize=custom.1x1in asks for 300 x 300 dots at 300 dpi; a custom page must be 1261 to 12960 dots "
         "wide and 1800 to 255118 dots high; nothing was printed"},
        {m + " -o PageSize=custom.4.2x6in" + page, 2, "PageSize=custom.4.2x6in asks for 1260 x 1800 dots at 300 dpi"},
        {m + " -o PageSize=Custom.10x851IN" + page, 2, "PageSize=Custom.10x851IN asks for 3000 x 255300 dots"},
        // A side too large for a number of dots, or of no dot, is named.
        {m + " -o PageSize=custom.99999999999x11in" + page, 2,
         "PageSize=custom.99999999999x11in: the width is too large" + limits},
        {m + " -o PageSize=custom.0x11in" + page, 2, "PageSize=custom.0x11in: the width is 0 dots" + limits},
        {m + " -o PageSize=custom.8.5x0in" + page, 2, "PageSize=custom.8.5x0in: the height is 0 dots" + limits},
        {m + " -o PageSize=custom.0X99999999999" + page, 2,
         "custom.0X99999999999: the width is 0 dots and the height is too large;"},
        // Only the form the tool promises: decimal numbers and exactly a unit.
        {m + " -o PageSize=custom.-5x20in" + page, 2, "PageSize=custom.-5x20in: the width is not a positive number" + form},
        {m + " -o PageSize=custom.nanx5in" + page, 2, "PageSize=custom.nanx5in: the width is not a positive number"},
        {m + " -o PageSize=custom.5x-infin" + page, 2, "PageSize=custom.5x-infin: the height is not a positive number"},
        {m + " -o PageSize=custom.1e3x5in" + page, 2, "PageSize=custom.1e3x5in: the width is not a decimal number"},
        {m + " -o PageSize=custom.+5x20in" + page, 2, "PageSize=custom.+5x20in: the width is not a decimal number"},
        {m + " -o PageSize=custom.1.2.3x5in" + page, 2, "PageSize=custom.1.2.3x5in: the width is not a decimal number"},
        {m + " -o PageSize=custom..x5in" + page, 2, "PageSize=custom..x5in: the width is not a decimal number"},
        {m + " -o PageSize=custom.infx5in" + page, 2, "PageSize=custom.infx5in: the width is not a positive number"},
        {m + " -o PageSize=custom.1000x1500m" + page, 2, "PageSize=custom.1000x1500m: the unit 'm' is none of in, cm, mm" + form},
        {m + " -o PageSize=custom.8.5x11inXYZ" + page, 2, "custom.8.5x11inXYZ: the unit 'inXYZ' is none of in, cm"},
        {m + " -o PageSize=custom.0x1000x0x1500in" + page, 2, "custom.0x1000x0x1500in: the unit 'x0x1500in' is none"},
        {m + " -o PageSize=custom.4.25" + std::string(241, '0') + "x6in" + page, 2,
         "PageSize=custom.4.25000000000... has 256 characters; a PageSize choice takes at most 255; nothing was "
         "printed"},
        {m + " -o PageSize=custom.wide" + page, 2, "PageSize=custom.wide is no size: give custom.WxH, W and H"},
        {m + " -o PageSize=custom.8.5x11" + std::string(230, 'a') + page, 2,
         "PageSize=custom.8.5x11aaaaaaa...: the unit is none of in, cm, mm" + form},
        // A choice of 64 characters is quoted whole, one of 65 by its first 20 and no other part.
        {m + " -o PageSize=custom.1x1" + std::string(54, 'u') + page, 2,
         "PageSize=custom.1x1" + std::string(54, 'u') + ": the unit '" + std::string(54, 'u') + "' is none"},
        {m + " -o PageSize=custom.1x1" + std::string(55, 'u') + page, 2,
         "PageSize=custom.1x1uuuuuuuuuu...: the unit is none of in, cm, mm" + form},
        {m + " -o PageSize=custom.1x1" + std::string(64, 'u') + page, 2,
         "PageSize=custom.1x1uuuuuuuuuu...: the unit is none of in, cm, mm" + form},
        {m + " -o PageSize=custom." + std::string(57, 'w') + page, 2,
         "PageSize=custom." + std::string(57, 'w') + " is no size"},
        {m + " -o PageSize=custom." + std::string(58, 'w') + page, 2, "PageSize=custom.wwwwwwwwwwwww... is no size"},
        {m + " -o PageSize=custom." + std::string(52, '0') + "1x1in" + page, 2,
         "PageSize=custom." + std::string(52, '0') + "1x1in asks for 300 x 300 dots"},
        {m + " -o PageSize=custom." + std::string(53, '0') + "1x1in" + page, 2,
         "PageSize=custom.0000000000000... asks for 300 x 300 dots"},
        {m + " -o PageSize=custom.8.5x11" + std::string(200, '0') + page, 2, "custom.8.5x110000000...: the height is"},
        {m + " -o PageSize=custom." + std::string(200, 'w') + page, 2, "PageSize=custom.wwwwwwwwwwwww... is no size"},
        {"-m '" + dir + "/" + std::string(255 - dir.size(), 'm') + "'" + page, 4,
         "model file path " + dir.substr(0, 20) + "... has 256 characters; the library takes at most 255" + same},
        {"-m '" + longest_model + "'" + page, 0, "page 1: 4x3 image printed as"},
        {m + " -O '" + path("old.prn") + "'" + page, 0, "page 1: 4x3 image printed as"},
        // The output is the input, by any name: refused before it is cut to nothing.
        {m + " -O" + page + page, 2, "the output " + path("page.ppm") + " is the input " + path("page.ppm") + same},
        {m + " -O '" + path("link.ppm") + "'" + page, 2, "the output " + path("link.ppm") + " is the input"},
        {m + " -O '" + path("hard.ppm") + "'" + page, 2, "the output " + path("hard.ppm") + " is the input"},
        {m + " -O" + page, 2, "the output " + path("page.ppm") + " is the file standard input reads" + same,
         path("page.ppm")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun r = run(c.args, c.stdin_file);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(contains(r.err, "ovcg-print: ")) << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        // Nothing is printed for a refused job.
        EXPECT_EQ(r.out.empty(), c.status != 0 || contains(c.args, "old.prn"));
        for (size_t at = r.err.find("ovcg-print: "); at != std::string::npos; at = r.err.find("ovcg-print: ", at + 1))
            EXPECT_LT(r.err.find('\n', at) - at, 300u) << r.err;  // a long text of the user's is quoted by its start
    }
    EXPECT_EQ(read(path("page.ppm")), ppm(4, 3));
    EXPECT_TRUE(read(path("old.prn")) == run(m + page).out);  // emptied when it opened
}


// ---- Models that cannot be read -----------------------------------------------------

// An empty, cut short or random model file, or one with an empty resource,
// is the model's fault, not the options': the tool says the model cannot be
// read and names the resource it lacks, or that its data are missing or
// damaged, and exits 4 with nothing written.
TEST_F(PrintTool, ModelsThatCannotBeReadAreNamedWithTheResourceTheyLack) {
    write("page.ppm", ppm(4, 3));
    const Bytes model = read(OVCG_DEFAULT_MODEL_FILE);
    ASSERT_GT(model.size(), 100000u);
    std::mt19937 rng(42);
    Bytes random(50000);
    for (uint8_t& b : random) b = static_cast<uint8_t>(rng());
    ovcg_test::ResWriter empty_links = ovcg_test::build_model(ovcg_test::default_model());
    ASSERT_TRUE(empty_links.replace(ovcg_test::kResTypeLink, 20050, {}));
    static const std::string lacks = ": it holds no resource of type ";
    struct Case {
        std::string name;
        Bytes bytes;
        std::string message = lacks;
    };
    const Case cases[] = {
        {"empty", {}},
        {"leading entry only", Bytes(model.begin(), model.begin() + 32)},
        {"cut at 5000 bytes", Bytes(model.begin(), model.begin() + 5000)},
        {"cut at half", Bytes(model.begin(), model.begin() + static_cast<long>(model.size() / 2))},
        {"random", random},
        {"an empty resource", empty_links.bytes(),
         ": its data for this job are missing or damaged; ovcgStartJob failed with code -1000 (print engine "
         "failure); nothing was printed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write("model.res", c.bytes);
        const std::string out = path("out.prn");
        std::remove(out.c_str());
        ToolRun r = run("-m '" + path("model.res") + "' -o MediaType=Media334_Q2 -O '" + out + "' '" +
                        path("page.ppm") + "'");
        EXPECT_EQ(r.status, 4) << r.err;
        const std::string verb = c.message == lacks ? "cannot read" : "cannot print with";
        EXPECT_TRUE(contains(r.err, "ovcg-print: " + verb + " model file " + path("model.res") + c.message)) << r.err;
        // The reader's own line passes on.
        EXPECT_EQ(contains(r.err, "RES MGR : Failed to locate ["), c.message == lacks) << r.err;
        EXPECT_FALSE(contains(r.err, "these options")) << r.err;  // not refused as the options' fault
        EXPECT_FALSE(std::ifstream(out).good());
    }
}

// ---- The page report and paper names ---------------------------------------------------

TEST_F(PrintTool, PageInfoReportsThePixelSizeAndColourModelWithoutPrinting) {
    Bytes gray = {'P', '5', ' ', '2', ' ', '2', ' ', '2', '5', '5', '\n', 1, 2, 3, 4};
    write("gray.pgm", gray);
    write("page.ppm", ppm(4, 3));
    const Bytes page = ppm(4, 3);
    write("short.ppm", Bytes(page.begin(), page.end() - 12));  // a row short: only the header is read
    const std::string m = model_arg() + " --page-info -O '" + path("out.prn") + "'";
    struct Case {
        std::string args;
        std::string report;
    };
    const Case cases[] = {
        {"", "width=2410 height=3438 ColorModel=RGB\n"},
        {" -o PageSize=A4_Roll -o MediaType=Media1_Q1", "width=2410 height=3438 ColorModel=RGB\n"},
        {" -o PageSize=A4 -o MediaType=Media436_Q4", "width=9640 height=13752 ColorModel=RGB\n"},
        {" -o mediatype=media436_q4 -o colormodel=gray", "width=9640 height=13752 ColorModel=Gray\n"},
        {" '" + path("gray.pgm") + "'", "width=2410 height=3438 ColorModel=Gray\n"},
        {" -o ColorModel=RGB '" + path("gray.pgm") + "'", "width=2410 height=3438 ColorModel=RGB\n"},
        {" '" + path("page.ppm") + "'", "width=2410 height=3438 ColorModel=RGB\n"},
        {" -o PageSize=custom.4.25" + std::string(240, '0') + "x6in", "width=1205 height=1730 ColorModel=RGB\n"},
        {" -o PageSize=custom.306x432", "width=1205 height=1730 ColorModel=RGB\n"},  // points
        {" -o PageSize=custom.10.8x15.24cm", "width=1206 height=1730 ColorModel=RGB\n"},
        {" -o PageSize=custom.108x152.4MM", "width=1206 height=1730 ColorModel=RGB\n"},
        {" -o PageSize=custom.4.25X6in", "width=1205 height=1730 ColorModel=RGB\n"},
        {" '" + path("short.ppm") + "'", "width=2410 height=3438 ColorModel=RGB\n"},
        // No output is opened: it may be the input.
        {" -O '" + path("page.ppm") + "' '" + path("page.ppm") + "'", "width=2410 height=3438 ColorModel=RGB\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun r = run(m + c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(std::string(r.out.begin(), r.out.end()), c.report);
        EXPECT_FALSE(std::ifstream(path("out.prn")).good());
        expect_one_job_started(r.err);  // the page's size comes from a job start
    }
    EXPECT_EQ(read(path("page.ppm")), page);
}

// The library reads a paper name without a variant as its roll variant; the
// tool takes it too, and the job starts with the roll variant's page.
TEST_F(PrintTool, APaperNameWithoutVariantIsTheRollVariant) {
    for (const char* paper : {"A4", "a3plus", "Letter", "ARCHE1"}) {
        SCOPED_TRACE(paper);
        const std::string m = model_arg() + " --page-info -o MediaType=Media334_Q2 -o PageSize=";
        const ToolRun plain = run(m + paper);
        const ToolRun roll = run(m + paper + "_Roll");
        EXPECT_EQ(plain.status, 0) << plain.err;
        EXPECT_EQ(roll.status, 0) << roll.err;
        EXPECT_EQ(plain.out, roll.out);
        EXPECT_TRUE(contains(std::string(plain.out.begin(), plain.out.end()), "width=")) << plain.err;
    }
}

// ---- Samples and colour models ---------------------------------------------------------

// An image at any maximum value prints exactly as the 8-bit image of its
// rounded samples: for gray and colour, a one-byte table class and a two-byte
// one, as two pages of one input each (the reader's own tests take every
// maximum value; here the samples reach the stream).
TEST_F(PrintTool, EveryMaxvalClassPrintsAsItsEightBitImage) {
    const std::string small = " -o PageSize=custom.4.25x6in";
    auto image = [](bool colour, uint32_t maxval, const std::vector<uint32_t>& samples, uint32_t w, uint32_t h) {
        const std::string head = std::string(colour ? "P6 " : "P5 ") + std::to_string(w) + " " + std::to_string(h) +
                                 " " + std::to_string(maxval) + "\n";
        Bytes b(head.begin(), head.end());
        for (uint32_t v : samples) {
            if (maxval > 255) b.push_back(static_cast<uint8_t>(v >> 8));
            b.push_back(static_cast<uint8_t>(v));
        }
        return b;
    };
    std::mt19937 rng(7);
    for (bool colour : {false, true}) {
        SCOPED_TRACE(colour ? "P6" : "P5");
        const uint32_t w = 37, h = 11, n = w * h * (colour ? 3 : 1);
        Bytes deep, eight;
        for (uint32_t maxval : colour ? std::vector<uint32_t>{1, 1000} : std::vector<uint32_t>{15, 65535}) {
            std::vector<uint32_t> samples(n), rounded(n);
            for (uint32_t i = 0; i < n; ++i) {
                samples[i] = static_cast<uint32_t>(rng() % (maxval + 1));
                rounded[i] = (samples[i] * 255 + maxval / 2) / maxval;
            }
            deep = deep + image(colour, maxval, samples, w, h);
            eight = eight + image(colour, 255, rounded, w, h);
        }
        write("deep.pnm", deep);
        write("eight.pnm", eight);
        const ToolRun a = run(model_arg() + small + " '" + path("deep.pnm") + "'");
        const ToolRun b = run(model_arg() + small + " '" + path("eight.pnm") + "'");
        ASSERT_EQ(a.status, 0) << a.err;
        EXPECT_TRUE(contains(a.err, "ovcg-print: page 2: 37x11 image printed as")) << a.err;
        EXPECT_EQ(a.out, b.out);
        const char* model = colour ? "printing with ColorModel=RGB (the default)"
                                   : "printing with ColorModel=Gray (the first image is gray)";
        EXPECT_TRUE(contains(a.err, model)) << a.err;
    }
}

TEST_F(PrintTool, AGrayImagePrintsGrayUnlessTheColourModelIsGiven) {
    const std::string small = model_arg() + " -o PageSize=custom.4.25x6in";
    const uint32_t w = 30, h = 9;
    Bytes pgm = {'P', '5', ' ', '3', '0', ' ', '9', ' ', '2', '5', '5', '\n'};
    std::string rgb_head = "P6 30 9 255\n";
    Bytes ppm3(rgb_head.begin(), rgb_head.end());
    for (uint32_t i = 0; i < w * h; ++i) {
        const uint8_t v = static_cast<uint8_t>(i * 7);
        pgm.push_back(v);
        ppm3.insert(ppm3.end(), 3, v);
    }
    write("page.pgm", pgm);
    write("page.ppm", ppm3);
    const std::string g = " '" + path("page.pgm") + "'";
    const ToolRun by_default = run(small + g);
    const ToolRun gray = run(small + " -o ColorModel=Gray" + g);
    const ToolRun rgb = run(small + " -o colormodel=rgb" + g);
    const ToolRun colour = run(small + " '" + path("page.ppm") + "'");
    for (const ToolRun* r : {&by_default, &gray, &rgb, &colour}) ASSERT_EQ(r->status, 0) << r->err;
    EXPECT_TRUE(contains(by_default.err, "printing with ColorModel=Gray (the first image is gray)")) << by_default.err;
    EXPECT_TRUE(contains(by_default.err, "page 1: 30x9 image printed as 1205x1730 Gray")) << by_default.err;
    EXPECT_TRUE(contains(gray.err, "printing with ColorModel=Gray (as given)")) << gray.err;
    EXPECT_TRUE(contains(rgb.err, "printing with ColorModel=RGB (as given)")) << rgb.err;
    EXPECT_TRUE(contains(colour.err, "printing with ColorModel=RGB (the default)")) << colour.err;
    EXPECT_EQ(by_default.out, gray.out);
    EXPECT_EQ(rgb.out, colour.out);  // gray samples copied to three channels
    EXPECT_NE(by_default.out, rgb.out);
}

// ---- Streaming -------------------------------------------------------------------------

// A tool run whose standard input and standard error are pipes the test
// holds: the test writes input when it chooses and reads messages as they come.
class PipedRun {
public:
    // `ignored`: a signal the tool starts with ignored (0: none); `env`:
    // settings added to the environment; standard output is out_file, or
    // out_fd when that is given.
    PipedRun(const std::vector<std::string>& args, const std::string& out_file, int ignored = 0,
             const std::vector<std::string>& env = {}, int out_fd = -1) {
        int in[2], err[2];
        if (pipe(in) != 0 || pipe(err) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        if (out_fd >= 0)
            posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        // The signals a print stops on act as on a terminal, whatever the test runner ignores.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t stop;
        sigemptyset(&stop);
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            if (sig != ignored) sigaddset(&stop, sig);
        posix_spawnattr_setsigdefault(&attr, &stop);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        std::vector<char*> argv;
        std::string tool = OVCG_PRINT_TOOL;
        argv.push_back(tool.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        // An ignored signal stays ignored in the child: ignored here while it starts.
        struct sigaction ignore {}, before {};
        ignore.sa_handler = SIG_IGN;
        if (ignored) sigaction(ignored, &ignore, &before);
        std::vector<std::string> settings = env;
        std::vector<char*> envp;
        for (std::string& e : settings) envp.push_back(e.data());
        for (char** e = environ; *e; ++e) envp.push_back(*e);
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, tool.c_str(), &actions, &attr, argv.data(), envp.data()) != 0) pid_ = -1;
        if (ignored) sigaction(ignored, &before, nullptr);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        close(in[0]);
        close(err[1]);
        in_ = in[1];
        err_ = err[0];
    }
    // A tool still running when the test ends (a failed check) is killed.
    ~PipedRun() {
        close_input();
        if (err_ >= 0) close(err_);
        if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    }
    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // False when the tool has ended: the write fails, and its SIGPIPE is
    // taken here instead of ending the test.
    bool write_input(const Bytes& b) {
        sigset_t pipe_signal, before;
        sigemptyset(&pipe_signal);
        sigaddset(&pipe_signal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
        size_t done = 0;
        for (ssize_t n = 0; done < b.size() && (n = ::write(in_, b.data() + done, b.size() - done)) > 0;)
            done += static_cast<size_t>(n);
        const timespec now{};
        if (done < b.size()) sigtimedwait(&pipe_signal, nullptr, &now);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        return done == b.size();
    }
    bool send(int sig) const { return pid_ > 0 && kill(pid_, sig) == 0; }
    void close_input() {
        if (in_ >= 0) close(in_);
        in_ = -1;
    }
    // Reads messages until they hold `part`; false when the tool ends or
    // says nothing more for `ms` milliseconds first.
    bool wait_for(const std::string& part, int ms = 120000) {
        while (err_text.find(part) == std::string::npos) {
            pollfd p{err_, POLLIN, 0};
            if (poll(&p, 1, ms) <= 0) return false;
            char buf[4096];
            const ssize_t n = read(err_, buf, sizeof buf);
            if (n <= 0) return false;
            err_text.append(buf, static_cast<size_t>(n));
        }
        return true;
    }
    // The tool's wait status once it has ended, waiting `ms` milliseconds
    // at most (-1: still running); its messages are not read meanwhile.
    int ended_within(int ms) {
        for (int waited = 0; pid_ > 0; waited += 5) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                wait_for("\x01");  // the rest of the messages
                return status;
            }
            if (waited >= ms) break;
            usleep(5000);
        }
        return -1;
    }
    // Reads the rest of the messages and the exit status.
    int finish() {
        close_input();
        wait_for("\x01");  // to the end of the messages
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return -1;
    }
    std::string err_text;

private:
    pid_t pid_ = -1;
    int in_ = -1, err_ = -1;
};

// Page 1 prints while the input is still open and page 2 not yet written:
// the tool reads its input as a stream, not to its end first. The stream
// equals the one printed from a file.
TEST_F(PrintTool, PagesStreamFromAPipe) {
    const Bytes one = ppm(40, 30, 7), two = ppm(50, 20, 13);
    write("pages.ppm", one + two);
    const std::string out = path("piped.prn");
    PipedRun tool({"-m", OVCG_DEFAULT_MODEL_FILE, "-o", "PageSize=custom.4.25x6in"}, out);
    ASSERT_TRUE(tool.started());
    ASSERT_TRUE(tool.write_input(one));
    ASSERT_TRUE(tool.wait_for("ovcg-print: page 1: 40x30 image printed as")) << tool.err_text;
    EXPECT_FALSE(contains(tool.err_text, "page 2")) << tool.err_text;
    const Bytes early = read(out);  // page 1, handed on before image 2 is read
    ASSERT_TRUE(tool.write_input(two));
    EXPECT_EQ(tool.finish(), 0) << tool.err_text;
    EXPECT_TRUE(contains(tool.err_text, "ovcg-print: page 2: 50x20 image printed as")) << tool.err_text;

    ToolRun piped;
    piped.status = 0;
    piped.out = read(out);
    const ToolRun from_file = run(model_arg() + " -o PageSize=custom.4.25x6in '" + path("pages.ppm") + "'");
    ASSERT_EQ(from_file.status, 0) << from_file.err;
    EXPECT_EQ(piped.out, from_file.out);
    const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(piped.out);
    EXPECT_TRUE(check.ok) << check.error;
    EXPECT_EQ(check.count("FF"), 2u);
    const auto ff = std::find_if(check.items.begin(), check.items.end(), [](const auto& i) { return i.name == "FF"; });
    ASSERT_NE(ff, check.items.end());
    EXPECT_GT(early.size(), ff->offset);
    EXPECT_TRUE(early.size() <= piped.out.size() && std::equal(early.begin(), early.end(), piped.out.begin()));
}

// Whether process pid waits in system call `number` on descriptor fd (-1:
// any but standard error; the tool writes its output through a descriptor
// of its own).
bool waits_in(pid_t pid, long number, int fd) {
    std::ifstream call("/proc/" + std::to_string(pid) + "/syscall");
    long now = -1;
    std::string first;
    if (!(call >> now >> first) || now != number) return false;
    const long on = std::stol(first, nullptr, 16);
    return fd < 0 ? on != 2 : on == fd;
}

// Whether `now()` comes true within two minutes (looked at every 10 ms).
template <class Cond>
bool comes(Cond now) {
    for (int polls = 0; !now(); ++polls) {
        if (polls == 12000) return false;
        usleep(10000);
    }
    return true;
}

// What a descriptor that does not wait holds, to its end.
Bytes drain(int fd) {
    Bytes taken;
    uint8_t buf[4096];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0;) taken.insert(taken.end(), buf, buf + n);
    return taken;
}

// A print stopped by SIGINT, SIGTERM or SIGHUP while it waits for rows from
// a slow pipe, once its stream has reached the output: a regular output file
// is emptied (a hard link to it is left empty) and removed (for a symbolic
// link, its target), standard output is left holding a cut-off job; one line
// says which, and the exit status is 128 + the signal's number. An output
// renamed while it prints is emptied, and a new file at its name is left. A
// write waiting in a full pipe returns what it moved: the line says a
// cut-off job, or nothing written when the pipe was full before the first
// byte; the job's last write, its reader stalled there, stops within a
// second. An output that never opened (a FIFO without a reader) stops at
// once, nothing written; a signal ignored from the start stays ignored, and
// the job ends whole.
TEST_F(PrintTool, AStoppedPrintRemovesItsFileAndExitsWith128PlusTheSignal) {
    const Bytes image = ppm(1205, 1730, 7);
    const std::string file = path("out.prn"), kept = path("kept.prn"), out = path("stdout.prn");
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    const Bytes blank = white(1205, 1730);
    write("blank.ppm", blank);
    const Bytes whole = run(model_arg() + " -o PageSize=custom.4.25x6in '" + path("blank.ppm") + "'").out;
    ASSERT_LT(whole.size(), 1u << 17);
    ASSERT_EQ(symlink("out.prn", path("link.prn").c_str()), 0);
    // Whether the tool has a handler for the signal, from its status.
    const auto catches = [](pid_t pid, int sig) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1) & 1) != 0;
        return false;
    };
    struct Case {
        int sig;
        // -O's name ("" for standard output; "renamed": out.prn; "pipe": a pipe on standard output
        // that fills, "filled" one full from the start; "stall": a pipe that holds the white page,
        // then fills as the job ends)
        std::string output;
        std::string line;    // "" for a signal ignored from the start
    };
    const Case cases[] = {
        {SIGINT, "out.prn", "stopped by SIGINT; the partial output was removed\n"},
        {SIGTERM, "out.prn", "stopped by SIGTERM; the partial output was removed\n"},
        {SIGHUP, "out.prn", "stopped by SIGHUP; the partial output was removed\n"},
        {SIGTERM, "link.prn", "stopped by SIGTERM; the partial output was removed\n"},
        {SIGINT, "", "stopped by SIGINT; standard output holds a cut-off job\n"},
        {SIGINT, "fifo", "stopped by SIGINT; nothing was written\n"},
        {SIGINT, "renamed", "stopped by SIGINT; the partial output was emptied, not removed\n"},
        {SIGINT, "pipe", "stopped by SIGINT; standard output holds a cut-off job\n"},
        {SIGTERM, "filled", "stopped by SIGTERM; nothing was written\n"},
        {SIGINT, "stall", "stopped by SIGINT; standard output holds a cut-off job\n"},
        {SIGHUP, "stall", "stopped by SIGHUP; standard output holds a cut-off job\n"},
        {SIGHUP, "out.prn", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output + ": " + (c.line.empty() ? "ignored" : c.line));
        const bool renamed = c.output == "renamed", prefilled = c.output == "filled", stall = c.output == "stall";
        const bool full = c.output == "pipe" || prefilled;
        const bool piped = full || stall;
        const bool to_file = c.output == "out.prn" || c.output == "link.prn" || renamed;
        std::remove(out.c_str());
        if (to_file) {  // a file with a second name
            write("out.prn", {});
            ASSERT_EQ(link(file.c_str(), kept.c_str()), 0);
        }
        std::vector<std::string> args = {"-m", OVCG_DEFAULT_MODEL_FILE, "-o", "PageSize=custom.4.25x6in"};
        if (!c.output.empty() && !piped) args.insert(args.end(), {"-O", path(renamed ? "out.prn" : c.output)});
        // A pipe that nobody reads: of 4096 bytes, where the tool's first
        // write moves some and waits (or none, the pipe full already), or,
        // for a stalling reader, of 128 KiB, which the white page's job fits.
        const int pipe_end = piped ? open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        const int pipe_size = stall ? 1 << 17 : 4096;
        ASSERT_EQ(piped ? fcntl(pipe_end, F_SETPIPE_SZ, pipe_size) : pipe_size, pipe_size);
        const Bytes filling(4096, 'f');
        if (prefilled) {
            const int filler = open(path("pipe").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_EQ(::write(filler, filling.data(), filling.size()), 4096);
            close(filler);
        }
        const Bytes& input = stall ? blank : image;
        PipedRun tool(args, piped ? path("pipe") : out, c.line.empty() ? c.sig : 0);
        ASSERT_TRUE(tool.started());
        const std::string& reached = to_file ? file : out;
        // Rows until the stream reaches the output (a full pipe holds the
        // feeder back), or, for a FIFO, the first band's rows (a pipe's
        // worth at most: the tool reads no more) and the tool's handler in
        // place as it waits for a reader; for a stalling reader, the whole
        // page, handed on, and the tool waiting for a next image.
        const bool fifo = c.output == "fifo";
        const auto ready = [&] {
            int queued = 0;
            if (stall) return tool.wait_for("ovcg-print: page 1: ", 0) && waits_in(tool.pid(), SYS_read, 0);
            if (prefilled) return waits_in(tool.pid(), SYS_write, -1);
            if (full) return ioctl(pipe_end, FIONREAD, &queued) == 0 && queued == 4096;
            return fifo ? catches(tool.pid(), c.sig) : std::ifstream(reached, std::ios::ate).tellg() > 0;
        };
        const size_t step = 1205 * 3 * 8;
        size_t fed = 0;
        for (int polls = 0; !ready(); ++polls) {
            ASSERT_LT(polls, 12000) << tool.err_text;
            if (((fifo || full) && fed > 0) || fed == input.size()) {
                usleep(10000);
                continue;
            }
            // The stream reaches the output within the page, before its last rows are in.
            ASSERT_TRUE(stall || fed + step < input.size()) << tool.err_text;
            const size_t n = std::min(step, input.size() - fed);
            ASSERT_TRUE(tool.write_input(Bytes(input.begin() + long(fed), input.begin() + long(fed + n))));
            fed += n;
        }
        size_t filled = 0;
        if (stall) {  // the reader stalls: the pipe fills, then the input ends and the tool writes the job's end
            const int filler = open(path("pipe").c_str(), O_WRONLY | O_NONBLOCK);
            filled = ovcg_test::fill_pipe(filler);
            close(filler);
            tool.close_input();
            ASSERT_TRUE(comes([&] { return waits_in(tool.pid(), SYS_write, -1); })) << tool.err_text;
        }
        if (renamed) {  // a new file at the output's name
            ASSERT_EQ(rename(file.c_str(), path("moved.prn").c_str()), 0);
            write("out.prn", Bytes(3, 'n'));
        }
        ASSERT_TRUE(tool.send(c.sig));
        if (c.line.empty()) {  // the rest of the rows: the job ends whole
            ASSERT_TRUE(tool.write_input(Bytes(image.begin() + long(fed), image.end())));
            EXPECT_EQ(tool.finish(), 0) << tool.err_text;
            const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(read(file));
            EXPECT_TRUE(check.ok && check.count("FF") == 1) << check.error;
            std::remove(file.c_str());
            std::remove(kept.c_str());
            continue;
        }
        const bool stopped = tool.wait_for("ovcg-print: stopped by", stall ? 1000 : 120000);  // one write
        if (fifo) close(open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK));  // a tool still waiting goes on
        ASSERT_TRUE(stopped) << tool.err_text;
        EXPECT_EQ(tool.finish(), 128 + c.sig) << tool.err_text;
        const size_t at = tool.err_text.find("ovcg-print: stopped by");
        EXPECT_EQ(tool.err_text.substr(at == std::string::npos ? 0 : at + 12), c.line) << tool.err_text;
        EXPECT_EQ(std::ifstream(file).good(), renamed);  // a new file at the output's name is left as it is
        EXPECT_EQ(read(file), Bytes(renamed ? 3 : 0, 'n'));
        EXPECT_EQ(read(out).empty(), c.output != "");
        EXPECT_EQ(std::ifstream(kept).good() && read(kept).empty(), to_file);  // every name emptied
        const Bytes taken = drain(pipe_end);
        if (prefilled) {
            EXPECT_EQ(taken, filling);  // not a byte of the job
        }
        if (stall) {  // the pipe holds the job but its end, and the filling
            ASSERT_GE(taken.size(), filled);
            const size_t sent = taken.size() - filled;
            EXPECT_TRUE(sent < whole.size() && std::equal(taken.begin(), taken.begin() + long(sent), whole.begin()));
        }
        if (piped) close(pipe_end);
        std::remove(file.c_str());
        std::remove(kept.c_str());
    }
    struct stat link_stat {};
    EXPECT_EQ(lstat(path("link.prn").c_str(), &link_stat), 0);  // the link itself stays
}

// A stop at the job's end is decided by what the calls on the output
// returned. One that comes once the job's last byte has gone, while the
// write that moved it or the close after it still waits, leaves the job
// whole (on a pipe, a socket, a file on standard output and -O) with no
// line, and the tool ends as any program does on the signal. One during the
// slow emptying of a dropped output, renamed meanwhile with a new file at
// its name, keeps the new file. Once the output is dropped, a second stop
// ends the tool at once whatever its line waits on (a standard error that
// nobody reads), and after a job that ended whole one stop does.
TEST_F(PrintTool, AStopAtTheJobsEndIsDecidedByWhatTheOutputReceived) {
    const Bytes blank = white(1205, 1730);
    const Bytes then_bad = blank + Bytes{'G', 'I', 'F'};
    write("blank.ppm", blank);
    write("then_bad.ppm", then_bad);
    const std::string small = model_arg() + " -o PageSize=custom.4.25x6in '";
    const Bytes whole = run(small + path("blank.ppm") + "'").out;
    const ToolRun bad = run(small + path("then_bad.ppm") + "'");
    ASSERT_EQ(bad.status, 3) << bad.err;
    ASSERT_LT(whole.size(), 1u << 17);
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    const std::string file = path("out.prn"), kept = path("kept.prn"), moved = path("moved.prn"), mark = path("mark");
    struct Case {
        const char* name;
        std::string output;   // "-O": out.prn; "file": standard output to out.prn; "pipe"; "socket"
        std::string faults;   // of the calls on the output ("slow-write": at the job's last byte)
        std::string full_at = "";  // standard error is full from the message holding this
        bool then_bad = false;  // a broken image follows the page: the job ends, then the tool says so
        bool renamed = false;   // the output renamed at the fault's wait, a new file made at its name
        int stops = 1;
        bool whole = true;  // the output keeps the whole job
        std::string line = "";  // "": none, the tool ended by the signal
    };
    const Case cases[] = {
        {"-O, the last write waiting", "-O", "slow-write"},
        {"a file on standard output, the last write waiting", "file", "slow-write"},
        {"a pipe, the last write waiting", "pipe", "slow-write"},
        {"a socket, the last write waiting", "socket", "slow-write"},
        {"-O, the close of the whole job waiting", "-O", "slow-close"},
        {"the emptying after a failed close waiting", "-O", "close-eio,slow-ftruncate", "", false, true, 1, false,
         "stopped by SIGTERM; the partial output was emptied, not removed\n"},
        {"standard error full as the page is reported: two stops", "-O", "", "page 1: ", false, false, 2, false},
        {"standard error full after the job ended whole", "-O", "", "the job ended before image 2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& name : {file, kept, moved, mark}) std::remove(name.c_str());
        const bool to_file = c.output == "-O" || c.output == "file";
        if (to_file) {  // a file with a second name
            write("out.prn", {});
            ASSERT_EQ(link(file.c_str(), kept.c_str()), 0);
        }
        int reader = -1, sockets[2] = {-1, -1};
        if (c.output == "pipe") {
            reader = open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_EQ(fcntl(reader, F_SETPIPE_SZ, 1 << 17), 1 << 17);
        } else if (c.output == "socket") {
            ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
            const int size = 1 << 20;
            setsockopt(sockets[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
            reader = sockets[0];
        }
        std::string faults = c.faults;
        if (faults == "slow-write") faults += "=" + std::to_string((c.then_bad ? bad.out : whole).size());
        const std::vector<std::string> env = {
            "LD_PRELOAD=" OVCG_TOOL_FAULTS,
            "OVCG_TEST_OUTPUT=" + (c.output == "-O" ? file : std::string("/proc/self/fd/1")),
            "OVCG_TEST_OUTPUT_FAULTS=" + faults,
            "OVCG_TEST_STDERR_FULL=" + c.full_at,
            "OVCG_TEST_MARK=" + mark,
            "OVCG_TEST_WAIT_MS=" + std::string(c.renamed ? "2000" : "60000")};
        std::vector<std::string> args = {"-m", OVCG_DEFAULT_MODEL_FILE, "-o", "PageSize=custom.4.25x6in"};
        if (c.output == "-O") args.insert(args.end(), {"-O", file});
        PipedRun tool(args, c.output == "pipe" ? path("pipe") : file, 0, env, sockets[1]);
        if (sockets[1] >= 0) close(sockets[1]);
        ASSERT_TRUE(tool.started());
        ASSERT_TRUE(tool.write_input(c.then_bad ? then_bad : blank));
        tool.close_input();
        // The fault's wait has begun (standard error: the tool waits on it).
        ASSERT_TRUE(comes([&] {
            return std::ifstream(mark).good() && (c.full_at.empty() || waits_in(tool.pid(), SYS_write, 2));
        }));
        if (c.renamed) {
            ASSERT_EQ(rename(file.c_str(), moved.c_str()), 0);
            write("out.prn", Bytes(3, 'n'));
        }
        ASSERT_TRUE(tool.send(SIGTERM));
        if (c.stops == 2) {  // the output dropped, the line waits on standard error: a second stop
            ASSERT_TRUE(comes([&] { return !std::ifstream(file).good() && waits_in(tool.pid(), SYS_write, 2); }));
            ASSERT_TRUE(tool.send(SIGTERM));
        }
        const int status = tool.ended_within(c.renamed ? 5000 : 1000);  // the emptying ends first
        ASSERT_NE(status, -1) << "the tool goes on after the stop";
        if (c.line.empty()) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status << tool.err_text;
            EXPECT_FALSE(contains(tool.err_text, "ovcg-print: stopped by")) << tool.err_text;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status << tool.err_text;
            EXPECT_TRUE(contains(tool.err_text, "ovcg-print: " + c.line)) << tool.err_text;
        }
        const Bytes out = to_file ? read(file) : drain(reader);
        if (reader >= 0) close(reader);
        if (c.whole) {
            EXPECT_TRUE(out == (c.then_bad ? bad.out : whole)) << out.size();
            EXPECT_EQ(read(kept), to_file ? out : Bytes{});
        } else {  // dropped: emptied, and removed unless its name reaches a new file by now
            EXPECT_EQ(std::ifstream(file).good(), c.renamed);
            EXPECT_EQ(read(file), Bytes(c.renamed ? 3 : 0, 'n'));
            EXPECT_TRUE(std::ifstream(kept).good() && read(kept).empty());
        }
    }
}

// With standard error closed, no message lands in the printer stream: the
// file is the one a normal print gives.
TEST_F(PrintTool, StandardErrorClosedLeavesTheFileAsANormalPrint) {
    write("page.ppm", ppm(40, 30));
    const std::string args = model_arg() + " -o PageSize=custom.4.25x6in '" + path("page.ppm") + "' -O '";
    ASSERT_EQ(run(args + path("normal.prn") + "'").status, 0);
    const std::string closed = "'" + std::string(OVCG_PRINT_TOOL) + "' " + args + path("closed.prn") + "' 2>&-";
    ASSERT_EQ(std::system(closed.c_str()), 0);
    EXPECT_EQ(read(path("closed.prn")), read(path("normal.prn")));
}

// A broken second image, from a file or through a pipe: page 1 stays printed,
// the job ends with its job-end bytes, the tool names the image and what is
// wrong with it and exits 3. From a file a short image is found before its
// page starts; through a pipe only when its rows run out, and the page begun
// is abandoned.
TEST_F(PrintTool, ABrokenLaterPageEndsTheJobWithThePagesBeforeIt) {
    const std::string small = model_arg() + " -o PageSize=custom.4.25x6in";
    const Bytes one = ppm(40, 30, 7), two = ppm(50, 20, 13), tall = ppm(50, 2000, 13);
    Bytes padded = ppm(40, 1730, 7);  // image 1 with white rows down to the page's bottom
    std::fill(padded.end() - 40 * 3 * 1700, padded.end(), 0xFF);
    write("one.ppm", one);
    write("padded.ppm", padded);
    const ToolRun alone = run(small + " '" + path("one.ppm") + "'");
    ASSERT_EQ(alone.status, 0) << alone.err;
    EXPECT_EQ(run(small + " '" + path("padded.ppm") + "'").out, alone.out);
    const ovcg_test::StreamCheck alone_check = ovcg_test::ValidateStream(alone.out);
    ASSERT_TRUE(alone_check.ok);
    size_t page_end = 0;  // just past page 1's form feed
    for (const ovcg_test::StreamItem& item : alone_check.items)
        if (item.name == "FF") page_end = item.offset + 1;
    ASSERT_GT(page_end, 0u);

    struct Case {
        const char* name;
        Bytes second;
        std::string message;
        bool abandoned_through_pipe;  // found only after page 2 began
    };
    const Case cases[] = {
        {"rows cut short", Bytes(two.begin(), two.end() - 100), "image 2: truncated (2900 of 3000 sample bytes)", true},
        {"rows cut short below the page", Bytes(tall.begin(), tall.end() - 100),
         "image 2: truncated (299900 of 300000 sample bytes)", true},
        {"header cut short", Bytes(two.begin(), two.begin() + 5), "image 2: malformed header", false},
        {"not an image", {'G', 'I', 'F', '8', '9', 'a'}, "image 2: not a binary PPM (P6) or PGM (P5) image", false},
    };
    const Bytes end = ovcg_test::expected_job_end();
    for (const Case& c : cases) {
        write("broken.ppm", one + c.second);
        for (bool pipe : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (pipe ? " through a pipe" : " from a file"));
            const ToolRun r = pipe ? run("-m '" + std::string(OVCG_DEFAULT_MODEL_FILE) +
                                         "' -o PageSize=custom.4.25x6in -", path("broken.ppm"))
                                   : run(small + " '" + path("broken.ppm") + "'");
            EXPECT_EQ(r.status, 3) << r.err;
            EXPECT_TRUE(contains(r.err, "ovcg-print: page 1: 40x30 image printed as")) << r.err;
            EXPECT_TRUE(contains(r.err, c.message)) << r.err;
            const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(r.out);
            EXPECT_TRUE(check.ok) << check.error;
            ASSERT_GE(r.out.size(), page_end + end.size());
            EXPECT_TRUE(std::equal(end.rbegin(), end.rend(), r.out.rbegin()));
            EXPECT_TRUE(std::equal(alone.out.begin(), alone.out.begin() + static_cast<long>(page_end), r.out.begin()));
            if (pipe && c.abandoned_through_pipe) {
                EXPECT_TRUE(contains(r.err, "page 2 abandoned; 1 page(s) before it printed, the job ended")) << r.err;
                EXPECT_EQ(check.count("FF"), 2u);  // page 2 was begun, and ended without its dots
            } else {
                EXPECT_TRUE(contains(r.err, "1 page(s) printed, the job ended before image 2")) << r.err;
                EXPECT_EQ(r.out, alone.out);
            }
        }
    }
}

// A first image whose rows run out through a pipe before the page's first
// band is in: the job begun is written with its page abandoned, as for a
// later page, and ends.
TEST_F(PrintTool, AFirstImageCutShortBeforeItsFirstBandEndsTheJobBegun) {
    const Bytes one = ppm(40, 30, 7);
    write("cut.ppm", Bytes(one.begin(), one.end() - 40 * 3 * 29));  // one row left
    const ToolRun r = run(model_arg() + " -o PageSize=custom.4.25x6in -O '" + path("out.prn") + "' -", path("cut.ppm"));
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(contains(r.err, "page 1 abandoned; 0 page(s) before it printed, the job ended")) << r.err;
    const Bytes out = read(path("out.prn")), start = ovcg_test::expected_job_start(1),
                end = ovcg_test::expected_job_end();
    ASSERT_GE(out.size(), start.size() + end.size());
    EXPECT_TRUE(std::equal(start.begin(), start.end(), out.begin()));
    EXPECT_TRUE(std::equal(end.rbegin(), end.rend(), out.rbegin()));
    const ovcg_test::StreamCheck check = ovcg_test::ValidateStream(out);
    EXPECT_TRUE(check.ok) << check.error;
    EXPECT_EQ(check.count("FF"), 1u);
}

// ---- Output that cannot be written --------------------------------------------------------

// Past a file-size limit (within a page, or only at the last bytes), on a
// full device, into a pipe whose reader has gone, or to a closed standard
// output, a write fails: the tool stops at once, says so and exits 4, and
// empties and removes a partial regular file (for a symbolic link, its
// target; a hard link to it is left empty; a device or pipe stays), or says
// that nothing was written. Those are its last messages. An output renamed
// while the tool waits for rows, a new file put at its name, is emptied at
// a failed last write and the new file left. A close that reports a write
// the file system lost fails the job alike, also with no descriptor to
// spare for a duplicate; an emptying that fails leaves a renamed output as
// it is, and says so. A library failure inside the job (exit 1) drops the
// file alike, nothing written after.
TEST_F(PrintTool, OutputThatCannotBeWrittenIsReportedAndRemoved) {
    const std::string small = model_arg() + " -o PageSize=custom.4.25x6in ", out = path("out.prn");
    const Bytes page = ppm(400, 30);  // more printer stream than a pipe holds
    Bytes tall = ppm(40, 2000);  // its rows run out half way down the page
    tall.resize(tall.size() / 2);
    write("page.ppm", page);
    write("two.ppm", page + Bytes{'G', 'I', 'F'});
    write("tall.ppm", tall);
    const ToolRun whole = run(small + "'" + path("page.ppm") + "'");
    ASSERT_EQ(whole.status, 0) << whole.err;
    size_t ff = 0;  // the page's form feed, which its end writes
    for (const ovcg_test::StreamItem& item : ovcg_test::ValidateStream(whole.out).items)
        if (item.name == "FF") ff = item.offset;
    const std::string to_out = "-O '" + out + "' ", printed = "page 1: 400x30 image printed as 1205x1730 RGB\n",
                      too_large = "writing " + out + " failed: File too large; the partial output was removed\n",
                      stdout_failed = "writing standard output failed: ", kept = path("kept.prn"),
                      link = path("link.prn"), moved = path("moved.prn"), in = path("in.fifo");
    // The first rows, then, once the output has opened, the output renamed
    // and a new file at its name, then the other rows.
    const std::string rename_midway =
        "mkfifo '" + in + "'; { head -c 10000 '" + path("page.ppm") + "'; i=0; while [ ! -s '" + out +
        "' ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done; mv '" + out + "' '" + moved + "'; printf nnn > '" +
        out + "'; tail -c +10001 '" + path("page.ppm") + "'; } > '" + in + "' & ";
    // Faults of the calls on out.prn, the file the tool opens.
    const auto faults = [&](const std::string& which) {
        return "LD_PRELOAD='" OVCG_TOOL_FAULTS "' OVCG_TEST_OUTPUT='" + out + "' OVCG_TEST_OUTPUT_FAULTS=" + which + " ";
    };
    const std::string linked = ": > '" + out + "'; ln '" + out + "' '" + kept + "'; ";
    struct Case {
        std::string args, stdin_file, before, out;
        rlim_t limit;
        std::string messages;
        int status = 4;
        bool emptied = true;  // the file the tool opened
    };
    std::vector<Case> cases = {
        {small + to_out + "'" + path("page.ppm") + "'", "/dev/null", "", "", 20480, too_large},
        {small + to_out + "'" + path("page.ppm") + "'", "/dev/null", "", "", whole.out.size() - 1, printed + too_large},
        {small + to_out + "'" + path("page.ppm") + "'", "/dev/null", "", "", ff, too_large},  // at the page's end
        {small + to_out + "'" + path("two.ppm") + "'", "/dev/null", "", "", whole.out.size() - 1,
         printed + path("two.ppm") + ": image 2: not a binary PPM (P6) or PGM (P5) image\n" + too_large},
        {small + to_out, in, ": > '" + out + "'; ln '" + out + "' '" + kept + "'; " + rename_midway, "",
         whole.out.size() - 1,
         printed + "writing " + out + " failed: File too large; the partial output was emptied, not removed\n"},
        {small + "-O '" + link + "' '" + path("page.ppm") + "'", "/dev/null",
         ": > '" + out + "'; ln '" + out + "' '" + kept + "'; ln -s out.prn '" + link + "'; ", "", 20480,
         "writing " + link + " failed: File too large; the partial output was removed\n"},
        {small + to_out + "'" + path("page.ppm") + "'", "/dev/null",
         ": > '" + out + "'; ln '" + out + "' '" + kept + "'; LD_PRELOAD='" OVCG_RASTER_OUT_FAILS
         "' OVCG_TEST_RASTER_OUT_FAILS=20 ",
         "", 0, "ovcgRasterOut failed with code -1000 (print engine failure); the partial output was removed\n", 1},
        // A close that says the file system could not store the job (once
        // it has closed), also where no duplicate could tell it first, and
        // on an output renamed meanwhile; an emptying that fails.
        {small + to_out + "'" + path("page.ppm") + "'", "/dev/null", linked + faults("close-eio"), "", 0,
         printed + "writing " + out + " failed: Input/output error; the partial output was removed\n"},
        {small + to_out + "'" + path("page.ppm") + "'", "/dev/null", linked + faults("close-eio,dup-emfile"), "", 0,
         printed + "writing " + out + " failed: Input/output error; the partial output was removed\n"},
        {small + to_out, in, linked + rename_midway + faults("close-eio"), "", 0,
         printed + "writing " + out + " failed: Input/output error; the partial output was emptied, not removed\n"},
        {small + to_out, in, linked + rename_midway + faults("ftruncate-eio"), "", whole.out.size() - 1,
         printed + "writing " + out + " failed: File too large; the partial output, no longer at " + out +
             ", was left as it is\n",
         4, false},
        {small + "-O /dev/full -", path("tall.ppm"), "", "", 0,
         "writing /dev/full failed: No space left on device; nothing was written\n"},
        {small + "'" + path("page.ppm") + "'", "/dev/null", "", ">&-", 0,
         stdout_failed + "Bad file descriptor; nothing was written\n"},
        {small + "'" + path("page.ppm") + "'", "/dev/null",
         "mkfifo '" + path("fifo") + "'; head -c 100 '" + path("fifo") + "' >/dev/null & ", "> '" + path("fifo") + "'",
         0, stdout_failed + "Broken pipe; standard output holds a cut-off job\n"},
        {"--help", "/dev/null", "", ">/dev/full", 0, stdout_failed + "No space left on device\n"},
        {"--help", "/dev/null", "", ">&-", 0, stdout_failed + "Bad file descriptor\n"},
        {small + "--page-info", "/dev/null", "", ">/dev/full", 0, stdout_failed + "No space left on device\n"},
    };
    // The tool's own memory failing it (its page line; a sanitizer's
    // operator new is not the one preloaded): nothing written, no crash.
    if (!ovcg_test::kSanitized)
        cases.push_back({small + to_out + "'" + path("page.ppm") + "'", "/dev/null",
                         "LD_PRELOAD='" OVCG_TOOL_FAULTS "' OVCG_TEST_NEW_FAILS=" + std::to_string(1205 * 3) + " ", "",
                         0, "out of memory; nothing was written\n", 1});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + " " + c.out);
        rlimit unlimited{}, limited{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        limited = unlimited;
        if (c.limit) limited.rlim_cur = c.limit;
        setrlimit(RLIMIT_FSIZE, &limited);
        const ToolRun r = run(c.args, c.stdin_file, c.before, c.out);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(r.status, c.status) << r.err;
        std::string messages;  // the tool's own lines after the one naming the colour model
        for (size_t at = r.err.find("ovcg-print: "); at != std::string::npos; at = r.err.find("ovcg-print: ", at + 1))
            if (r.err.compare(at, 26, "ovcg-print: printing with ") != 0)
                messages += r.err.substr(at + 12, r.err.find('\n', at) + 1 - (at + 12));
        EXPECT_EQ(messages, c.messages) << r.err;
        // The file was removed (for a link, its target), and its hard link
        // emptied; a new file at its name is left as it is.
        const bool renamed = contains(c.before, moved);
        EXPECT_EQ(read(out), Bytes(renamed ? 3 : 0, 'n'));
        EXPECT_EQ(std::ifstream(out).good(), renamed);
        EXPECT_EQ(std::ifstream(kept).good() && read(kept).empty(), contains(c.before, kept) && c.emptied);
        EXPECT_EQ(std::ifstream(moved).good() && read(moved).empty(), renamed && c.emptied);
        if (!c.emptied) {  // left as it is: the job cut off
            EXPECT_GT(read(moved).size(), ff);
            EXPECT_EQ(read(kept), read(moved));
        }
        for (const std::string& name : {out, kept, moved, link, in}) std::remove(name.c_str());
    }
    struct stat full {};
    EXPECT_EQ(stat("/dev/full", &full), 0);
    EXPECT_TRUE(S_ISCHR(full.st_mode));  // written to, never replaced
}

// The exit statuses are one list: --help gives the README's.
TEST_F(PrintTool, HelpAndReadmeGiveTheSameExitStatuses) {
    auto squeeze = [](const std::string& t) {
        std::string o;
        for (char ch : t) {
            if (ch == '\n' || ch == ' ') {
                if (!o.empty() && o.back() != ' ') o += ' ';
            } else {
                o += ch;
            }
        }
        return o;
    };
    const ToolRun help = run("--help");
    const std::string text = squeeze(std::string(help.out.begin(), help.out.end()));
    const size_t from = text.find("Exit status: "), to = text.find(" Options and choices:");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    const std::string list = text.substr(from, to - from);
    std::string source = __FILE__;
    source = source.substr(0, source.rfind("/tests/"));
    const Bytes readme = read(source + "/README.md");
    ASSERT_FALSE(readme.empty());
    EXPECT_TRUE(contains(squeeze(std::string(readme.begin(), readme.end())), list)) << list;
}

}  // namespace
