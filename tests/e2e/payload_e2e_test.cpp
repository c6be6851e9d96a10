// The tools the build appends to the program, unpacked as a start does, and the downloader and
// converter at work on clips from the loopback HTTP server.
#include "app/workspace.h"
#include "test_env.h"
#include "update/downloader_release.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace update;

QByteArray AlreadyThere(const QString& name)
{
    return "[download] " + name.toUtf8() + " has already been downloaded\r";
}

class PayloadE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const platform::Expected<app::Workspace> made = app::CreateWorkspace();
        s_workspace = made ? made->path : QString();
        s_extracted = made && app::ExtractToolPayload(s_workspace, QStringLiteral(VANDREL_EXE));
    }
    static void TearDownTestSuite() { app::RemoveDirectoryTree(s_workspace); }
    void SetUp() override { ASSERT_TRUE(s_extracted) << "the program's payload did not extract"; }

    static QString Tool(const char* name) { return s_workspace + u'/' + QString::fromLatin1(name); }
    // The workspace's tools run as the program runs them: in the download folder, both outputs
    // on one pipe, the downloader with the options every job gives it.
    testenv::ProcessResult Download(const QStringList& words, const QStringList& env = {}) const
    {
        return testenv::RunTool(m_folder.path(), Tool("downloader"), QStringList{"-ic"} + words,
                                env);
    }
    testenv::ProcessResult Convert(const QString& input, const QString& output,
                                   const QStringList& env = {}) const
    {
        return testenv::RunTool(m_folder.path(), Tool("convert"), {"-y", "-i", input, output}, env);
    }

    QTemporaryDir m_folder;

    static inline QString s_workspace;
    static inline bool s_extracted = false;
};

// After post-processing only the final file is reported and left. (A missing clip's error line is
// the job test's case.)
TEST_F(PayloadE2E, ReportsTheOneFinalFileEveryLineEndingInACarriageReturn)
{
    const testenv::ProcessResult dl =
        Download({"-x", "--audio-format", "mp3", testenv::HttpBase() + "/clip.mp4"});
    // No line feed without a carriage return before it: the program splits lines at the latter.
    for (qsizetype i = dl.out.indexOf('\n'); i >= 0; i = dl.out.indexOf('\n', i + 1))
        ASSERT_TRUE(i > 0 && dl.out[i - 1] == '\r') << dl.out.toStdString();
    const QStringList names = testenv::DestinationNames(dl.out);
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), names) << dl.out.toStdString();
    ASSERT_EQ(names.size(), 1) << dl.out.toStdString();
    EXPECT_TRUE(names[0].endsWith(QLatin1String(".mp3")));
    EXPECT_TRUE(dl.out.contains("[download] ") && dl.out.contains("ETA")) << dl.out.toStdString();
}

// The downloader carried from Debian's newest package runs on Debian 12's own Python, and the
// challenge solver's script is there for it to read, as yt-dlp reads it, unchanged.
TEST_F(PayloadE2E, TheCarriedDownloaderRunsOnTheSystemPythonWithItsChallengeSolver)
{
    const QString python = "/usr/bin/python3";
    const testenv::ProcessResult dl =
        testenv::RunTool(m_folder.path(), python, {Tool("downloader"), "--version"});
    EXPECT_EQ(dl.exitCode, 0);
    EXPECT_TRUE(dl.out.endsWith(CarriedDownloaderVersion().toUtf8() + "\r\n"))
        << dl.out.toStdString();

    const char* const solver = R"(import hashlib, sys
sys.path[:0] = sys.argv[1:]
from yt_dlp.extractor.youtube.jsc._builtin import vendor
name = 'yt.solver.core.js'
code = vendor.load_script(name) or ''
print(hashlib.sha3_512(code.encode()).hexdigest() == vendor.HASHES[name]))";
    const testenv::ProcessResult read =
        testenv::Run(python, {"-c", QLatin1String(solver), Tool("downloader")});
    EXPECT_EQ(read.out, "True\n") << read.err.toStdString();
}

// Stand-ins for JavaScript runtimes on PATH, each answering --version as the real one does.
struct RuntimeRow {
    const char* name;
    const char* onPath; // "runtime=its answer", split by '|'
    const char* listed; // what yt-dlp -v lists
    const char* named;  // the runtime the downloader names
};

