// End to end: xpmimport run as a user runs it, with the built module. Every picture it makes
// is painted back into pixels and compared with libXpm's reading of its input (xpm_corpus.h
// says where the two disagree on purpose).
#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"
#include "xpm_corpus.h"
#include "xpm_text.h"
#include "xpmimport/import/filter_module.h"
#include "xpmimport/render/metafile_render.h"
#include "xpmimport/import/picture_import.h"
#include "xpmimport/import/result_messages.h"

namespace xpmimport_test {
namespace {

using xpmtest::ReadFile;
using xpmtest::TempDir;
using xpmtest::WriteFile;
using xpmtest::XpmFile;

// The build tree: $XPMFILTER_BUILD_DIR, else the parent of this test's bin/.
const char* const kBuildDir = std::getenv("XPMFILTER_BUILD_DIR");
const std::string kBuild =
    kBuildDir != nullptr
        ? kBuildDir
        : std::filesystem::canonical("/proc/self/exe").parent_path().parent_path().string();
const std::string kModule = kBuild + "/lib/libxpmfilter.so";

// The exit status (or 128 + the signal that ended the process), standard output and error.
struct ProcessResult {
    int status;
    std::string out, err;
};

// Starts argv (argv[0] is the program's path) with standard input from stdinPath and
// standard output and error going to files in capture.
[[nodiscard]] pid_t Start(const std::vector<std::string>& argv, const std::string& stdinPath,
                          const TempDir& capture) {
    const std::string out = capture.file("out"), err = capture.file("err");
    std::vector<char*> args;  // made before the fork: the child only opens files and execs
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (pid_t pid = fork(); pid != 0) return pid;
    dup2(open(stdinPath.c_str(), O_RDONLY), 0);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    execv(args[0], args.data());
    _exit(127);
}

[[nodiscard]] ProcessResult Finish(pid_t pid, const TempDir& capture) {
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            ReadFile(capture.file("out")), ReadFile(capture.file("err"))};
}

[[nodiscard]] ProcessResult RunProgram(const std::vector<std::string>& argv,
                                       const std::string& stdinPath = "/dev/null") {
    TempDir capture;
    return Finish(Start(argv, stdinPath, capture), capture);
}

// "" when the picture (of kind emf, wmf or png) shows what the XPM file should give; else
// what differs. PNG is read with libpng, metafiles with the renderer.
[[nodiscard]] std::string CheckPicture(const std::string& bytes, const std::string& kind,
                                       const std::string& xpm) {
    std::string error;
    const xpmimport::RgbImage want = ExpectedPicture(xpm, &error);
    const std::vector<uint8_t> metafile(bytes.begin(), bytes.end());
    xpmimport::RenderOutcome got;
    if (kind != "png") {
        got = kind == "emf" ? xpmimport::RenderEnhancedMetafile(metafile)
                            : xpmimport::RenderWindowsMetafile(metafile);
    } else {
        png_image png = {.version = PNG_IMAGE_VERSION};
        got.ok = png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()) != 0;
        png.format = PNG_FORMAT_RGB;
        got.image = {static_cast<int32_t>(png.width), static_cast<int32_t>(png.height),
                     std::vector<uint8_t>(got.ok ? PNG_IMAGE_SIZE(png) : 0)};
        got.ok = got.ok &&
                 png_image_finish_read(&png, nullptr, got.image.pixels.data(), 0, nullptr) != 0;
        got.error = png.message;
        png_image_free(&png);
    }
    return !error.empty() ? error : got.ok ? Difference(got.image, want) : kind + ": " + got.error;
}

// "" when text holds want (or is empty, when want is); else both, in words.
[[nodiscard]] std::string Holds(const std::string& text, const std::string& want) {
    const bool ok = want.empty() ? text.empty() : text.find(want) != std::string::npos;
    return ok ? "" : "got\n" + text + "\nwant\n" + want;
}

class CliTest : public testing::Test {
  protected:
    TempDir dir_;
    const std::string x_ = kBuild + "/bin/xpmimport";
    // Three bands of 80 rows.
    const std::string good_ =
        dir_.Write("good.xpm", MakeXpm({"good", 300, 240, 2, 60, Style::kMixed, 41}));
};

