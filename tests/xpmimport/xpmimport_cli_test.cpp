// xpmimport as a user runs it: a subprocess with arguments, standard input, signals; its
// files are read back and compared with libXpm's reading of the inputs.
#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "expected_picture.h"
#include "test_environment.h"
#include "xpm_corpus.h"
#include "xpmimport/metafile_render.h"

namespace xpmimport_test {
namespace {

// "" when the file holds the picture expected from the XPM file; else what is wrong. PNG
// files are read back with libpng's simplified API, metafiles with the renderer.
[[nodiscard]] std::string CheckOutput(const std::string& output, const std::string& xpm, const std::string& kind) {
    ExpectedPicture expected = ExpectedFromOracle(DecodeWithLibXpm(xpm));
    if (!expected.importable) return "oracle: " + expected.why;
    xpmimport::RgbImage image;
    if (kind == "png") {
        png_image png = {};
        png.version = PNG_IMAGE_VERSION;
        bool read = png_image_begin_read_from_file(&png, output.c_str()) != 0;
        png.format = PNG_FORMAT_RGB;
        image.width = static_cast<int32_t>(png.width), image.height = static_cast<int32_t>(png.height);
        image.pixels.assign(read ? PNG_IMAGE_SIZE(png) : 0, 0);
        if (!read || png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr) == 0) {
            png_image_free(&png);
            return output + ": libpng cannot read it: " + png.message;
        }
    } else {
        std::string text = ReadFile(output);
        std::vector<uint8_t> bytes(text.begin(), text.end());
        auto rendered = kind == "emf" ? xpmimport::RenderEnhancedMetafile(bytes) : xpmimport::RenderWindowsMetafile(bytes);
        if (!rendered.ok) return output + ": " + rendered.error;
        image = std::move(rendered.image);
    }
    std::string differences = DescribeDifferences(image, expected);
    return differences.empty() ? "" : output + ": " + differences;
}

class CliTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(XpmimportPath())) << XpmimportPath() << " is not built";
        ASSERT_FALSE(X11Colors().empty()) << "/usr/share/X11/rgb.txt is needed (Debian x11-common)";
        good_ = dir_.file("good.xpm");
        WriteFile(good_, MakeXpm({"good", 45, 70, 2, 60, ColorStyle::kMixed, 41}));
    }
    TempDir dir_;
    std::string good_;
};

TEST_F(CliTest, WritesEachFormatWithTheRightPixels) {
    struct Case {
        std::vector<std::string> extraArgs;
        const char* output;
        const char* kind;
        bool fromStdin = false;
    } cases[] = {
        {{"-q"}, "out.emf", "emf"},  // replaces an older file, printing nothing
        {{}, "out.wmf", "wmf"},
        {{}, "out.png", "png"},
        {{"--format", "png"}, "picture.bin", "png"},
        {{}, "stdin.png", "png", true},
        {{"--format", "wmf"}, "-", "wmf", true},  // the picture alone on standard output
        {{}, "-", "emf"},
    };
    WriteFile(dir_.file("out.emf"), "an older picture");
    TempDir piped;
    for (const Case& c : cases) {
        const bool toStdout = std::string(c.output) == "-";
        std::vector<std::string> args = {c.fromStdin ? "-" : good_, "-o", toStdout ? "-" : dir_.file(c.output)};
        args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
        ProcessResult got = RunXpmimport(args, c.fromStdin ? good_ : "");
        const std::string input = c.fromStdin ? "standard input" : good_;
        EXPECT_EQ(got.status, 0) << c.output << ": " << got.err;
        const bool quiet = c.extraArgs == std::vector<std::string>{"-q"};
        const std::string output = toStdout ? piped.file(std::string("stdout.") + c.kind) : dir_.file(c.output);
        if (toStdout) WriteFile(output, got.out);
        else EXPECT_EQ(got.out, quiet ? "" : input + ": 45 x 70 -> " + output + "\n") << c.output;
        EXPECT_EQ(got.err, "") << c.output;
        EXPECT_EQ(CheckOutput(output, good_, c.kind), "") << c.output << " " << c.kind;
    }
    EXPECT_EQ(ListDirectory(dir_.path()),
              (std::vector<std::string>{"good.xpm", "out.emf", "out.png", "out.wmf", "picture.bin", "stdin.png"}))
        << "no temporary file may stay behind";
}

