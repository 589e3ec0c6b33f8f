// End to end: the built module loaded as a host loads it, and xpmimport run as a user runs
// it. Every picture made is painted back into pixels and compared with libXpm's reading of
// its input (xpm_corpus.h says where the two disagree on purpose).
#include <png.h>
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <thread>

#include "test_environment.h"
#include "xpm_corpus.h"
#include "xpmimport/file_info_query.h"
#include "xpmimport/filter_module.h"
#include "xpmimport/metafile_render.h"
#include "xpmimport/picture_import.h"

namespace xpmimport_test {
namespace {

// The pixels of a picture file: PNG through libpng, metafiles through the renderer.
[[nodiscard]] xpmimport::RenderOutcome Paint(const std::string& bytes, const std::string& kind) {
    if (kind != "png") {
        std::vector<uint8_t> metafile(bytes.begin(), bytes.end());
        return kind == "emf" ? xpmimport::RenderEnhancedMetafile(metafile) : xpmimport::RenderWindowsMetafile(metafile);
    }
    xpmimport::RenderOutcome got;
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    got.ok = png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()) != 0;
    png.format = PNG_FORMAT_RGB;
    got.image.width = static_cast<int32_t>(png.width), got.image.height = static_cast<int32_t>(png.height);
    got.image.pixels.resize(got.ok ? PNG_IMAGE_SIZE(png) : 0);
    got.ok = got.ok && png_image_finish_read(&png, nullptr, got.image.pixels.data(), 0, nullptr) != 0;
    got.error = png.message;
    png_image_free(&png);
    return got;
}

// "" when the picture shows what the XPM file should give; else what differs.
[[nodiscard]] std::string CheckPicture(const std::string& bytes, const std::string& kind, const std::string& xpm) {
    std::string error;
    const xpmimport::RgbImage want = ExpectedPicture(xpm, &error);
    const xpmimport::RenderOutcome got = Paint(bytes, kind);
    return !error.empty() ? error : got.ok ? Difference(got.image, want) : kind + ": " + got.error;
}

// Sizes that need several bands (a band holds 32768 pixels at most), rows padded to four
// bytes, 1 to 4 characters per pixel, 2 to 1000 colours, hex and named, plain and dressed.
const XpmRecipe kCorpus[] = {
    {"1x1, hex", 1, 1, 1, 2, Style::kHex, 1},
    {"17x9, named, odd width", 17, 9, 1, 40, Style::kNamed, 3},
    {"101x7, mixed, dressed", 101, 7, 1, 90, Style::kMixed, 4, true},
    {"5x3, 4 cpp, named, dressed", 5, 3, 4, 12, Style::kNamed, 5, true},
    {"33x21, 2 cpp, 200 named", 33, 21, 2, 200, Style::kNamed, 6},
    {"200x400, 3 cpp, several bands", 200, 400, 3, 64, Style::kHex, 7},
    {"327x101, 2 cpp, two bands, dressed", 327, 101, 2, 150, Style::kMixed, 8, true},
    {"32768x3, one row per band", 32768, 3, 1, 4, Style::kHex, 9},
    {"31x250, 256 colours", 31, 250, 2, 256, Style::kHex, 10},
    {"40x30, 1000 colours", 40, 30, 2, 1000, Style::kHex, 11},
    {"3x1000, 4 cpp, named, tall", 3, 1000, 4, 7, Style::kNamed, 12},
};

// "" when the module imports the file as libXpm reads it, as EMF and as WMF, with its size,
// 96 units per inch and progress rising to 100 row by row; else what differs.
[[nodiscard]] std::string ImportLikeLibXpm(const xpmimport::FilterExports& filter, const std::string& path) {
    std::string error;
    const xpmimport::RgbImage want = ExpectedPicture(path, &error);
    const xpmimport::InfoOutcome info = xpmimport::QueryFileInfo(filter, path);
    if (!error.empty() || !info.ok || info.width != want.width || info.height != want.height) return error + "size query " + info.cause;
    for (bool wmf : {false, want.width <= 32767}) {  // a Windows Metafile holds 16-bit coordinates
        std::vector<int> progress;
        xpmimport::ImportedPicture got = ImportPicture(filter, path, wmf, [&](int percent) { progress.push_back(percent); });
        const int32_t* b = got.bounds;
        if (got.code != 0 || !got.metafile || got.metafile->enhanced() == wmf) return "result " + std::to_string(got.code);
        if (b[0] != 0 || b[1] != 0 || b[2] != want.width || b[3] != want.height || got.unitsPerInch != 96) return "bounds or units";
        if (progress.size() < size_t(want.height) || !std::is_sorted(progress.begin(), progress.end()) || progress.back() != 100) {
            return "progress does not rise row by row to 100";
        }
        const std::vector<uint8_t> bytes = got.metafile->bytes();
        const xpmimport::RenderOutcome painted = Paint(std::string(bytes.begin(), bytes.end()), wmf ? "wmf" : "emf");
        if (std::string difference = painted.ok ? Difference(painted.image, want) : painted.error; !difference.empty()) {
            return (wmf ? "WMF: " : "EMF: ") + difference;
        }
    }
    return "";
}

TEST(ModuleTest, ImportsTheCorpusAsLibXpmReadsIt) {
    ASSERT_FALSE(X11Colors().empty()) << "/usr/share/X11/rgb.txt is needed (Debian x11-common)";
    std::string error;
    const auto module = xpmimport::FilterModule::Load(ModulePath(), &error);
    ASSERT_TRUE(module) << error;
    TempDir dir;
    std::vector<std::string> failures(std::size(kCorpus));
    // Two threads at once: the module keeps no state between calls.
    auto share = [&](size_t first) {
        for (size_t i = first; i < failures.size(); i += 2) {
            failures[i] = ImportLikeLibXpm(module->exports(), WriteFile(dir.file(std::to_string(i) + ".xpm"), MakeXpm(kCorpus[i])));
        }
    };
    std::thread other(share, 1);
    share(0);
    other.join();
    for (size_t i = 0; i < failures.size(); ++i) EXPECT_EQ(failures[i], "") << kCorpus[i].label;
}

class CliTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(X11Colors().empty()) << "/usr/share/X11/rgb.txt is needed (Debian x11-common)"; }
    TempDir dir_;
    const std::string x_ = XpmimportPath();
    // Three bands of 80 rows.
    const std::string good_ = WriteFile(dir_.file("good.xpm"), MakeXpm({"good", 300, 240, 2, 60, Style::kMixed, 41}));
};