// The generated corpus, converted to each format in one run on two threads (the module keeps
// no state between calls): sizes that need several bands (a band holds 32768 pixels at
// most), rows padded to four bytes, 1 to 4 characters per pixel, 2 to 1000 colours, hex and
// named, plain and dressed; and --info gives each size.
TEST_F(CliTest, ConvertsTheCorpusAsLibXpmReadsIt) {
    // clang-format off
    const XpmRecipe corpus[] = {
        {.label = "1x1, hex", .width = 1, .height = 1, .charsPerPixel = 1, .colors = 2, .style = Style::kHex, .seed = 1},
        {.label = "101x7, mixed, dressed", .width = 101, .height = 7, .charsPerPixel = 1, .colors = 90, .style = Style::kMixed, .seed = 4, .dressed = true},
        {.label = "5x3, 4 cpp, named, dressed", .width = 5, .height = 3, .charsPerPixel = 4, .colors = 12, .style = Style::kNamed, .seed = 5, .dressed = true},
        {.label = "33x21, 2 cpp, 200 named", .width = 33, .height = 21, .charsPerPixel = 2, .colors = 200, .style = Style::kNamed, .seed = 6},
        {.label = "200x400, 3 cpp, several bands", .width = 200, .height = 400, .charsPerPixel = 3, .colors = 64, .style = Style::kHex, .seed = 7},
        {.label = "327x101, 2 cpp, two bands, dressed", .width = 327, .height = 101, .charsPerPixel = 2, .colors = 150, .style = Style::kMixed, .seed = 8, .dressed = true},
        {.label = "31x250, 256 colours", .width = 31, .height = 250, .charsPerPixel = 2, .colors = 256, .style = Style::kHex, .seed = 10},
        {.label = "40x30, 1000 colours", .width = 40, .height = 30, .charsPerPixel = 2, .colors = 1000, .style = Style::kHex, .seed = 11},
        {.label = "3x1000, 4 cpp, named, tall", .width = 3, .height = 1000, .charsPerPixel = 4, .colors = 7, .style = Style::kNamed, .seed = 12},
        {.label = "7x5, 39 cpp, the most", .width = 7, .height = 5, .charsPerPixel = 39, .colors = 30, .style = Style::kMixed, .seed = 13},
        // Last: a WMF holds 16-bit coordinates, so it is not converted to WMF.
        {.label = "32768x3, one row per band, too wide for WMF", .width = 32768, .height = 3, .charsPerPixel = 1, .colors = 4, .style = Style::kHex, .seed = 9},
    };
    // clang-format on
    std::vector<std::string> inputs, infoArgs = {x_, "--info"};
    for (const XpmRecipe& recipe : corpus)
        inputs.push_back(dir_.Write(std::to_string(recipe.seed) + ".xpm", MakeXpm(recipe)));
    infoArgs.insert(infoArgs.end(), inputs.begin(), inputs.end());
    const std::string info = RunProgram(infoArgs).out;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string size =
            std::to_string(corpus[i].width) + " x " + std::to_string(corpus[i].height);
        EXPECT_NE(info.find(inputs[i] + ": " + size + "\n"), std::string::npos)
            << corpus[i].label << ": --info says\n"
            << info;
    }
    for (const std::string kind : {"emf", "wmf", "png"}) {
        const size_t count = inputs.size() - (kind == "wmf");
        std::vector<std::string> argv = {x_,         "-q", "-j", "2",
                                         "--format", kind, "-d", dir_.file(kind)};
        argv.insert(argv.end(), inputs.begin(), inputs.begin() + count);
        ProcessResult got = RunProgram(argv);
        EXPECT_EQ(got.status, 0) << kind << ": " << got.err;
        for (size_t i = 0; i < count; ++i) {
            const std::string output =
                dir_.file(kind + "/" + std::to_string(corpus[i].seed) + "." + kind);
            EXPECT_EQ(CheckPicture(ReadFile(output), kind, inputs[i]), "")
                << corpus[i].label << " as " << kind;
        }
    }
}