TEST_F(CliTest, ReportsEachFailureInWordsWithItsStatus) {
    const std::string missing = dir_.file("missing.xpm"), kept = dir_.file("kept.emf");
    WriteFile(kept, "an older picture");
    const std::string header = "/* XPM */\n";
    auto withValues = [](const std::string& values) {
        std::string text = MakeXpmFromParts(1, {"c #FF0000", "c #00FF00"}, {{0, 1}});
        return text.replace(text.find("\"2 1 2 1\""), 9, values);
    };
    const std::string manyColours = withValues("\"2 1 40000 1\"");
    struct Input {
        const char* name;
        std::string bytes;
    } const inputs[] = {
        {"notes.txt", "shopping list\n"},
        {"empty.xpm", ""},
        {"picture.png", "\x89PNG\r\n\x1a\n"},
        {"bom.xpm", "\xEF\xBB\xBF" + header},
        {"utf16.xpm", std::string("\xFF\xFE/\0*\0 \0X\0P\0M\0", 14)},
        {"old.xpm", "! XPM2\n2 1 2 1\na c #FF0000\nb c #00FF00\nab\n"},
        {"colour.xpm", MakeXpmFromParts(1, {"c nosuchcolour", "c #000000"}, {{0, 1}})},
        {"one.xpm", MakeXpmFromParts(1, {"c #FF0000"}, {{0, 0}})},
        {"many.xpm", manyColours},
        {"negative.xpm", withValues("\"2 -1000 2 1\"")},
        {"tall.xpm", MakeXpmFromParts(1, {"c #FF0000", "c #00FF00"}, std::vector<std::vector<uint32_t>>(32768, {0, 1}))},
    };
    for (const Input& input : inputs) WriteFile(dir_.file(input.name), input.bytes);
    auto in = [&](const char* name) { return dir_.file(name); };
    const std::string notXpm = "not an XPM file (it must begin with \"/* XPM */\")";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int wantStatus;
        std::string wantErr;  // a line of the messages
        std::string stdinPath = "";
    } cases[] = {
        {"missing file", {missing, "-o", dir_.file("a.emf")}, 1,
         "xpmimport: " + missing + ": cannot open the input: No such file or directory\n"},
        {"not XPM, over an existing output", {in("notes.txt"), "-o", kept}, 1, "xpmimport: " + in("notes.txt") + ": " + notXpm + "\n"},
        {"the code only with -v", {"-v", in("notes.txt"), "-o", kept}, 1, in("notes.txt") + ": " + notXpm + " (-23)\n"},
        {"empty", {in("empty.xpm"), "-o", kept}, 1, in("empty.xpm") + ": the input is empty\n"},
        {"PNG", {in("picture.png"), "-o", kept}, 1, in("picture.png") + ": not an XPM file: it is a PNG picture\n"},
        {"UTF-8 byte-order mark", {in("bom.xpm"), "-o", kept}, 1, in("bom.xpm") + ": not an XPM file: it begins with a UTF-8 byte-order mark"},
        {"UTF-16", {in("utf16.xpm"), "-o", kept}, 1, in("utf16.xpm") + ": not an XPM file: it is UTF-16 text"},
        {"XPM2", {in("old.xpm"), "-o", kept}, 1, in("old.xpm") + ": not an XPM file: it is XPM2"},
        {"unknown colour name", {in("colour.xpm"), "-o", dir_.file("c.png")}, 1,
         in("colour.xpm") + ": a colour cannot be read (an unknown colour name, or a value that is not a colour)\n"},
        {"one colour definition", {in("one.xpm"), "-o", kept}, 1, in("one.xpm") + ": a picture with one colour definition cannot be imported\n"},
        {"32768 to 65535 colours", {in("many.xpm"), "-o", kept}, 1,
         in("many.xpm") + ": 32768 to 65535 colour definitions cannot be imported (this picture declares 40000)\n"},
        {"negative height", {in("negative.xpm"), "-o", kept}, 1, in("negative.xpm") + ": the values line gives a negative height\n"},
        {"too tall for WMF", {in("tall.xpm"), "-o", dir_.file("t.wmf")}, 1, in("tall.xpm") + ": the picture is too large for a Windows Metafile"},
        {"not XPM on standard input", {"-", "-o", dir_.file("f.emf")}, 1, "xpmimport: standard input: " + notXpm + "\n", in("notes.txt")},
        {"more pixels than the limit", {good_, "-o", kept, "--max-pixels", "3149"}, 1,
         good_ + ": the picture is 45 x 70 = 3150 pixels, more than the limit of 3149 (--max-pixels N raises it, 0 removes it)\n"},
        {"more pixels than the limit, standard input", {"-", "-o", kept, "--max-pixels=100"}, 1,
         "standard input: the picture is 45 x 70 = 3150 pixels, more than the limit of 100", good_},
        {"format and name disagree", {good_, "-o", kept, "--format", "png"}, 2, "--format png does not match the name"},
        {"output under a regular file", {good_, "-o", "/etc/passwd/x/out.emf"}, 1,
         "xpmimport: " + good_ + ": cannot create /etc/passwd/x/out.emf: Not a directory\n"},
        {"output directory under a regular file", {good_, "-d", "/etc/passwd/x"}, 1,
         "xpmimport: /etc/passwd/x: cannot make the output directory: Not a directory\n"},
        {"input is a directory", {dir_.path(), "-o", dir_.file("d.emf")}, 1, "xpmimport: " + dir_.path() + ": is a directory\n"},
        {"no output named", {good_}, 2, "xpmimport: say where the picture goes: -o FILE (one input) or -d DIR\n"},
        {"no arguments", {}, 2, "xpmimport: no input given\n"},
        {"filter that is not a filter", {"--filter", BuildDir() + "/lib/libwinshim.so", good_, "-o", dir_.file("e.emf")}, 3,
         "it has no export ImportGR: not an import filter\n"},
        {"filter that does not exist", {"--filter", dir_.file("none.so"), "--info", good_}, 3,
         "xpmimport: cannot use the filter module " + dir_.file("none.so")},
    };
    for (const Case& c : cases) {
        ProcessResult got = RunXpmimport(c.args, c.stdinPath);
        EXPECT_EQ(got.status, c.wantStatus) << c.name << ": " << got.err;
        EXPECT_NE(got.err.find(c.wantErr), std::string::npos) << c.name << ": got messages\n" << got.err << "want\n" << c.wantErr;
    }
    EXPECT_EQ(ReadFile(kept), "an older picture") << "a failed import must leave the old file as it was";
    std::vector<std::string> left = ListDirectory(dir_.path());
    EXPECT_EQ(left.size(), std::size(inputs) + 2) << "failed conversions must leave no file";
}