// What users rely on: the formats, standard input and output, listings, finding the module,
// and a wrong command line refused with nothing done. Empty text: nothing printed there.
TEST_F(CliTest, CommandsGiveTheirStatusMessagesAndPictures) {
    const std::string notes = WriteFile(dir_.file("notes.txt"), "shopping list\n"), missing = dir_.file("missing.xpm");
    const std::string notXpm = "not an XPM file (it must begin with \\\"/* XPM */\\\")", out = dir_.file("out");
    // A name that --json must escape: a quote, a backslash, a tab, a control byte, UTF-8, a stray byte.
    const std::string odd = WriteFile(dir_.file("odd\"\\\t\x01\xc3\xa9\xff.xpm"), MakeXpm({"odd", 2, 1, 2, 300, Style::kHex, 3}));
    const std::string oddInJson = dir_.file(R"(odd\"\\\t\u0001)" "\xc3\xa9" R"(\u00ff.xpm)");
    const std::string wrapped = "300 colours: the palette keeps 256, colour k is drawn as colour k mod 256";
    // Copies of the executable: one with no module near it, one beside a lib/ that holds one.
    for (const char* sub : {"alone", "tree/bin", "tree/lib"}) std::filesystem::create_directories(dir_.file(sub));
    std::filesystem::copy_file(x_, dir_.file("alone/xpmimport")), std::filesystem::copy_file(x_, dir_.file("tree/bin/xpmimport"));
    std::filesystem::create_symlink(ModulePath(), dir_.file("tree/lib/libxpmfilter.so"));
    std::filesystem::create_symlink(x_, dir_.file("link"));
    const std::string env = "/usr/bin/env", sizeLine = good_ + ": 300 x 240\n";
    WriteFile(out + ".emf", "an older picture");
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        int status;
        std::string out, err;  // found in standard output and error
        std::vector<std::pair<std::string, std::string>> pictures = {};  // file ("-": standard output), kind
        std::string stdinPath = "/dev/null";
    } cases[] = {
        {"EMF over an older file", {x_, good_, "-o", out + ".emf"}, 0, good_ + ": 300 x 240 -> " + out + ".emf\n", "", {{out + ".emf", "emf"}}},
        {"WMF, quietly", {x_, "-q", good_, "-o", out + ".wmf"}, 0, "", "", {{out + ".wmf", "wmf"}}},
        {"PNG by --format", {x_, good_, "-o", out + ".bin", "--format", "png"}, 0, "-> " + out + ".bin\n", "", {{out + ".bin", "png"}}},
        {"standard input to PNG", {x_, "-", "-o", out + ".png"}, 0, "standard input: 300 x 240 -> " + out + ".png\n", "", {{out + ".png", "png"}}, good_},
        {"a pipe to standard output", {"/bin/sh", "-c", "cat \"$1\" | exec \"$0\" - -o - --format wmf", x_, good_}, 0, "", "", {{"-", "wmf"}}},
        {"standard output, -v says so", {x_, "-v", good_, "-o", "-"}, 0, "", good_ + ": 300 x 240 -> standard output\n", {{"-", "emf"}}},
        {"-d makes the directory; two jobs", {x_, "-j", "2", "-d", dir_.file("new/dir"), "--json", "--format", "png", good_, notes, "-"}, 1,
         "{\"input\":\"" + notes + "\",\"output\":\"" + dir_.file("new/dir/notes.png") + "\",\"error\":\"" + notXpm + "\",\"code\":-23}\n",
         "xpmimport: " + notes + ": not an XPM file", {{dir_.file("new/dir/good.png"), "png"}, {dir_.file("new/dir/stdin.png"), "png"}}, good_},
        {"--info lists sizes and failures", {x_, "--info", good_, missing, "-"}, 1, sizeLine + "standard input: 300 x 240\n",
         "xpmimport: " + missing + ": cannot open the input: No such file or directory\n", {}, good_},
        {"--info --json -v", {x_, "--info", "--json", "-v", odd, notes}, 1, "{\"input\":\"" + oddInJson +
         "\",\"width\":2,\"height\":1,\"colours\":300,\"warning\":\"" + wrapped + "\"}\n{\"input\":\"" + notes + "\",\"error\":\"" + notXpm + "\"}\n",
         "xpmimport: " + odd + ": warning: " + wrapped + "\n"},
        {"XPMFILTER_MODULE names the module", {env, "XPMFILTER_MODULE=" + ModulePath(), dir_.file("alone/xpmimport"), "--info", good_}, 0, sizeLine, ""},
        {"XPMFILTER_MODULE comes first", {env, "XPMFILTER_MODULE=" + notes, x_, "--info", good_}, 3, "",
         "xpmimport: cannot use the filter module " + notes + ": "},
        {"the module in ../lib", {dir_.file("tree/bin/xpmimport"), "--info", good_}, 0, sizeLine, ""},
        {"the module beside a symlink's target", {dir_.file("link"), "--info", good_}, 0, sizeLine, ""},
        {"no module found", {env, "XPMFILTER_MODULE=", dir_.file("alone/xpmimport"), good_, "-o", out + ".emf"}, 3, "",
         "xpmimport: --filter PATH or XPMFILTER_MODULE=PATH names the module to load\n"},
        {"--filter that is not the filter", {x_, "--filter", BuildDir() + "/lib/libwinshim.so", good_, "-o", out + ".emf"}, 3, "",
         "it has no export ImportGR: not an import filter\n"},
        {"--version names the filter", {x_, "--version"}, 0, "FilterDefinitions \"XPM Format,0,.XPM\"\n", ""},
        {"--help", {x_, "--help"}, 0, "Exit status:", ""},
        {"format and name disagree", {x_, good_, "-o", out + ".emf", "--format", "png"}, 2, "",
         "xpmimport: --format png does not match the name '" + out + ".emf'; name it .png or leave --format out\nTry 'xpmimport --help'.\n"},
        {"no input", {x_}, 2, "", "xpmimport: no input given\n"},
        {"no output", {x_, good_}, 2, "", "xpmimport: say where the picture goes: -o FILE (one input) or -d DIR\n"},
        {"unknown format", {x_, good_, "-o", out + ".gif"}, 2, "", "cannot tell the format from '" + out + ".gif'"},
        {"two inputs for -o", {x_, good_, notes, "-o", out + ".emf"}, 2, "", "-o takes one input; use -d DIR for several\n"},
        {"two inputs, one output", {x_, "-d", out, "a/x.xpm", "b/x.xpm"}, 2, "", "b/x.xpm and a/x.xpm would both be written to " + out + "/x.emf\n"},
        {"standard input twice", {x_, "-", "-", "-d", out}, 2, "", "standard input (-) can be read only once\n"},
        {"the input as its output", {x_, good_, "-o", good_, "--format", "emf"}, 2, "", good_ + " is the input " + good_ + " itself\n"},
        {"--json and -o -", {x_, good_, "-o", "-", "--json"}, 2, "", "--json prints on standard output, where -o - writes the picture\n"},
        {"unknown option", {x_, "--help", "--colour"}, 2, "", "unknown option --colour"},
        {"-q and -v", {x_, "-q", "-v", good_, "-o", out + ".emf"}, 2, "", "contradict"},
        {"-j out of range", {x_, "-j", "9999", good_, "-d", out}, 2, "", "-j wants"},
    };
    for (const Case& c : cases) {
        ProcessResult got = RunProgram(c.argv, c.stdinPath);
        const bool toStdout = !c.pictures.empty() && c.pictures[0].first == "-";
        EXPECT_EQ(got.status, c.status) << c.name << ": " << got.err;
        EXPECT_TRUE(toStdout || (c.out.empty() ? got.out.empty() : got.out.find(c.out) != std::string::npos))
            << c.name << ": standard output\n" << got.out << "wants\n" << c.out;
        EXPECT_TRUE(c.err.empty() ? got.err.empty() : got.err.find(c.err) != std::string::npos)
            << c.name << ": messages\n" << got.err << "want\n" << c.err;
        for (const auto& [file, kind] : c.pictures) {
            EXPECT_EQ(CheckPicture(file == "-" ? got.out : ReadFile(file), kind, good_), "") << c.name << ": " << file;
        }
    }
    EXPECT_EQ(dir_.names().size(), 11u) << "no temporary file may stay";
    EXPECT_EQ(dir_.names("new/dir"), (std::vector<std::string>{"good.png", "stdin.png"})) << "nor a file for a failed input";
}