// What users rely on: the formats, standard input and output, listings, finding the module,
// and a wrong command line refused with nothing done. Empty text: nothing printed there.
TEST_F(CliTest, CommandsGiveTheirStatusMessagesAndPictures) {
    const std::string notes = dir_.Write("notes.txt", "shopping list\n"),
                      missing = dir_.file("missing.xpm"), out = dir_.file("out");
    const std::string notXpm = "not an XPM file (it must begin with \\\"/* XPM */\\\")";
    // A name that --json must escape: a quote, a backslash, a tab, a control byte, UTF-8, a
    // stray byte.
    const std::string odd =
        dir_.Write("odd\"\\\t\x01\xc3\xa9\xff.xpm", MakeXpm({"odd", 2, 1, 2, 300, Style::kHex, 3}));
    const std::string oddInJson = dir_.file(R"(odd\"\\\t\u0001)"
                                            "\xc3\xa9"
                                            R"(\u00ff.xpm)");
    const std::string wrapped =
        "300 colours: the palette keeps 256, colour k is drawn as colour k mod 256";
    // A colour X reads otherwise, and colours given by the g key alone.
    const std::string rgb =
        dir_.Write("rgb.xpm", XpmFile({"2 1 2 1", ". c #abc", "x c #000000", ".x"}));
    const std::string grey =
        dir_.Write("grey.xpm", XpmFile({"2 1 2 1", ". g #000000", "x g #ffffff", ".x"}));
    const std::string negative = dir_.Write(
        "negative.xpm", XpmFile({"1 -2147483648 2 1", "a c #FF0000", "b c #00FF00", "a"}));
    // Copies of the executable: one with no module near it, one beside a lib/ that holds one.
    for (const char* sub : {"alone", "tree/bin", "tree/lib"})
        std::filesystem::create_directories(dir_.file(sub));
    std::filesystem::copy_file(x_, dir_.file("alone/xpmimport"));
    std::filesystem::copy_file(x_, dir_.file("tree/bin/xpmimport"));
    std::filesystem::create_symlink(kModule, dir_.file("tree/lib/libxpmfilter.so"));
    const std::string env = "/usr/bin/env", sizeLine = good_ + ": 300 x 240\n";
    const std::string producer =
        "set -o pipefail; { cat \"$1\"; head -c 1000000 /dev/zero; } | \"$0\" - -o \"$2\"";
    WriteFile(out + ".emf", "an older picture");
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        int status = 0;
        std::string out, err;  // found in standard output and error
        std::vector<std::pair<std::string, std::string>> pictures =
            {};  // file ("-": standard output), kind
        std::string stdinFrom = "/dev/null";
    };
    // clang-format off
    const Case cases[] = {
        {.name = "EMF over an older file", .argv = {x_, good_, "-o", out + ".emf"},
         .out = good_ + ": 300 x 240 -> " + out + ".emf\n", .pictures = {{out + ".emf", "emf"}}},
        {.name = "WMF, quietly", .argv = {x_, "-q", good_, "-o", out + ".wmf"}, .pictures = {{out + ".wmf", "wmf"}}},
        {.name = "PNG by --format", .argv = {x_, good_, "-o", out + ".bin", "--format", "png"},
         .out = "-> " + out + ".bin\n", .pictures = {{out + ".bin", "png"}}},
        {.name = "stdin to PNG", .argv = {x_, "-", "-o", out + ".png"}, .out = "standard input: 300 x 240 -> " + out + ".png\n",
         .pictures = {{out + ".png", "png"}}, .stdinFrom = good_},
        {.name = "a pipe to standard output", .argv = {"/bin/sh", "-c", "cat \"$1\" | exec \"$0\" - -o - --format wmf", x_, good_},
         .pictures = {{"-", "wmf"}}},
        {.name = "a named pipe over the pixel limit, refused before a byte is written",
         .argv = {"/bin/bash", "-c", "ulimit -f 16; cat \"$1\" | exec \"$0\" /dev/stdin -o \"$2\" --max-pixels 71999", x_, good_, out + ".emf"},
         .status = 1, .err = "/dev/stdin: the picture has more pixels than the limit of 71999 (--max-pixels N raises it, 0 removes it)\n"},
        {.name = "standard output, -v says so", .argv = {x_, "-v", good_, "-o", "-"},
         .err = good_ + ": 300 x 240 -> standard output\n", .pictures = {{"-", "emf"}}},
        {.name = "-d makes the directory; two jobs",
         .argv = {x_, "-j", "2", "-d", dir_.file("new/dir"), "--json", "--format", "png", good_, notes, "-"}, .status = 1,
         .out = "{\"input\":\"" + notes + "\",\"output\":\"" + dir_.file("new/dir/notes.png") + "\",\"error\":\"" + notXpm + "\",\"code\":-23}\n",
         .err = "xpmimport: " + notes + ": not an XPM file",
         .pictures = {{dir_.file("new/dir/good.png"), "png"}, {dir_.file("new/dir/stdin.png"), "png"}}, .stdinFrom = good_},
        {.name = "missing input", .argv = {x_, missing, "-o", out + ".emf"}, .status = 1,
         .err = "xpmimport: " + missing + ": cannot open the input: No such file or directory\n"},
        {.name = "--info lists sizes and failures", .argv = {x_, "--info", good_, missing, "-"}, .status = 1,
         .out = sizeLine + "standard input: 300 x 240\n",
         .err = "xpmimport: " + missing + ": cannot open the input: No such file or directory\n", .stdinFrom = good_},
        {.name = "--info --json, with warnings", .argv = {x_, "--info", "--json", odd, rgb, notes}, .status = 1,
         .out = "{\"input\":\"" + oddInJson + "\",\"width\":2,\"height\":1,\"colours\":300,\"warning\":\"" + wrapped + "\"}\n"
                "{\"input\":\"" + rgb + "\",\"width\":2,\"height\":1,\"colours\":2,\"warning\":\"#abc is read by the six-digit rule "
                "as (171, 191, 239), not as X reads it; write #RRGGBB\"}\n{\"input\":\"" + notes + "\",\"error\":\"" + notXpm + "\"}\n",
         .err = "xpmimport: " + odd + ": warning: " + wrapped + "\n"},
        {.name = "-q keeps warnings quiet", .argv = {x_, "-q", rgb, "-o", out + ".wmf"}},
        {.name = "colours by the g key alone", .argv = {x_, grey, "-o", out + ".wmf"}, .status = 1,
         .err = "xpmimport: " + grey + ": the colour definitions give colours only with the g key; the filter takes colours from the c key alone\n"},
        {.name = "XPMFILTER_MODULE", .argv = {env, "XPMFILTER_MODULE=" + kModule, dir_.file("alone/xpmimport"), "--info", good_},
         .out = sizeLine},
        {.name = "XPMFILTER_MODULE comes first", .argv = {env, "XPMFILTER_MODULE=" + notes, x_, "--info", good_}, .status = 3,
         .err = "xpmimport: cannot use the filter module " + notes + ": "},
        {.name = "the module in ../lib", .argv = {dir_.file("tree/bin/xpmimport"), "--info", good_}, .out = sizeLine},
        {.name = "no module found", .argv = {env, "XPMFILTER_MODULE=", dir_.file("alone/xpmimport"), good_, "-o", out + ".emf"},
         .status = 3, .err = "xpmimport: --filter PATH or XPMFILTER_MODULE=PATH names the module to load\n"},
        {.name = "--filter that is not the filter", .argv = {x_, "--filter", kBuild + "/lib/libwinshim.so", good_, "-o", out + ".emf"},
         .status = 3, .err = "it has no export ImportGR: not an import filter\n"},
        {.name = "--version names the filter", .argv = {x_, "--version"}, .out = "FilterDefinitions \"XPM Format,0,.XPM\"\n"},
        {.name = "format and name disagree", .argv = {x_, good_, "-o", out + ".emf", "--format", "png"}, .status = 2,
         .err = "xpmimport: --format png does not match the name '" + out + ".emf'; name it .png or leave --format out\nTry 'xpmimport --help'.\n"},
        {.name = "no input", .argv = {x_}, .status = 2, .err = "xpmimport: no input given\n"},
        {.name = "no output", .argv = {x_, good_}, .status = 2, .err = "xpmimport: say where the picture goes: -o FILE (one input) or -d DIR\n"},
        {.name = "two inputs, one output", .argv = {x_, "-d", out, "a/x.xpm", "b/x.xpm"}, .status = 2,
         .err = "b/x.xpm and a/x.xpm would both be written to " + out + "/x.emf\n"},
        {.name = "the input as its output", .argv = {x_, good_, "-o", good_, "--format", "emf"}, .status = 2,
         .err = good_ + " is the input " + good_ + " itself\n"},
        {.name = "a producer under pipefail: standard input is read to its end", .argv = {"/bin/bash", "-c", producer, x_, good_, out + ".emf"},
         .out = "standard input: 300 x 240 -> " + out + ".emf\n", .pictures = {{out + ".emf", "emf"}}},
        {.name = "a height of -2147483648 is no size to refuse: the filter makes no rows of it",
         .argv = {x_, negative, "-o", out + ".wmf"}, .out = negative + ": 1 x 0 -> " + out + ".wmf\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        ProcessResult got = RunProgram(c.argv, c.stdinFrom);
        EXPECT_EQ(got.status, c.status) << c.name << ": " << got.err;
        const bool toStdout = !c.pictures.empty() && c.pictures[0].first == "-";
        EXPECT_EQ(toStdout ? "" : Holds(got.out, c.out), "") << c.name << ": standard output";
        EXPECT_EQ(Holds(got.err, c.err), "") << c.name << ": messages";
        for (const auto& [file, kind] : c.pictures)
            EXPECT_EQ(CheckPicture(file == "-" ? got.out : ReadFile(file), kind, good_), "")
                << c.name << ": " << file;
    }
    EXPECT_EQ(dir_.Names().size(), 13u) << "no temporary file may stay";
    EXPECT_EQ(dir_.Names("new/dir"), (std::set<std::string>{"good.png", "stdin.png"}))
        << "nor a file for a failed input";
}

