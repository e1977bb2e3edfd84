// ovcg-print: prints netpbm page images through libovcg, the way a print
// filter drives it, and writes the printer stream to a file or to standard
// output.
//
//   ovcg-print [-m MODEL] [-o NAME=CHOICE]... [-O OUTPUT] [IMAGE|-]
//
// Exit status: 0 printed; 1 the library failed; 2 bad command line, option
// or choice, or choices the model cannot print (found by a job whose bytes go
// nowhere, before anything is written); 3 missing or malformed image; 4 the
// output or model file cannot be opened.
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ovcg/hxr.h"
#include "ovcg/ovcg.h"
#include "tools/netpbm.h"

#ifndef OVCG_DEFAULT_MODEL_PATH
#define OVCG_DEFAULT_MODEL_PATH "ovcg_model.res"
#endif

namespace {

constexpr int kExitLibrary = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInput = 3;
constexpr int kExitFile = 4;

FILE* g_out = nullptr;

void* tool_allocate(size_t size) { return std::malloc(size); }
void tool_release(void* p) { std::free(p); }
void tool_unused() {}

int32_t tool_output(const uint8_t* data, int32_t length) {
    if (length <= 0) return 0;
    size_t n = std::fwrite(data, 1, static_cast<size_t>(length), g_out);
    if (n == 0 && std::ferror(g_out)) return -1;
    return static_cast<int32_t>(n);
}

const char* code_text(int32_t code) {
    switch (code) {
        case OVCG_ERR_ENGINE: return "print engine or output failure";
        case OVCG_ERR_NO_MEMORY: return "out of memory";
        case OVCG_ERR_ARGUMENT: return "bad argument or option";
        case OVCG_ERR_CALLBACKS: return "incomplete callback record";
        default: return "failure";
    }
}

int library_failure(const char* call, int32_t code) {
    std::fprintf(stderr, "ovcg-print: %s failed with code %d (%s)\n", call, code, code_text(code));
    return kExitLibrary;
}

// A name list of the library: list(count, null) asks for the count,
// list(count, names) fills the names.
template <class List>
std::vector<const char*> names_from(List list) {
    uint32_t n = 0;
    if (list(&n, nullptr) != OVCG_OK) return {};
    std::vector<const char*> names(n);
    if (n == 0 || list(&n, names.data()) != OVCG_OK) return {};
    names.resize(n);
    return names;
}

std::vector<const char*> option_names() { return names_from(ovcgGetOptionList); }

std::vector<const char*> choice_names(const char* option) {
    return names_from([option](uint32_t* count, const char** names) {
        return ovcgGetChoiceList(option, count, names);
    });
}

void print_help() {
    std::printf(
        "usage: ovcg-print [-m MODEL] [-o NAME=CHOICE]... [-O OUTPUT] [IMAGE|-]\n"
        "\n"
        "Prints the pages of IMAGE (binary PPM for colour, PGM for gray; several\n"
        "images in one file are several pages; - or nothing: standard input)\n"
        "and writes the printer stream to OUTPUT (default: standard output).\n"
        "Each page is fed at the size the library reports for the options,\n"
        "cropped or padded with white.\n"
        "\n"
        "  -m MODEL        model resource file (default: %s)\n"
        "  -o NAME=CHOICE  print option (repeatable; names and choices ignore case)\n"
        "  -O OUTPUT       output file (- for standard output)\n"
        "  --help          this text\n"
        "\n"
        "Unset MediaType and PageSize take the first choice listed. PageSize also\n"
        "takes custom.WxH followed by in, cm, mm or nothing (points).\n"
        "\n"
        "Exit status: 0 printed, 1 library failure, 2 bad option or one the model\n"
        "cannot print (nothing is written then), 3 bad image, 4 a file cannot be\n"
        "opened.\n"
        "\n"
        "Options and choices:\n",
        OVCG_DEFAULT_MODEL_PATH);
    for (const char* option : option_names()) {
        std::printf("  %s:", option);
        int col = 4 + static_cast<int>(std::strlen(option));
        for (const char* choice : choice_names(option)) {
            int len = static_cast<int>(std::strlen(choice)) + 1;
            if (col + len > 78) {
                std::printf("\n     ");
                col = 5;
            }
            std::printf(" %s", choice);
            col += len;
        }
        std::printf("\n");
    }
}

bool read_all(FILE* f, std::vector<uint8_t>& bytes) {
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    return !std::ferror(f);
}

struct Settings {
    std::string model = OVCG_DEFAULT_MODEL_PATH;
    std::string input = "-";
    std::string output = "-";
    std::vector<std::pair<std::string, std::string>> options;
    bool help = false;
};

// Parses the command line; 0 or an exit status.
int parse_args(int argc, char** argv, Settings& s) {
    bool have_input = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* flag) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "ovcg-print: %s needs a value\n", flag);
                return nullptr;
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            s.help = true;
        } else if (a == "-m") {
            const char* v = value("-m");
            if (!v) return kExitUsage;
            s.model = v;
        } else if (a == "-O") {
            const char* v = value("-O");
            if (!v) return kExitUsage;
            s.output = v;
        } else if (a == "-o") {
            const char* v = value("-o");
            if (!v) return kExitUsage;
            std::string o = v;
            size_t eq = o.find('=');
            if (eq == std::string::npos || eq == 0) {
                std::fprintf(stderr, "ovcg-print: option '%s' is not of the form NAME=CHOICE\n", v);
                return kExitUsage;
            }
            s.options.emplace_back(o.substr(0, eq), o.substr(eq + 1));
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "ovcg-print: unknown argument '%s' (see --help)\n", a.c_str());
            return kExitUsage;
        } else {
            if (have_input) {
                std::fprintf(stderr, "ovcg-print: more than one input given\n");
                return kExitUsage;
            }
            s.input = a;
            have_input = true;
        }
    }
    return 0;
}