// Bad and hostile inputs: the status, the failure in words with the import's result (-v
// adds it), no output file made and the older output kept.
TEST_F(CliTest, BadInputsFailInWordsAndLeaveNoFile) {
    auto withValues = [](const std::string& values, const std::string& colours = "\"a c #FF0000\",\n\"b c #00FF00\",\n") {
        return "/* XPM */\nstatic char *p[] = {\n\"" + values + "\",\n" + colours + "\"ab\"\n};\n";
    };
    const std::string two = withValues("2 1 2 1"), text = ReadFile(good_);
    const std::string notXpm = "not an XPM file (it must begin with \"/* XPM */\") (-23)\n";
    const std::string badData = "the image data cannot be decoded (a pixel matches no colour, or the rows end early) (-1)\n";
    const std::string badColour = "a colour cannot be read (an unknown colour name, or a value that is not a colour) (-23)\n";
    struct Case {
        const char* name;
        std::string input;  // written to in.xpm
        int status;
        std::string err;  // after "<input>: "
        std::vector<std::string> args = {};
        std::string output = "kept.emf";
        std::string path = "";  // the input when not in.xpm (then not given on standard input)
    } cases[] = {
        {"text", "shopping list\n", 1, notXpm},
        {"header words run together", "/*XPM*/\n" + two.substr(10), 1, notXpm},
        {"empty", "", 1, "the input is empty (-23)\n"},
        {"PNG", "\x89PNG\r\n\x1a\n", 1, "not an XPM file: it is a PNG picture (-23)\n"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + two, 1, "not an XPM file: it begins with a UTF-8 byte-order mark"},
        {"UTF-16", std::string("\xFF\xFE/\0*\0 \0X\0P\0M\0", 14), 1, "not an XPM file: it is UTF-16 text"},
        {"XPM2", "! XPM2\n2 1 2 1\na c #FF0000\nb c #00FF00\nab\n", 1, "not an XPM file: it is XPM2"},
        {"unknown colour name", withValues("2 1 2 1", "\"a c nosuchcolour\",\n\"b c #000000\",\n"), 1, badColour},
        {"DebianRed", withValues("2 1 2 1", "\"a c DebianRed\",\n\"b c #000000\",\n"), 1, badColour},
        {"no colour key in reach", withValues("2 1 2 1", "\"a c sky blue\",\n\"b c #000000\",\n"), 1, badData},
        {"one colour definition", withValues("2 1 1 1", "\"a c #FF0000\",\n"), 1,
         "a picture with one colour definition cannot be imported (-1)\n"},
        {"pixel code without a definition", withValues("2 1 2 1").replace(two.find("\"ab\""), 4, "\"ax\""), 1, badData},
        {"rows missing", withValues("2 3 2 1"), 1, badData},
        {"cut in the middle", text.substr(0, text.size() / 2), 1, badData},
        {"a NUL byte in a row", withValues("2 1 2 1").replace(two.find("\"ab\""), 4, std::string("\"a\0\"", 4)), 1, badData},
        {"width 0", withValues("0 1 2 1"), 1, "the values line gives no width (27)\n"},
        {"width 32769", withValues("32769 1 2 1"), 1, "the picture is 32769 pixels wide; at most 32768 can be imported (27)\n"},
        {"negative height", withValues("2 -1000 2 1"), 1, "the values line gives a negative height (27)\n"},
        {"40000 colours", withValues("2 1 40000 1"), 1,
         "32768 to 65535 colour definitions cannot be imported (this picture declares 40000) (27)\n"},
        {"41 characters per pixel", withValues("2 1 2 41"), 1, "the values line gives 41 characters per pixel; 0 to 39 can be read (-23)\n"},
        {"40 characters per pixel", withValues("2 1 2 40"), 1, "the values line gives 40 characters per pixel; 0 to 39 can be read (-23)\n"},
        {"negative characters per pixel", withValues("2 1 2 -3"), 1, "the values line gives -3 characters per pixel"},
        {"too tall for WMF", MakeXpm({"tall", 2, 32768, 1, 2, Style::kHex, 5}), 1,
         "the picture is too large for a Windows Metafile (at most 32767 pixels each way; EMF and PNG can hold it) (15)\n", {}, "kept.wmf"},
        {"a huge size declared", withValues("30000 30000 2 1"), 1, "the picture is 30000 x 30000 = 900000000 pixels, more than the limit of 268435456"},
        {"a huge size declared, no limit", withValues("30000 30000 2 1"), 1, badData, {"--max-pixels", "0"}},
        {"more pixels than the limit", text, 1,
         "the picture is 300 x 240 = 72000 pixels, more than the limit of 71999 (--max-pixels N raises it, 0 removes it)\n",
         {"--max-pixels=71999"}, "kept.png"},
        {"missing", "", 1, "cannot open the input: No such file or directory\n", {}, "kept.emf", dir_.file("none.xpm")},
        {"a directory", "", 1, "is a directory\n", {}, "kept.emf", dir_.file("sub")},
        {"output under a regular file", text, 1, "cannot create " + good_ + "/out.emf: Not a directory\n", {}, good_ + "/out.emf"},
        {"-d under a regular file", text, 1, "xpmimport: " + good_ + "/d: cannot make the output directory: Not a directory\n",
         {"-d", good_ + "/d"}, ""},
    };
    const std::string input = dir_.file("in.xpm");
    std::filesystem::create_directory(dir_.file("sub"));
    for (const char* kept : {"kept.emf", "kept.wmf", "kept.png"}) WriteFile(dir_.file(kept), "an older picture");
    const std::vector<std::string> before = (WriteFile(input, ""), dir_.names());
    for (const Case& c : cases) {
        WriteFile(input, c.input);
        std::vector<std::string> argv = {x_, "-v", c.path.empty() ? input : c.path};
        if (!c.output.empty()) argv.insert(argv.end(), {"-o", c.output[0] == '/' ? c.output : dir_.file(c.output)});
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        for (bool fromStdin : {false, c.path.empty()}) {
            if (fromStdin) argv[2] = "-";
            ProcessResult got = RunProgram(argv, input);
            EXPECT_EQ(got.status, c.status) << c.name << ": " << got.err;
            const std::string name = fromStdin ? "standard input" : argv[2];
            EXPECT_NE(got.err.find(c.err.starts_with("xpmimport: ") ? c.err : name + ": " + c.err), std::string::npos)
                << c.name << (fromStdin ? " (standard input)" : "") << ": messages\n" << got.err << "want\n" << c.err;
        }
        EXPECT_EQ(dir_.names(), before) << c.name << ": a file was made or removed";
        for (const char* kept : {"kept.emf", "kept.wmf", "kept.png"}) EXPECT_EQ(ReadFile(dir_.file(kept)), "an older picture") << c.name;
    }
}