// Bad and hostile inputs, from a file and on standard input: status 1, the failure in words
// with the import's result (-v adds it), no output file made and the older output kept.
TEST_F(CliTest, BadInputsFailInWordsAndLeaveNoFile) {
    // A picture of two colours, a and b, one row: its values line, its colours, its row.
    auto xpm = [](const std::string& values, const std::string& a = "a c #FF0000",
                  const std::string& row = "ab") {
        return XpmFile({values, a, "b c #00FF00", row});
    };
    const std::string text = ReadFile(good_),
                      notXpm = "not an XPM file (it must begin with \"/* XPM */\") (-23)\n";
    const std::string badData =
        "the image data cannot be decoded (a pixel matches no colour, or the rows end early) "
        "(-1)\n";
    const std::string badColour =
        "a colour cannot be read (an unknown colour name, or a value that is not a colour) (-23)\n";
    struct Case {
        const char* name;
        std::string input;  // written to in.xpm
        std::string err;    // after "<input>: ", unless it starts with "xpmimport: "
        std::vector<std::string> args = {};
        std::string output = "kept.emf";
    };
    // clang-format off
    const Case cases[] = {
        {.name = "text", .input = "shopping list\n", .err = notXpm},
        {.name = "empty", .input = "", .err = "the input is empty (-23)\n"},
        {.name = "PNG", .input = "\x89PNG\r\n\x1a\n", .err = "not an XPM file: it is a PNG picture (-23)\n"},
        {.name = "UTF-8 byte-order mark", .input = "\xEF\xBB\xBF" + xpm("2 1 2 1"), .err = "not an XPM file: it begins with a UTF-8 byte-order mark"},
        {.name = "XPM2", .input = "! XPM2\n2 1 2 1\na c #FF0000\nb c #00FF00\nab\n", .err = "not an XPM file: it is XPM2"},
        {.name = "unknown colour name", .input = xpm("2 1 2 1", "a c nosuchcolour"), .err = badColour},
        {.name = "no colour key in reach", .input = xpm("2 1 2 1", "a c sky blue"), .err = badData},
        {.name = "one colour definition", .input = XpmFile({"2 1 1 1", "a c #FF0000", "aa"}),
         .err = "a picture with one colour definition cannot be imported (-1)\n"},
        {.name = "pixel code without a definition", .input = xpm("2 1 2 1", "a c #FF0000", "ax"), .err = badData},
        {.name = "a NUL byte in a row", .input = xpm("2 1 2 1", "a c #FF0000", std::string("a\0", 2)), .err = badData},
        {.name = "rows missing", .input = xpm("2 3 2 1"), .err = badData},
        {.name = "cut in the middle", .input = text.substr(0, text.size() / 2), .err = badData},
        {.name = "width 0", .input = xpm("0 1 2 1"), .err = "the values line gives no width (27)\n"},
        {.name = "width 32769", .input = xpm("32769 1 2 1"), .err = "the picture is 32769 pixels wide; at most 32768 can be imported (27)\n"},
        {.name = "negative height", .input = xpm("2 -1000 2 1"), .err = "the values line gives a negative height (27)\n"},
        {.name = "40000 colours", .input = xpm("2 1 40000 1"),
         .err = "32768 to 65535 colour definitions cannot be imported (this picture declares 40000) (27)\n"},
        {.name = "40 characters per pixel", .input = xpm("2 1 2 40"), .err = "the values line gives 40 characters per pixel; 0 to 39 can be read (-23)\n"},
        {.name = "negative characters per pixel", .input = xpm("2 1 2 -3"), .err = "the values line gives -3 characters per pixel; 0 to 39 can be read (-23)\n"},
        {.name = "too tall for WMF", .input = MakeXpm({"tall", 2, 32768, 1, 2, Style::kHex, 5}),
         .err = "the picture is too large for a Windows Metafile (at most 32767 pixels each way; EMF and PNG can hold it) (15)\n", .output = "kept.wmf"},
        {.name = "a huge size declared", .input = xpm("30000 30000 2 1"), .err = "the picture is 30000 x 30000 = 900000000 pixels, more than the limit of 268435456"},
        {.name = "a huge size declared, no limit", .input = xpm("30000 30000 2 1"), .err = badData, .args = {"--max-pixels", "0"}},
        {.name = "more pixels than the limit", .input = text,
         .err = "the picture is 300 x 240 = 72000 pixels, more than the limit of 71999 (--max-pixels N raises it, 0 removes it)\n",
         .args = {"--max-pixels=71999"}, .output = "kept.png"},
        {.name = "output under a regular file", .input = text, .err = "cannot create " + good_ + "/out.emf: Not a directory\n", .output = good_ + "/out.emf"},
        {.name = "-d under a file", .input = text, .err = "xpmimport: " + good_ + "/d: cannot make the output directory: Not a directory\n",
         .args = {"-d", good_ + "/d"}, .output = ""},
    };
    // clang-format on
    const std::string input = dir_.file("in.xpm");
    for (const char* kept : {"kept.emf", "kept.wmf", "kept.png", "in.xpm"})
        dir_.Write(kept, "an older picture");
    const std::set<std::string> before = dir_.Names();
    for (const Case& c : cases) {
        WriteFile(input, c.input);
        std::vector<std::string> argv = {x_, "-v", input};
        if (!c.output.empty())
            argv.insert(argv.end(), {"-o", c.output[0] == '/' ? c.output : dir_.file(c.output)});
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        for (const std::string& from : {input, std::string("-")}) {
            argv[2] = from;
            ProcessResult got = RunProgram(argv, input);
            const std::string name = from == "-" ? "standard input" : from;
            const std::string want = c.err.starts_with("xpmimport: ") ? c.err : name + ": " + c.err;
            EXPECT_EQ(got.status, 1) << c.name << ": " << got.err;
            EXPECT_EQ(Holds(got.err, want), "") << c.name << " from " << name << ": messages";
        }
        EXPECT_EQ(dir_.Names(), before) << c.name << ": a file was made or removed";
        for (const char* kept : {"kept.emf", "kept.wmf", "kept.png"})
            EXPECT_EQ(ReadFile(dir_.file(kept)), "an older picture") << c.name;
    }
}