TEST_F(CliTest, InfoPrintsSizesAndFailures) {
    const std::string bad = dir_.file("bad.txt"), xml = dir_.file("a.xml"), wide = dir_.file("wide.xpm");
    WriteFile(bad, "no values here\n");
    WriteFile(xml, "<?xml version=\"1.0\"?>\n<svg width=\"1 2\"/>\n");
    std::vector<std::string> colours;
    for (int i = 0; i < 300; ++i) colours.push_back("c #0000" + std::string(i % 2 == 0 ? "FF" : "00"));
    WriteFile(wide, MakeXpmFromParts(2, colours, {{0, 299}}));
    const std::string missing = dir_.file("missing.xpm");
    const std::string notXpm = "not an XPM file (it must begin with \"/* XPM */\")";
    const std::string wrapped = "300 colours: the palette keeps 256, colour k is drawn as colour k mod 256";
    ProcessResult text = RunXpmimport({"--info", good_, bad, missing, xml});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out, good_ + ": 45 x 70\n");
    EXPECT_EQ(text.err, "xpmimport: " + bad + ": " + notXpm + "\n"
                        "xpmimport: " + missing + ": cannot open the input: No such file or directory\n"
                        "xpmimport: " + xml + ": " + notXpm + "\n");

    ProcessResult json = RunXpmimport({"--info", "--json", "-v", good_, bad, wide});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "{\"input\":\"" + good_ + "\",\"width\":45,\"height\":70,\"colours\":60}\n"
                        "{\"input\":\"" + bad + "\",\"error\":\"not an XPM file (it must begin with \\\"/* XPM */\\\")\"}\n"
                        "{\"input\":\"" + wide + "\",\"width\":2,\"height\":1,\"colours\":300,\"warning\":\"" + wrapped + "\"}\n");
    EXPECT_NE(json.err.find("xpmimport: " + wide + ": warning: " + wrapped + "\n"), std::string::npos) << json.err;

    ProcessResult fromStdin = RunXpmimport({"--info", "-"}, good_);
    EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
    EXPECT_EQ(fromStdin.out, "standard input: 45 x 70\n");
}