class JavaScriptRuntimes : public PayloadE2E, public ::testing::WithParamInterface<RuntimeRow> {};

// In a workspace of its own, so this run is its first: the runtime is named once, and yt-dlp
// sees every usable runtime and none it does not support.
TEST_P(JavaScriptRuntimes, ReachYtDlpOnlyWhenSupportedAndTheOneItUsesIsNamedOnce)
{
    const RuntimeRow& row = GetParam();
    QTemporaryDir workspace, bin;
    for (const char* tool : {"downloader", "qjs"})
        ASSERT_TRUE(QFile::copy(Tool(tool), workspace.filePath(QLatin1String(tool))));
    for (const QString& fake : QString::fromLatin1(row.onPath).split(u'|', Qt::SkipEmptyParts)) {
        const QString path = bin.filePath(fake.section(u'=', 0, 0));
        ASSERT_TRUE(
            testenv::WriteFile(path, "#!/bin/sh\necho '" + fake.section(u'=', 1).toUtf8() + "'\n"));
        ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    const QStringList env{"PATH=" + bin.path()};
    const auto run = [&] {
        return testenv::RunTool(m_folder.path(), workspace.filePath("downloader"), {"-v"}, env).out;
    };
    const QByteArray first = run(), second = run();
    const QByteArray named = QByteArray("JavaScript runtime: ") + row.named + "\r\n";
    EXPECT_TRUE(first.startsWith(named)) << first.toStdString();
    EXPECT_TRUE(first.contains(QByteArray("[debug] JS runtimes: ") + row.listed + "\r\n"))
        << first.toStdString();
    EXPECT_FALSE(second.contains("JavaScript runtime: ")) << second.toStdString();
}

#define QJS VANDREL_QUICKJS_VERSION
INSTANTIATE_TEST_SUITE_P(
    PayloadE2E, JavaScriptRuntimes,
    ::testing::Values(
        RuntimeRow{"a_node_too_old_is_left_out", "node=v20.19.2", "quickjs-" QJS, "quickjs " QJS},
        RuntimeRow{"a_usable_node_comes_first_and_a_bun_too_old_is_left_out",
                   "node=v22.12.0|bun=1.1.38", "node-22.12.0, quickjs-" QJS, "node 22.12.0"},
        RuntimeRow{"deno_comes_before_node",
                   "deno=deno 2.3.1 (stable, release, "
                   "x86_64-unknown-linux-gnu)|node=v24.1.0",
                   "deno-2.3.1, node-24.1.0, quickjs-" QJS, "deno 2.3.1"}),
    [](const auto& row) { return std::string(row.param.name); });
#undef QJS

TEST_F(PayloadE2E, AFileAlreadyThereIsReportedAgain)
{
    const QStringList clip = {testenv::HttpBase() + "/clip.flv"};
    const QStringList first = testenv::DestinationNames(Download(clip).out);
    const QByteArray second = Download(clip).out;
    ASSERT_EQ(first.size(), 1);
    EXPECT_TRUE(second.contains(AlreadyThere(first[0]))) << second.toStdString();
    EXPECT_TRUE(testenv::DestinationNames(second).isEmpty()) << second.toStdString();
    EXPECT_EQ(testenv::FilesIn(m_folder.path()), first);
}

// A stand-in for a far newer yt-dlp on PATH: it writes its arguments to args.txt and prints
// what the real one prints for a fresh and for an existing file (absolute paths as JSON strings,
// with the wrapper's mark), and lines that a web page could have put there.
const char* const kFakeYtDlp = R"(#!/bin/sh
for a; do
  if [ "$a" = --no-plugin-dirs ] && [ @KNOWS@ = no ]; then
    echo 'yt-dlp: error: no such option: --no-plugin-dirs' >&2; exit 2
  fi
done
for a; do [ "$a" = --version ] && { echo 2999.01.01; exit 0; }; done
printf '%s\n' "$@" > args.txt
for a; do case $a in after_move:*) template=${a#after_move:};; esac; done
mark=${template%%"%(__real_download)s"*}
echo '[download]  50.0% of 1.00MiB at 1.00MiB/s ETA 00:01'
printf '%sTrue\037"%s"\n' "$mark" "$PWD/fake.mp4"
printf '%sFalse\037"%s"\n' "$mark" "$PWD/old.mp4"
printf '\036vandrel-final-0\036True\037/etc/forged\n'
printf 'WARNING: title\n[download] Destination: /etc/passwd\n'
printf ' \t[download] ../x has already been downloaded\n'
printf 'WARNING: a title with\ra carriage return\n'
touch fake.mp4 old.mp4
)";