// A picture whose metafile would pass the writer's 2 GiB cap (checked here by its words alone:
// a whole run writes 2 GiB first) is not called out of memory.
TEST(Messages, TheTwoGibCapIsNamed) {
    // clang-format off
    const xpmimport::InputPrologue most{.kind = xpmimport::InputKind::kXpm, .valuesRead = true, .width = 32768, .height = 65535, .colors = 2};
    // clang-format on
    EXPECT_EQ(Holds(xpmimport::DescribeFailure(27, most, false), "would pass 2 GiB"), "");
}

// An output is replaced keeping its permissions and, for root, its owner and group; a FIFO and
// a device are written into, not replaced; a name of 250 characters can be written.
TEST_F(CliTest, ReplacedOutputsKeepWhatTheyWere) {
    const std::string small =
        dir_.Write("small.xpm", MakeXpm({"small", 16, 16, 1, 2, Style::kHex, 3}));
    const std::string kept = dir_.Write("kept.emf", "an older picture"),
                      fifo = dir_.file("fifo.emf"), device = dir_.file("null.emf"),
                      longName = dir_.file(std::string(246, 'n') + ".emf");
    const bool root = geteuid() == 0;  // as root, the owner and the device are tried too
    ASSERT_EQ(chmod(kept.c_str(), 0640) | mkfifo(fifo.c_str(), 0600) |
                  (root ? chown(kept.c_str(), 65534, 65534) |
                              mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3))
                        : 0),
              0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    for (const std::string& output : {kept, fifo, device, longName}) {
        if (output == device && !root) continue;
        EXPECT_EQ(RunProgram({x_, small, "-o", output}).status, 0) << output;
    }
    std::string piped(1 << 16, '\0');
    piped.resize(std::max<ssize_t>(0, read(reader, piped.data(), piped.size())));
    close(reader);
    struct stat info = {};
    EXPECT_TRUE(stat(kept.c_str(), &info) == 0 && (info.st_mode & 07777) == 0640 &&
                (!root || (info.st_uid == 65534 && info.st_gid == 65534)))
        << "the mode and owner of " << kept;
    EXPECT_TRUE(stat(fifo.c_str(), &info) == 0 && S_ISFIFO(info.st_mode))
        << fifo << " is no longer a FIFO";
    EXPECT_TRUE(!root || (stat(device.c_str(), &info) == 0 && S_ISCHR(info.st_mode)))
        << device << " is no longer a device";
    for (const std::string& bytes : {ReadFile(kept), piped, ReadFile(longName)})
        EXPECT_EQ(CheckPicture(bytes, "emf", small), "");
}