TEST_F(CliTest, ConvertsASetOnTwoThreadsReportingTheBadOnes) {
    TempDir out;
    std::vector<std::string> args = {"-j", "2", "-d", out.path(), "--json", "--sync"};
    std::vector<std::string> goodInputs;
    for (int i = 0; i < 6; ++i) {
        std::string path = dir_.file("set" + std::to_string(i) + ".xpm");
        WriteFile(path, MakeXpm({"set", 20 + 7 * i, 150 + 40 * i, 1 + i % 4, 5 + 10 * i, ColorStyle::kMixed,
                                 static_cast<uint32_t>(50 + i)}));
        goodInputs.push_back(path);
        args.push_back(path);
        if (i == 1 || i == 4) {
            std::string bad = dir_.file("broken" + std::to_string(i) + ".xpm");
            std::string whole = MakeXpm({"cut", 10, 10, 1, 3, ColorStyle::kHex, 9});
            WriteFile(bad, i == 1 ? "not xpm at all\n" : whole.substr(0, whole.size() / 2));
            args.push_back(bad);
        }
    }
    ProcessResult got = RunXpmimport(args);
    EXPECT_EQ(got.status, 1) << "some inputs failed: want status 1\n" << got.err;
    for (size_t i = 0; i < goodInputs.size(); ++i) {
        const std::string& input = goodInputs[i];
        const std::string output = out.file("set" + std::to_string(i) + ".emf");
        EXPECT_EQ(CheckOutput(output, input, "emf"), "") << input;
        EXPECT_NE(got.out.find("{\"input\":\"" + input + "\",\"output\":\"" + output + "\",\"format\":\"emf\""),
                  std::string::npos) << input << " has no JSON line in\n" << got.out;
    }
    for (const char* bad : {"broken1.xpm", "broken4.xpm"}) {
        std::string line = "xpmimport: " + dir_.file(bad) + ": ";
        EXPECT_NE(got.err.find(line), std::string::npos) << bad << " not reported in\n" << got.err;
        EXPECT_EQ(got.err.find(line), got.err.rfind(line)) << bad << " reported twice";
    }
    EXPECT_EQ(ListDirectory(out.path()).size(), goodInputs.size()) << "only the good inputs give files, no temporary files stay";
}

