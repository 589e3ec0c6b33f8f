// End to end: xpmimport run as a user runs it, with the built module. Every picture it makes
// is painted back into pixels and compared with libXpm's reading of its input (xpm_corpus.h
// says where the two disagree on purpose).
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "test_environment.h"
#include "xpm_corpus.h"
#include "xpmimport/import/filter_module.h"
#include "xpmimport/render/metafile_render.h"
#include "xpmimport/import/picture_import.h"
#include "xpmimport/import/result_messages.h"

namespace xpmimport_test {
namespace {

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

class CliTest : public testing::Test {
  protected:
    TempDir dir_;
    const std::string x_ = XpmimportPath();
    // Three bands of 80 rows.
    const std::string good_ =
        WriteFile(dir_.file("good.xpm"), MakeXpm({"good", 300, 240, 2, 60, Style::kMixed, 41}));
};

// The generated corpus, converted to each format in one run on two threads (the module keeps
// no state between calls): sizes that need several bands (a band holds 32768 pixels at
// most), rows padded to four bytes, 1 to 4 characters per pixel, 2 to 1000 colours, hex and
// named, plain and dressed; and --info gives each size.
TEST_F(CliTest, ConvertsTheCorpusAsLibXpmReadsIt) {
    const XpmRecipe corpus[] = {
        {"1x1, hex", 1, 1, 1, 2, Style::kHex, 1},
        {"101x7, mixed, dressed", 101, 7, 1, 90, Style::kMixed, 4, true},
        {"5x3, 4 cpp, named, dressed", 5, 3, 4, 12, Style::kNamed, 5, true},
        {"33x21, 2 cpp, 200 named", 33, 21, 2, 200, Style::kNamed, 6},
        {"200x400, 3 cpp, several bands", 200, 400, 3, 64, Style::kHex, 7},
        {"327x101, 2 cpp, two bands, dressed", 327, 101, 2, 150, Style::kMixed, 8, true},
        {"31x250, 256 colours", 31, 250, 2, 256, Style::kHex, 10},
        {"40x30, 1000 colours", 40, 30, 2, 1000, Style::kHex, 11},
        {"3x1000, 4 cpp, named, tall", 3, 1000, 4, 7, Style::kNamed, 12},
        {"7x5, 39 cpp, the most", 7, 5, 39, 30, Style::kMixed, 13},
        {"32768x3, one row per band, too wide for WMF", 32768, 3, 1, 4, Style::kHex, 9},  // last
    };
    std::vector<std::string> inputs, infoArgs = {x_, "--info"};
    for (const XpmRecipe& recipe : corpus)
        inputs.push_back(
            WriteFile(dir_.file(std::to_string(recipe.seed) + ".xpm"), MakeXpm(recipe)));
    infoArgs.insert(infoArgs.end(), inputs.begin(), inputs.end());
    const std::string info = RunProgram(infoArgs).out;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string size =
            std::to_string(corpus[i].width) + " x " + std::to_string(corpus[i].height);
        EXPECT_NE(info.find(inputs[i] + ": " + size + "\n"), std::string::npos) << info;
    }
    for (const std::string kind : {"emf", "wmf", "png"}) {
        std::vector<std::string> argv = {x_,         "-q", "-j", "2",
                                         "--format", kind, "-d", dir_.file(kind)};
        argv.insert(argv.end(), inputs.begin(),
                    inputs.end() - (kind == "wmf"));  // a WMF holds 16-bit coordinates
        ProcessResult got = RunProgram(argv);
        EXPECT_EQ(got.status, 0) << kind << ": " << got.err;
        for (size_t i = 0; i + (kind == "wmf") < inputs.size(); ++i) {
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
    const std::string notes = WriteFile(dir_.file("notes.txt"), "shopping list\n"),
                      missing = dir_.file("missing.xpm");
    const std::string notXpm = "not an XPM file (it must begin with \\\"/* XPM */\\\")",
                      out = dir_.file("out");
    // A name that --json must escape: a quote, a backslash, a tab, a control byte, UTF-8, a stray
    // byte.
    const std::string odd = WriteFile(dir_.file("odd\"\\\t\x01\xc3\xa9\xff.xpm"),
                                      MakeXpm({"odd", 2, 1, 2, 300, Style::kHex, 3}));
    const std::string oddInJson = dir_.file(R"(odd\"\\\t\u0001)"
                                            "\xc3\xa9"
                                            R"(\u00ff.xpm)");
    const std::string wrapped =
        "300 colours: the palette keeps 256, colour k is drawn as colour k mod 256";
    // A colour X reads otherwise, and colours given by the g key alone.
    const std::string header = "/* XPM */\nstatic char *x[] = {\n\"2 1 2 1\",\n",
                      rgb = WriteFile(dir_.file("rgb.xpm"), header +
                                                                "\". c #abc\",\n\"x c "
                                                                "#000000\",\n\".x\"};\n"),
                      grey = WriteFile(dir_.file("grey.xpm"), header +
                                                                  "\". g #000000\",\n\"x g "
                                                                  "#ffffff\",\n\".x\"};\n");
    // Copies of the executable: one with no module near it, one beside a lib/ that holds one.
    for (const char* sub : {"alone", "tree/bin", "tree/lib"})
        std::filesystem::create_directories(dir_.file(sub));
    std::filesystem::copy_file(x_, dir_.file("alone/xpmimport")),
        std::filesystem::copy_file(x_, dir_.file("tree/bin/xpmimport"));
    std::filesystem::create_symlink(ModulePath(), dir_.file("tree/lib/libxpmfilter.so"));
    const std::string env = "/usr/bin/env", sizeLine = good_ + ": 300 x 240\n";
    const std::string negative =
        WriteFile(dir_.file("negative.xpm"),
                  "/* XPM */\nstatic char *n[] = {\n\"1 -2147483648 2 1\",\n\"a c #FF0000\",\n"
                  "\"b c #00FF00\",\n\"a\"};\n");
    WriteFile(out + ".emf", "an older picture");
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        int status;
        std::string out, err;  // found in standard output and error
        std::vector<std::pair<std::string, std::string>> pictures =
            {};  // file ("-": standard output), kind
        std::string stdinPath = "/dev/null";
    } cases[] = {
        {"EMF over an older file",
         {x_, good_, "-o", out + ".emf"},
         0,
         good_ + ": 300 x 240 -> " + out + ".emf\n",
         "",
         {{out + ".emf", "emf"}}},
        {"WMF, quietly", {x_, "-q", good_, "-o", out + ".wmf"}, 0, "", "", {{out + ".wmf", "wmf"}}},
        {"PNG by --format",
         {x_, good_, "-o", out + ".bin", "--format", "png"},
         0,
         "-> " + out + ".bin\n",
         "",
         {{out + ".bin", "png"}}},
        {"stdin to PNG",
         {x_, "-", "-o", out + ".png"},
         0,
         "standard input: 300 x 240 -> " + out + ".png\n",
         "",
         {{out + ".png", "png"}},
         good_},
        {"a pipe to standard output",
         {"/bin/sh", "-c", "cat \"$1\" | exec \"$0\" - -o - --format wmf", x_, good_},
         0,
         "",
         "",
         {{"-", "wmf"}}},
        {"a named pipe over the pixel limit, refused before a byte is written",
         {"/bin/bash", "-c",
          "ulimit -f 16; cat \"$1\" | exec \"$0\" /dev/stdin -o \"$2\" --max-pixels 71999", x_,
          good_, out + ".emf"},
         1,
         "",
         "/dev/stdin: the picture has more pixels than the limit of 71999 (--max-pixels N raises "
         "it, 0 removes it)\n"},
        {"standard output, -v says so",
         {x_, "-v", good_, "-o", "-"},
         0,
         "",
         good_ + ": 300 x 240 -> standard output\n",
         {{"-", "emf"}}},
        {"-d makes the directory; two jobs",
         {x_, "-j", "2", "-d", dir_.file("new/dir"), "--json", "--format", "png", good_, notes,
          "-"},
         1,
         "{\"input\":\"" + notes + "\",\"output\":\"" + dir_.file("new/dir/notes.png") +
             "\",\"error\":\"" + notXpm + "\",\"code\":-23}\n",
         "xpmimport: " + notes + ": not an XPM file",
         {{dir_.file("new/dir/good.png"), "png"}, {dir_.file("new/dir/stdin.png"), "png"}},
         good_},
        {"missing input",
         {x_, missing, "-o", out + ".emf"},
         1,
         "",
         "xpmimport: " + missing + ": cannot open the input: No such file or directory\n"},
        {"--info lists sizes and failures",
         {x_, "--info", good_, missing, "-"},
         1,
         sizeLine + "standard input: 300 x 240\n",
         "xpmimport: " + missing + ": cannot open the input: No such file or directory\n",
         {},
         good_},
        {"--info --json, with warnings",
         {x_, "--info", "--json", odd, rgb, notes},
         1,
         "{\"input\":\"" + oddInJson +
             "\",\"width\":2,\"height\":1,\"colours\":300,\"warning\":\"" + wrapped +
             "\"}\n{\"input\":\"" + rgb +
             "\",\"width\":2,\"height\":1,\"colours\":2,\"warning\":\"#abc is read by the "
             "six-digit rule as (171, 191, 239), not as X reads it; write "
             "#RRGGBB\"}\n{\"input\":\"" +
             notes + "\",\"error\":\"" + notXpm + "\"}\n",
         "xpmimport: " + odd + ": warning: " + wrapped + "\n"},
        {"-q keeps warnings quiet", {x_, "-q", rgb, "-o", out + ".wmf"}, 0, "", ""},
        {"colours by the g key alone",
         {x_, grey, "-o", out + ".wmf"},
         1,
         "",
         "xpmimport: " + grey +
             ": the colour definitions give colours only with the g key; the filter takes colours "
             "from the c key alone\n"},
        {"XPMFILTER_MODULE",
         {env, "XPMFILTER_MODULE=" + ModulePath(), dir_.file("alone/xpmimport"), "--info", good_},
         0,
         sizeLine,
         ""},
        {"XPMFILTER_MODULE comes first",
         {env, "XPMFILTER_MODULE=" + notes, x_, "--info", good_},
         3,
         "",
         "xpmimport: cannot use the filter module " + notes + ": "},
        {"the module in ../lib",
         {dir_.file("tree/bin/xpmimport"), "--info", good_},
         0,
         sizeLine,
         ""},
        {"no module found",
         {env, "XPMFILTER_MODULE=", dir_.file("alone/xpmimport"), good_, "-o", out + ".emf"},
         3,
         "",
         "xpmimport: --filter PATH or XPMFILTER_MODULE=PATH names the module to load\n"},
        {"--filter that is not the filter",
         {x_, "--filter", BuildDir() + "/lib/libwinshim.so", good_, "-o", out + ".emf"},
         3,
         "",
         "it has no export ImportGR: not an import filter\n"},
        {"--version names the filter",
         {x_, "--version"},
         0,
         "FilterDefinitions \"XPM Format,0,.XPM\"\n",
         ""},
        {"format and name disagree",
         {x_, good_, "-o", out + ".emf", "--format", "png"},
         2,
         "",
         "xpmimport: --format png does not match the name '" + out +
             ".emf'; name it .png or leave --format out\nTry 'xpmimport --help'.\n"},
        {"no input", {x_}, 2, "", "xpmimport: no input given\n"},
        {"no output",
         {x_, good_},
         2,
         "",
         "xpmimport: say where the picture goes: -o FILE (one input) or -d DIR\n"},
        {"two inputs, one output",
         {x_, "-d", out, "a/x.xpm", "b/x.xpm"},
         2,
         "",
         "b/x.xpm and a/x.xpm would both be written to " + out + "/x.emf\n"},
        {"the input as its output",
         {x_, good_, "-o", good_, "--format", "emf"},
         2,
         "",
         good_ + " is the input " + good_ + " itself\n"},
        {"a producer under pipefail: standard input is read to its end",
         {"/bin/bash", "-c",
          "set -o pipefail; { cat \"$1\"; head -c 1000000 /dev/zero; } | \"$0\" - -o \"$2\"", x_,
          good_, out + ".emf"},
         0,
         "standard input: 300 x 240 -> " + out + ".emf\n",
         "",
         {{out + ".emf", "emf"}}},
        {"a height of -2147483648 is no size to refuse: the filter makes no rows of it",
         {x_, negative, "-o", out + ".wmf"},
         0,
         negative + ": 1 x 0 -> " + out + ".wmf\n",
         ""},
    };
    for (const Case& c : cases) {
        ProcessResult got = RunProgram(c.argv, c.stdinPath);
        const bool toStdout = !c.pictures.empty() && c.pictures[0].first == "-";
        EXPECT_EQ(got.status, c.status) << c.name << ": " << got.err;
        EXPECT_TRUE(toStdout ||
                    (c.out.empty() ? got.out.empty() : got.out.find(c.out) != std::string::npos))
            << c.name << ": standard output\n"
            << got.out << "wants\n"
            << c.out;
        EXPECT_TRUE(c.err.empty() ? got.err.empty() : got.err.find(c.err) != std::string::npos)
            << c.name << ": messages\n"
            << got.err << "want\n"
            << c.err;
        for (const auto& [file, kind] : c.pictures) {
            EXPECT_EQ(CheckPicture(file == "-" ? got.out : ReadFile(file), kind, good_), "")
                << c.name << ": " << file;
        }
    }
    EXPECT_EQ(dir_.names().size(), 13u) << "no temporary file may stay";
    EXPECT_EQ(dir_.names("new/dir"), (std::set<std::string>{"good.png", "stdin.png"}))
        << "nor a file for a failed input";
}

// Bad and hostile inputs, from a file and on standard input: status 1, the failure in words
// with the import's result (-v adds it), no output file made and the older output kept.
TEST_F(CliTest, BadInputsFailInWordsAndLeaveNoFile) {
    auto xpm = [](const std::string& values,
                  const std::string& colours = "\"a c #FF0000\",\n\"b c #00FF00\",\n",
                  const std::string& row = "ab") {
        return "/* XPM */\nstatic char *p[] = {\n\"" + values + "\",\n" + colours + "\"" + row +
               "\"\n};\n";
    };
    auto colour = [&](const std::string& name) {
        return xpm("2 1 2 1", "\"a c " + name + "\",\n\"b c #000000\",\n");
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
    } cases[] = {
        {"text", "shopping list\n", notXpm},
        {"empty", "", "the input is empty (-23)\n"},
        {"PNG", "\x89PNG\r\n\x1a\n", "not an XPM file: it is a PNG picture (-23)\n"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + xpm("2 1 2 1"),
         "not an XPM file: it begins with a UTF-8 byte-order mark"},
        {"XPM2", "! XPM2\n2 1 2 1\na c #FF0000\nb c #00FF00\nab\n", "not an XPM file: it is XPM2"},
        {"unknown colour name", colour("nosuchcolour"), badColour},
        {"DebianRed", colour("DebianRed"), badColour},
        {"no colour key in reach", colour("sky blue"), badData},
        {"one colour definition", xpm("2 1 1 1", "\"a c #FF0000\",\n", "aa"),
         "a picture with one colour definition cannot be imported (-1)\n"},
        {"pixel code without a definition",
         xpm("2 1 2 1", "\"a c #FF0000\",\n\"b c #00FF00\",\n", "ax"), badData},
        {"a NUL byte in a row",
         xpm("2 1 2 1", "\"a c #FF0000\",\n\"b c #00FF00\",\n", std::string("a\0", 2)), badData},
        {"rows missing", xpm("2 3 2 1"), badData},
        {"cut in the middle", text.substr(0, text.size() / 2), badData},
        {"width 0", xpm("0 1 2 1"), "the values line gives no width (27)\n"},
        {"width 32769", xpm("32769 1 2 1"),
         "the picture is 32769 pixels wide; at most 32768 can be imported (27)\n"},
        {"negative height", xpm("2 -1000 2 1"), "the values line gives a negative height (27)\n"},
        {"40000 colours", xpm("2 1 40000 1"),
         "32768 to 65535 colour definitions cannot be imported (this picture declares 40000) "
         "(27)\n"},
        {"41 characters per pixel", xpm("2 1 2 41"),
         "the values line gives 41 characters per pixel; 0 to 39 can be read (-23)\n"},
        {"40 characters per pixel", xpm("2 1 2 40"),
         "the values line gives 40 characters per pixel; 0 to 39 can be read (-23)\n"},
        {"negative characters per pixel", xpm("2 1 2 -3"),
         "the values line gives -3 characters per pixel; 0 to 39 can be read (-23)\n"},
        {"too tall for WMF",
         MakeXpm({"tall", 2, 32768, 1, 2, Style::kHex, 5}),
         "the picture is too large for a Windows Metafile (at most 32767 pixels each way; EMF and "
         "PNG can hold it) (15)\n",
         {},
         "kept.wmf"},
        {"a huge size declared", xpm("30000 30000 2 1"),
         "the picture is 30000 x 30000 = 900000000 pixels, more than the limit of 268435456"},
        {"a huge size declared, no limit", xpm("30000 30000 2 1"), badData, {"--max-pixels", "0"}},
        {"more pixels than the limit",
         text,
         "the picture is 300 x 240 = 72000 pixels, more than the limit of 71999 (--max-pixels N "
         "raises it, 0 removes it)\n",
         {"--max-pixels=71999"},
         "kept.png"},
        {"output under a regular file",
         text,
         "cannot create " + good_ + "/out.emf: Not a directory\n",
         {},
         good_ + "/out.emf"},
        {"-d under a file",
         text,
         "xpmimport: " + good_ + "/d: cannot make the output directory: Not a directory\n",
         {"-d", good_ + "/d"},
         ""},
    };
    const std::string input = dir_.file("in.xpm");
    for (const char* kept : {"kept.emf", "kept.wmf", "kept.png", "in.xpm"})
        WriteFile(dir_.file(kept), "an older picture");
    const std::set<std::string> before = dir_.names();
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
            EXPECT_EQ(got.status, 1) << c.name << ": " << got.err;
            EXPECT_NE(got.err.find(c.err.starts_with("xpmimport: ") ? c.err : name + ": " + c.err),
                      std::string::npos)
                << c.name << " from " << name << ": messages\n"
                << got.err << "want\n"
                << c.err;
        }
        EXPECT_EQ(dir_.names(), before) << c.name << ": a file was made or removed";
        for (const char* kept : {"kept.emf", "kept.wmf", "kept.png"})
            EXPECT_EQ(ReadFile(dir_.file(kept)), "an older picture") << c.name;
    }
}