// A signal stops a conversion with 128 + the signal, removing the partial output and keeping
// the older one. INT, TERM and HUP arrive while the import waits for the rest of its
// standard input; SIGXFSZ comes from a file size limit of 512 bytes.
TEST_F(CliTest, SignalsLeaveNoPartialFile) {
    const std::string output = dir_.file("kept.emf"), fifo = dir_.file("input.pipe"), text = ReadFile(good_);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
        WriteFile(output, "an older picture");
        TempDir capture;
        const bool sizeLimit = signal == SIGXFSZ;
        pid_t pid = Start({"/bin/sh", "-c", (sizeLimit ? "ulimit -f 1; " : "") + std::string("exec \"$0\" \"$@\""), x_,
                           sizeLimit ? good_ : "-", "-o", output}, sizeLimit ? "/dev/null" : fifo, capture);
        if (!sizeLimit) {
            std::ofstream feed(fifo, std::ios::binary);
            feed << text.substr(0, text.size() / 2) << std::flush;
            for (int i = 0; i < 6000 && dir_.names().size() < 4; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_EQ(dir_.names().size(), 4u) << "signal " << signal << ": the partial output should exist while the input waits";
            kill(pid, signal);
        }
        ProcessResult got = Finish(pid, capture);
        EXPECT_EQ(got.status, 128 + signal) << got.err;
        EXPECT_TRUE(signal != SIGINT || got.err.find("xpmimport: interrupted\n") != std::string::npos) << got.err;
        EXPECT_EQ(ReadFile(output), "an older picture") << "signal " << signal;
        EXPECT_EQ(dir_.names(), (std::vector<std::string>{"good.xpm", "input.pipe", "kept.emf"})) << "signal " << signal;
    }
}

}  // namespace
}  // namespace xpmimport_test