using Options = std::vector<std::pair<std::string, std::string>>;

bool gray_model(const Options& options) {
    bool gray = false;
    for (const auto& [name, choice] : options)
        if (name == "ColorModel")
            gray = strcasecmp(choice.c_str(), "Gray") == 0 || strcasecmp(choice.c_str(), "Black2") == 0;
    return gray;
}

// Sets the options in the library. 0 or an exit status.
int set_options(const Options& options) {
    for (const auto& [name, choice] : options) {
        int32_t r = ovcgSetPrintOption(name.c_str(), choice.c_str());
        if (r != OVCG_OK) return library_failure("ovcgSetPrintOption", r);
    }
    return 0;
}

// Checks the options against the library's lists and sets them, with the
// defaults for MediaType and PageSize. 0 or an exit status.
int apply_options(const Settings& s, Options& todo, bool& gray) {
    const std::vector<const char*> names = option_names();
    todo.clear();
    for (const auto& [name, choice] : s.options) {
        const char* option = nullptr;
        for (const char* n : names)
            if (strcasecmp(n, name.c_str()) == 0) option = n;
        if (!option) {
            std::fprintf(stderr, "ovcg-print: unknown option '%s' (see --help)\n", name.c_str());
            return kExitUsage;
        }
        bool known = false;
        for (const char* c : choice_names(option))
            if (strcasecmp(c, choice.c_str()) == 0) known = true;
        if (!known && strcasecmp(option, "PageSize") == 0 &&
            strncasecmp(choice.c_str(), "custom.", 7) == 0)
            known = true;  // checked by the library when the job starts
        if (!known) {
            std::fprintf(stderr, "ovcg-print: unknown choice '%s' for option %s (see --help)\n",
                         choice.c_str(), option);
            return kExitUsage;
        }
        todo.emplace_back(option, choice);
    }
    for (const char* required : {"MediaType", "PageSize"}) {
        bool given = false;
        for (const auto& [n, c] : todo) given = given || n == required;
        if (!given) {
            std::vector<const char*> choices = choice_names(required);
            if (!choices.empty()) todo.insert(todo.begin(), {required, choices[0]});
        }
    }
    gray = gray_model(todo);
    return set_options(todo);
}