TEST_F(CliTest, VersionAndHelpSayWhatTheyShould) {
    ProcessResult version = RunXpmimport({"--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_NE(version.out.find("xpmimport 8.5.3"), std::string::npos) << version.out;
    EXPECT_NE(version.out.find("8.5.3.0 (0x08000005), FilterDefinitions \"XPM Format,0,.XPM\""), std::string::npos)
        << version.out;
    ProcessResult help = RunXpmimport({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* needed : {"Exit status:", "130", "--json", "-j, --jobs"}) {
        EXPECT_NE(help.out.find(needed), std::string::npos) << "help lacks " << needed;
    }
}

// Ctrl-C during a long import stops it through the import's stop query, removes the
// partial output and ends with status 130. The picture is made large so the import is
// still running when the signal comes; if the machine is so fast that it finished anyway,
// the test tries a larger one, then skips (it never fails for being late).
TEST_F(CliTest, CtrlCStopsTheImportAndLeavesNothing) {
    TempDir work;
    const std::string input = work.file("big.xpm");
    const std::string output = work.file("big.emf");
    for (int side : {3000, 6000}) {
        WriteFile(input, MakeXpm({"big", side, side, 2, 200, ColorStyle::kHex, 77}));
        WriteFile(output, "the picture from before");
        Subprocess process(XpmimportPath(), {"-v", input, "-o", output});
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (process.errSoFar().find("importing") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ASSERT_EQ(kill(process.pid(), SIGINT), 0);
        ProcessResult got = process.wait(std::chrono::seconds(120));
        ASSERT_FALSE(got.timedOut) << "xpmimport did not stop after Ctrl-C";
        if (got.status == 0) continue;  // finished before the signal: try a larger picture
        EXPECT_EQ(got.status, 130) << got.err;
        EXPECT_NE(got.err.find("xpmimport: " + input + ": interrupted; nothing written"), std::string::npos) << got.err;
        EXPECT_EQ(ReadFile(output), "the picture from before") << "the old output must stay as it was";
        EXPECT_EQ(ListDirectory(work.path()), (std::vector<std::string>{"big.emf", "big.xpm"})) << "no temporary file";
        return;
    }
    GTEST_SKIP() << "the import of a 6000 x 6000 picture finished within 0.2 s of starting; cannot interrupt it";
}

// SIGTERM, SIGHUP and SIGXFSZ stop a conversion as Ctrl-C does: the temporary file goes,
// the old output stays, the status is 128 + the signal. The first two arrive while the
// import waits for the rest of its standard input (a pipe the test holds open); SIGXFSZ
// comes from a file size limit of 512 bytes.
TEST_F(CliTest, SignalsLeaveNoTemporaryFile) {
    const std::string output = dir_.file("kept.emf"), pipe = dir_.file("input.pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string text = ReadFile(good_);
    for (int signal : {SIGTERM, SIGHUP, SIGXFSZ}) {
        WriteFile(output, "the picture from before");
        const bool sizeLimit = signal == SIGXFSZ;
        std::unique_ptr<Subprocess> process;
        if (sizeLimit) {
            process = std::make_unique<Subprocess>(
                "/bin/sh", std::vector<std::string>{"-c", "ulimit -f 1; exec \"$0\" \"$@\"", XpmimportPath(), good_, "-o", output});
        } else {
            process = std::make_unique<Subprocess>(XpmimportPath(), std::vector<std::string>{"-", "-o", output}, pipe);
            int feed = open(pipe.c_str(), O_WRONLY);
            ASSERT_GE(feed, 0);
            ASSERT_EQ(write(feed, text.data(), text.size() / 2), static_cast<ssize_t>(text.size() / 2));
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (ListDirectory(dir_.path()).size() < 4 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            EXPECT_EQ(ListDirectory(dir_.path()).size(), 4u) << "the temporary output should exist while the input waits";
            EXPECT_EQ(kill(process->pid(), signal), 0);
            close(feed);
        }
        ProcessResult got = process->wait(std::chrono::seconds(60));
        EXPECT_EQ(got.status, 128 + signal) << got.err;
        EXPECT_EQ(ReadFile(output), "the picture from before") << "signal " << signal;
        EXPECT_EQ(ListDirectory(dir_.path()), (std::vector<std::string>{"good.xpm", "input.pipe", "kept.emf"}))
            << "signal " << signal << ": no temporary file may stay";
    }
}

}  // namespace
}  // namespace xpmimport_test