// A picture whose metafile would pass the writer's 2 GiB cap (checked here by its words alone:
// a whole run writes 2 GiB first) is not called out of memory.
TEST(Messages, TheTwoGibCapIsNamed) {
    const xpmimport::InputPrologue most{xpmimport::InputKind::kXpm, true, 32768, 65535, 2, 0};
    EXPECT_NE(xpmimport::DescribeFailure(27, most, false).find("would pass 2 GiB"),
              std::string::npos);
}

// An output is replaced keeping its permissions and, for root, its owner and group; a FIFO and
// a device are written into, not replaced; a name of 250 characters can be written.
TEST_F(CliTest, ReplacedOutputsKeepWhatTheyWere) {
    const std::string small =
        WriteFile(dir_.file("small.xpm"), MakeXpm({"small", 16, 16, 1, 2, Style::kHex, 3}));
    const std::string kept = dir_.file("kept.emf"), fifo = dir_.file("fifo.emf"),
                      device = dir_.file("null.emf"),
                      longName = dir_.file(std::string(246, 'n') + ".emf");
    WriteFile(kept, "an older picture");
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
    struct stat info[3] = {};
    EXPECT_TRUE(stat(kept.c_str(), &info[0]) == 0 && (info[0].st_mode & 07777) == 0640 &&
                (!root || (info[0].st_uid == 65534 && info[0].st_gid == 65534)));
    EXPECT_TRUE(stat(fifo.c_str(), &info[1]) == 0 && S_ISFIFO(info[1].st_mode));
    EXPECT_TRUE(!root || (stat(device.c_str(), &info[2]) == 0 && S_ISCHR(info[2].st_mode)));
    for (const std::string& bytes : {ReadFile(kept), piped, ReadFile(longName)})
        EXPECT_EQ(CheckPicture(bytes, "emf", small), "");
}