int32_t discard_output(const uint8_t*, int32_t length) { return length; }

std::string failed(const char* call, int32_t code) {
    return std::string(call) + " failed with code " + std::to_string(code) + " (" + code_text(code) + ")";
}

// A job whose bytes go nowhere: the job start, a page start, one band of
// white and the job end. "" when all of it succeeds, else what failed.
std::string probe_job(bool gray) {
    int32_t r = ovcgStartJob(discard_output, "0");
    if (r != OVCG_OK) return failed("ovcgStartJob", r);
    std::string why;
    uint32_t width = 0;
    if ((r = ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width)) != OVCG_OK) {
        why = failed("ovcgGetPageAttribute", r);
    } else if ((r = ovcgStartPage()) != OVCG_OK) {
        why = failed("ovcgStartPage", r);
    } else {
        const std::vector<uint8_t> white(size_t{width} * (gray ? 1 : 3), 255);
        for (int line = 0; line < 3 && why.empty(); ++line)
            if ((r = ovcgRasterOut(white.data(), static_cast<int32_t>(white.size()), 0)) != OVCG_OK)
                why = failed("ovcgRasterOut", r);
        if ((r = ovcgEndPage(1)) != OVCG_OK && why.empty()) why = failed("ovcgEndPage", r);
    }
    if ((r = ovcgEndJob()) != OVCG_OK && why.empty()) why = failed("ovcgEndJob", r);
    return why;
}

// The choice a job takes for an option it is not given.
std::string default_choice(const std::string& option) {
    if (option == "BlackDensity" || option == "ColorDensity") return "100";
    std::vector<const char*> choices = choice_names(option.c_str());
    return choices.empty() ? std::string() : std::string(choices[0]);
}

// Whether the model serves the options: a job that fails before any byte is
// written names the option whose default would let it print (or the whole
// combination) and what failed. 0 or an exit status.
int check_model(const Options& options) {
    const std::string why = probe_job(gray_model(options));
    if (why.empty()) return 0;
    const unsigned engine = HXR_GetErrorInfo(nullptr);
    std::string culprit;
    for (size_t i = 0; i < options.size() && culprit.empty(); ++i) {
        Options other = options;
        other[i].second = default_choice(options[i].first);
        if (other[i].second.empty() || strcasecmp(other[i].second.c_str(), options[i].second.c_str()) == 0) continue;
        if (set_options(other) == 0 && probe_job(gray_model(other)).empty())
            culprit = options[i].first + "=" + options[i].second;
    }
    set_options(options);
    std::string all;
    for (const auto& [name, choice] : options) all += " " + name + "=" + choice;
    if (culprit.empty())
        std::fprintf(stderr, "ovcg-print: cannot print these options together:%s\n", all.c_str());
    else
        std::fprintf(stderr, "ovcg-print: cannot print %s with these options:%s\n", culprit.c_str(),
                     all.c_str());
    std::fprintf(stderr, "ovcg-print: %s", why.c_str());
    if (engine) std::fprintf(stderr, "; halftone engine code %u", engine);
    std::fprintf(stderr, "; nothing was printed\n");
    return kExitUsage;
}