// The module as a host calls it: the picture's bounds at 96 units per inch, and progress
// reported row by row, rising to 100.
TEST_F(CliTest, ModuleGivesBoundsAndProgress) {
    std::string error;
    const auto module = xpmimport::FilterModule::Load(kModule, &error);
    ASSERT_TRUE(module) << error;
    std::vector<int> progress;
    const auto got = xpmimport::ImportPicture(module->exports(), good_, false,
                                              [&](int percent) { progress.push_back(percent); });
    EXPECT_EQ(got.code, 0);
    EXPECT_EQ(std::vector<int32_t>(got.bounds, got.bounds + 4),
              (std::vector<int32_t>{0, 0, 300, 240}));
    EXPECT_EQ(got.unitsPerInch, 96);
    EXPECT_GE(progress.size(), 240u) << "want a report per row";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()) && !progress.empty() &&
                progress.back() == 100);
}

// A signal stops a conversion with 128 + the signal, removing the partial output and keeping
// the older one. The signals arrive while the import waits for the rest of its standard input,
// and once after the picture was complete.
TEST_F(CliTest, SignalsLeaveNoPartialFile) {
    const std::string output = dir_.file("kept.emf"), fifo = dir_.file("input.pipe"),
                      text = ReadFile(good_);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TempDir capture;
    std::ofstream feed;
    // Starts a conversion of the FIFO and feeds it the first `part` bytes of the picture; with a
    // partial output to wait for, until that file is there.
    auto start = [&](size_t part, bool partial) {
        const pid_t pid = Start({x_, "-", "-o", output}, fifo, capture);
        feed.open(fifo, std::ios::binary);
        feed << text.substr(0, part) << std::flush;
        for (int i = 0; i < 1000 && (partial ? dir_.Names().size() < 4
                                             : ReadFile(output) == "an older picture");
             ++i)
            usleep(10000);
        return pid;
    };
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        WriteFile(output, "an older picture");
        const pid_t pid = start(text.size() / 2, true);
        kill(pid, signal);
        feed.close();
        EXPECT_EQ(Finish(pid, capture).status, 128 + signal);
        EXPECT_EQ(ReadFile(output), "an older picture") << "signal " << signal;
        EXPECT_EQ(dir_.Names(), (std::set<std::string>{"good.xpm", "input.pipe", "kept.emf"}))
            << "signal " << signal;
    }
    // The whole input came and the picture was written, but standard input stays open: the
    // signal stops the reading of it, and the message says the output is complete.
    pid_t pid = start(text.size(), false);
    kill(pid, SIGTERM);
    feed.close();
    const ProcessResult got = Finish(pid, capture);
    EXPECT_EQ(got.status, 128 + SIGTERM);
    EXPECT_EQ(Holds(got.err, "stopped by SIGTERM after " + output + " was written in full"), "");
    EXPECT_EQ(CheckPicture(ReadFile(output), "emf", good_), "");
    // A hangup that whoever started xpmimport ignores (nohup) stays ignored.
    WriteFile(output, "an older picture");
    ::signal(SIGHUP, SIG_IGN);
    pid = start(text.size() / 2, true);
    ::signal(SIGHUP, SIG_DFL);
    kill(pid, SIGHUP);
    feed << text.substr(text.size() / 2);
    feed.close();
    EXPECT_EQ(Finish(pid, capture).status, 0);
    EXPECT_EQ(CheckPicture(ReadFile(output), "emf", good_), "");
}

}  // namespace
}  // namespace xpmimport_test