// The module as a host calls it: the picture's bounds at 96 units per inch, and progress
// reported row by row, rising to 100.
TEST_F(CliTest, ModuleGivesBoundsAndProgress) {
    std::string error;
    const auto module = xpmimport::FilterModule::Load(ModulePath(), &error);
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
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        WriteFile(output, "an older picture");
        TempDir capture;
        const pid_t pid = Start({x_, "-", "-o", output}, fifo, capture);
        std::ofstream feed(fifo, std::ios::binary);
        feed << text.substr(0, text.size() / 2) << std::flush;
        for (int i = 0; i < 1000 && dir_.names().size() < 4; ++i)
            usleep(10000);  // until the partial output is there
        kill(pid, signal);
        feed.close();
        EXPECT_EQ(Finish(pid, capture).status, 128 + signal);
        EXPECT_EQ(ReadFile(output), "an older picture") << "signal " << signal;
        EXPECT_EQ(dir_.names(), (std::set<std::string>{"good.xpm", "input.pipe", "kept.emf"}))
            << "signal " << signal;
    }
    // The whole input came and the picture was written, but standard input stays open: the
    // signal stops the reading of it, and the message says the output is complete.
    {
        TempDir capture;
        const pid_t pid = Start({x_, "-", "-o", output}, fifo, capture);
        std::ofstream feed(fifo, std::ios::binary);
        feed << text << std::flush;
        for (int i = 0; i < 1000 && ReadFile(output) == "an older picture"; ++i) usleep(10000);
        kill(pid, SIGTERM);
        feed.close();
        const ProcessResult got = Finish(pid, capture);
        EXPECT_EQ(got.status, 128 + SIGTERM);
        EXPECT_NE(got.err.find("stopped by SIGTERM after " + output + " was written in full"),
                  std::string::npos)
            << got.err;
        EXPECT_EQ(CheckPicture(ReadFile(output), "emf", good_), "");
    }
    // A hangup that whoever started xpmimport ignores (nohup) stays ignored.
    ::signal(SIGHUP, SIG_IGN);
    TempDir capture;
    const pid_t pid = Start({x_, "-", "-o", output}, fifo, capture);
    ::signal(SIGHUP, SIG_DFL);
    std::ofstream feed(fifo, std::ios::binary);
    feed << text.substr(0, text.size() / 2) << std::flush;
    for (int i = 0; i < 1000 && dir_.names().size() < 4; ++i) usleep(10000);
    kill(pid, SIGHUP);
    feed << text.substr(text.size() / 2);
    feed.close();
    EXPECT_EQ(Finish(pid, capture).status, 0);
    EXPECT_NE(ReadFile(output), "an older picture");
}

}  // namespace
}  // namespace xpmimport_test