int run(const Settings& s) {
    bool gray = false;
    Options options;
    int status = apply_options(s, options, gray);
    if (status) return status;

    FILE* model = std::fopen(s.model.c_str(), "rb");
    if (!model) {
        std::fprintf(stderr, "ovcg-print: cannot open model file %s: %s\n", s.model.c_str(),
                     std::strerror(errno));
        return kExitFile;
    }
    std::fclose(model);
    int32_t r = ovcgSetResource(OVCG_RESOURCE_FILE, s.model.c_str());
    if (r != OVCG_OK) return library_failure("ovcgSetResource", r);

    // The whole input is read and checked before anything is printed.
    std::vector<uint8_t> bytes;
    FILE* in = s.input == "-" ? stdin : std::fopen(s.input.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "ovcg-print: cannot open image %s: %s\n", s.input.c_str(),
                     std::strerror(errno));
        return kExitInput;
    }
    bool ok = read_all(in, bytes);
    if (in != stdin) std::fclose(in);
    const char* input_name = s.input == "-" ? "standard input" : s.input.c_str();
    if (!ok) {
        std::fprintf(stderr, "ovcg-print: cannot read %s\n", input_name);
        return kExitInput;
    }
    std::vector<ovcg_tool::Image> images;
    std::string error;
    if (!ovcg_tool::parse_netpbm(bytes, images, error)) {
        std::fprintf(stderr, "ovcg-print: %s: %s\n", input_name, error.c_str());
        return kExitInput;
    }
    bytes = {};

    // Nothing is written before the model is known to serve the options.
    if ((status = check_model(options)) != 0) return status;

    g_out = s.output == "-" ? stdout : std::fopen(s.output.c_str(), "wb");
    if (!g_out) {
        std::fprintf(stderr, "ovcg-print: cannot open output %s: %s\n", s.output.c_str(),
                     std::strerror(errno));
        return kExitFile;
    }
    auto close_output = [&]() {
        bool fine = std::fflush(g_out) == 0 && !std::ferror(g_out);
        if (g_out != stdout) fine = std::fclose(g_out) == 0 && fine;
        g_out = nullptr;
        return fine;
    };

    r = ovcgStartJob(tool_output, "1");
    if (r != OVCG_OK) {
        close_output();
        return library_failure("ovcgStartJob", r);
    }
    // A failure inside the job: the job is ended, the output closed.
    auto job_failure = [&](const char* call) {
        ovcgEndJob();
        close_output();
        return library_failure(call, r);
    };
    uint32_t width = 0, height = 0;
    if ((r = ovcgGetPageAttribute(OVCG_PAGE_WIDTH, &width)) != OVCG_OK ||
        (r = ovcgGetPageAttribute(OVCG_PAGE_HEIGHT, &height)) != OVCG_OK)
        return job_failure("ovcgGetPageAttribute");
    const uint32_t channels = gray ? 1 : 3;
    std::vector<uint8_t> line(size_t{width} * channels);
    for (size_t p = 0; p < images.size(); ++p) {
        const ovcg_tool::Image& img = images[p];
        if ((r = ovcgStartPage()) != OVCG_OK) return job_failure("ovcgStartPage");
        for (uint32_t y = 0; y < height; ++y) {
            ovcg_tool::page_line(img, y, width, channels, line.data());
            if ((r = ovcgRasterOut(line.data(), static_cast<int32_t>(line.size()), 0)) != OVCG_OK) {
                ovcgEndPage(1);
                return job_failure("ovcgRasterOut");
            }
        }
        if ((r = ovcgEndPage(0)) != OVCG_OK) return job_failure("ovcgEndPage");
        std::fprintf(stderr, "ovcg-print: page %zu: %ux%u image printed as %ux%u %s\n", p + 1,
                     img.width, img.height, width, height, gray ? "gray" : "RGB");
    }
    r = ovcgEndJob();
    bool written = close_output();
    if (r != OVCG_OK) return library_failure("ovcgEndJob", r);
    if (!written) {
        std::fprintf(stderr, "ovcg-print: writing %s failed\n", s.output.c_str());
        return kExitFile;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    int status = parse_args(argc, argv, s);
    if (status) return status;

    ovcg_callbacks cb{};
    cb.allocate = tool_allocate;
    cb.release = tool_release;
    for (void*& slot : cb.reserved) slot = reinterpret_cast<void*>(&tool_unused);
    int32_t r = ovcgInitialize("", &cb);
    if (r != OVCG_OK) return library_failure("ovcgInitialize", r);
    if (s.help) {
        print_help();
        status = 0;
    } else {
        status = run(s);
    }
    ovcgRelease();
    return status;
}