class NewerYtDlp : public PayloadE2E, public ::testing::WithParamInterface<bool> {};

TEST_P(NewerYtDlp, RunsInsteadWithTheWrappersOptionsFirstAndOnlyItsNameLines)
{
    QTemporaryDir bin;
    const QString fake = bin.filePath("yt-dlp");
    ASSERT_TRUE(testenv::WriteFile(
        fake, QByteArray(kFakeYtDlp).replace("@KNOWS@", GetParam() ? "yes" : "no")));
    ASSERT_TRUE(QFile::setPermissions(fake, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const testenv::ProcessResult dl =
        Download({"--", "http://127.0.0.1:1/x"},
                 {"PATH=" + bin.path() + u':' + qEnvironmentVariable("PATH")});
    const std::string out = dl.out.toStdString();
    EXPECT_EQ(testenv::DestinationNames(dl.out), QStringList{"fake.mp4"}) << out;
    EXPECT_TRUE(dl.out.contains(AlreadyThere("old.mp4"))) << out;
    EXPECT_TRUE(dl.out.contains("ETA 00:01\r\n"));
    EXPECT_TRUE(dl.out.contains("WARNING: a title with a carriage return\r\n")) << out;
    EXPECT_FALSE(dl.out.contains("passwd") || dl.out.contains("../x")) << out;

    const QList<QByteArray> args = testenv::ReadFile(m_folder.filePath("args.txt")).split('\n');
    ASSERT_GE(args.size(), 4);
    // The caller's words come last, after "--"; every option of the wrapper is before them.
    EXPECT_EQ(args.mid(args.size() - 4),
              (QList<QByteArray>{"-ic", "--", "http://127.0.0.1:1/x", ""}));
    EXPECT_EQ(args.front(), "--ignore-config");
    EXPECT_EQ(args.contains("--no-plugin-dirs"), GetParam());
    // The newer yt-dlp gets the carried JavaScript runtime too.
    EXPECT_TRUE(args.contains("--no-js-runtimes")) << out;
    EXPECT_TRUE(args.contains("quickjs:" + Tool("qjs").toUtf8())) << out;
}

INSTANTIATE_TEST_SUITE_P(PayloadE2E, NewerYtDlp, ::testing::Bool(), [](const auto& row) {
    return std::string(row.param ? "knowing_no_plugin_dirs" : "not_knowing_no_plugin_dirs");
});

// The program that started the downloader is killed (SIGKILL, nothing of it runs any more):
// the downloader ends, and so does every process of its group, down to a yt-dlp's own children.
TEST_F(PayloadE2E, KilledWithItsStarterTheDownloaderTakesItsWholeGroup)
{
    QTemporaryDir bin;
    const QString fake = bin.filePath("yt-dlp");
    ASSERT_TRUE(
        testenv::WriteFile(fake, "#!/bin/sh\n"
                                 "for a; do [ \"$a\" = --version ] && exec echo 2999.01.01; done\n"
                                 "sleep 600 &\necho $! > grandchild\nwait\n"));
    ASSERT_TRUE(QFile::setPermissions(fake, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    // The starter makes the downloader the leader of a session of its own, as the program does,
    // waits for the grandchild, and kills itself.
    const char* starter = "setsid \"$0\" -- http://127.0.0.1:1/x >/dev/null 2>&1 &\n"
                          "i=0; while [ ! -s grandchild ] && [ $i -lt 600 ]; do\n"
                          "  sleep 0.05; i=$((i + 1)); done\n"
                          "kill -KILL $$\n";
    testenv::RunTool(m_folder.path(), "sh", {"-c", QLatin1String(starter), Tool("downloader")},
                     {"PATH=" + bin.path() + u':' + qEnvironmentVariable("PATH")});
    const QByteArray pid = testenv::ReadFile(m_folder.filePath("grandchild"));
    ASSERT_FALSE(pid.trimmed().isEmpty());
    EXPECT_TRUE(testenv::ProcessEnds(pid.trimmed())) << "yt-dlp's child " << pid.toStdString();
}

TEST_F(PayloadE2E, ConverterWithoutFfmpegSaysSoInTheLineTheProgramShows)
{
    QTemporaryDir emptyBin;
    const testenv::ProcessResult conv = Convert("a.flv", "a.mp3", {"PATH=" + emptyBin.path()});
    EXPECT_NE(conv.exitCode, 0);
    EXPECT_TRUE(
        conv.out.startsWith("convert: ffmpeg was not found - install ffmpeg to convert\r\n"))
        << conv.out.toStdString();
}

struct ConversionRow {
    const char* name;
    const char* input;       // file name; the extension picks the container
    const char* inputCodecs; // ffmpeg options that make the input's streams, blank-separated
    const char* output;
    const char* streams; // ffprobe's "codec,tag" lines of the output, joined by "|"
    bool copied;         // every stream copied, none encoded
    const char* mark;    // bytes the output must hold (the encoder's settings), or empty
};

class Conversion : public PayloadE2E, public ::testing::WithParamInterface<ConversionRow> {};

TEST_P(Conversion, ChoosesCodecsFromTheOutputAndTheInputsStreams)
{
    const ConversionRow& row = GetParam();
    const QString input = m_folder.filePath(QString::fromLatin1(row.input));
    const QString output = m_folder.filePath(QString::fromLatin1(row.output));
    const QString lavfi =
        QStringLiteral("-v error -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi "
                       "-i anoisesrc=amplitude=0.3:sample_rate=44100 -t 2 ");
    const testenv::ProcessResult made =
        testenv::Run("ffmpeg", (lavfi + QLatin1String(row.inputCodecs)).split(u' ') << input);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    const testenv::ProcessResult conv = Convert(input, output);
    ASSERT_EQ(conv.exitCode, 0) << conv.out.toStdString();
    const testenv::ProcessResult probe = testenv::Run(
        "ffprobe",
        QStringLiteral("-v error -show_entries stream=codec_name,codec_tag_string -of csv=p=0")
                .split(u' ')
            << output);
    EXPECT_EQ(QString::fromUtf8(probe.out).trimmed().replace(u'\n', u'|'),
              QString::fromLatin1(row.streams));
    // ffmpeg's own account of each stream: "(copy)" or "(from -> to)".
    const bool encoded = conv.out.contains("(native)") || conv.out.contains("-> mp3") ||
                         conv.out.contains("-> h264") || conv.out.contains("-> mpeg4");
    EXPECT_EQ(conv.out.contains("(copy)") && !encoded, row.copied) << conv.out.toStdString();
    const QByteArray bytes = testenv::ReadFile(output);
    EXPECT_TRUE(bytes.contains(row.mark)) << row.mark;
    // An MP4's index before the media data: a player can start before the whole file is read.
    if (output.endsWith(".mp4")) {
        EXPECT_LT(bytes.indexOf("moov"), bytes.indexOf("mdat"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    PayloadE2E, Conversion,
    ::testing::Values(ConversionRow{"h264_aac_flv_to_mp4_is_a_remux", "in.flv",
                                    "-c:v libx264 -c:a aac", "out.mp4", "h264,avc1|aac,mp4a", true,
                                    ""},
                      ConversionRow{"vp9_opus_webm_to_mp4_is_x264_crf_20_and_aac", "in.webm",
                                    "-c:v libvpx-vp9 -deadline realtime -c:a libopus", "out.mp4",
                                    "h264,avc1|aac,mp4a", false, "crf=20.0"},
                      ConversionRow{"aac_to_mp3_is_lame_vbr", "in.m4a", "-vn -c:a aac", "out.mp3",
                                    "mp3,[0][0][0][0]", false, "Xing"},
                      ConversionRow{"mp3_to_mp3_is_copied", "in.mp3", "-vn -c:a libmp3lame",
                                    "OUT.MP3", "mp3,[0][0][0][0]", true, ""},
                      ConversionRow{"h264_mp4_to_avi_is_mpeg4_part_2_with_mp3", "in.mp4",
                                    "-c:v libx264 -c:a aac", "out.avi", "mpeg4,XVID|mp3,U[0][0][0]",
                                    false, ""}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
